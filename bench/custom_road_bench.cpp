// One picture's custom-road step as the program runs it (the working picture from a decoded
// picture, then the grade into the encoder's planes), on 1 and 2 threads, ns per pixel.
// PROLUT_BENCH_YUV names a raw 1920x1080 picture in PROLUT_BENCH_FORMAT (default yuv420p) and
// PROLUT_BENCH_CUBE a .cube file; colour mode 4 with it, mode 1 without.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "driver/custom_road.h"
#include "driver/slice_pool.h"

namespace {

constexpr int width = 1920, height = 1080;

AVFrame* picture_frame(AVPixelFormat format) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame, 0) < 0) std::exit(1);
    return frame;
}

AVFrame* decoded_picture() {
    const char* name = std::getenv("PROLUT_BENCH_FORMAT");
    const AVPixelFormat format = av_get_pix_fmt(name != nullptr ? name : "yuv420p");
    const char* path = std::getenv("PROLUT_BENCH_YUV");
    std::vector<uint8_t> raw(av_image_get_buffer_size(format, width, height, 1));
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr || std::fread(raw.data(), 1, raw.size(), file) != raw.size()) {
        std::fprintf(stderr, "PROLUT_BENCH_YUV must name a raw 1920x1080 picture\n");
        std::exit(1);
    }
    std::fclose(file);
    AVFrame* frame = picture_frame(format);
    uint8_t* planes[4];
    int strides[4];
    av_image_fill_arrays(planes, strides, raw.data(), format, width, height, 1);
    av_image_copy(frame->data, frame->linesize, const_cast<const uint8_t**>(planes), strides, format, width,
                  height);
    return frame;
}

void BM_CustomRoadStep(benchmark::State& bench) {
    static TranscodeState state{};
    const char* cube = std::getenv("PROLUT_BENCH_CUBE");
    state.options.colour_mode = cube != nullptr ? 4 : 1;
    if (cube != nullptr && state.cube_lut.lattice == nullptr && init_cube_lut(&state.cube_lut, cube) != 0)
        std::exit(1);
    if (state.decoded_frame == nullptr) {
        state.decoded_frame = decoded_picture();
        state.working_frame = picture_frame(AV_PIX_FMT_BGR48LE);
        state.encoder_frame = picture_frame(AV_PIX_FMT_YUV422P10LE);
        state.encoder_context = avcodec_alloc_context3(nullptr);
        state.encoder_context->width = width;
        state.encoder_context->height = height;
    }
    // A new pool and scaler for each thread count.
    stop_slice_pool(&state.slice_pool);
    start_slice_pool(&state.slice_pool, int(bench.range(0)));
    sws_freeContext(state.bgr48_scaler);
    state.bgr48_scaler = nullptr;
    for (auto _ : bench) {
        if (convert_frame_custom(&state) != LOOP_RUNNING) bench.SkipWithError("conversion failed");
    }
    stop_slice_pool(&state.slice_pool);  // its threads must not outlive the run
    bench.counters["ns_per_pixel"] =
        benchmark::Counter(double(width) * height * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

// Wall time: the point is what the threads do together.
BENCHMARK(BM_CustomRoadStep)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
