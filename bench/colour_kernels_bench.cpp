// The custom road's kernels on one 1920x1080 working picture of natural-looking content
// (smooth shading, texture and sensor-like noise) or a picture given, reported per pixel: each stage of the
// two-pass road (curve tone map, cube tone map, YUV conversion), and the whole step as the
// program runs it now (tone map and conversion in one pass through tables).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "colour/cube_lut.h"
#include "colour/graded_convert.h"
#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "natural_picture.h"

namespace {

constexpr int width = 1920, height = 1080, stride = 6 * width;

// PROLUT_BENCH_PICTURE may name a raw 1920x1080 bgr48le picture to use instead, such as a
// frame of the clip bench.sh times.
std::vector<uint16_t> bench_picture() {
    const char* path = std::getenv("PROLUT_BENCH_PICTURE");
    if (path == nullptr || *path == '\0') return natural_picture();
    std::vector<uint16_t> picture(size_t(3) * width * height);
    FILE* file = std::fopen(path, "rb");
    const bool read =
        file != nullptr && std::fread(picture.data(), 2, picture.size(), file) == picture.size();
    if (file != nullptr) std::fclose(file);
    if (!read) {
        std::fprintf(stderr, "cannot read a 1920x1080 bgr48le picture from %s\n", path);
        std::exit(1);
    }
    return picture;
}

const std::vector<uint16_t>& source() {
    static const std::vector<uint16_t> picture = bench_picture();
    return picture;
}

// A 33-point grade with some twist, so that most samples need the full interpolation.
CubeLut* grade33() {
    static CubeLut lut{};
    if (lut.lattice == nullptr) {
        std::string text = "LUT_3D_SIZE 33\n";
        char line[96];
        for (int b = 0; b < 33; ++b)
            for (int g = 0; g < 33; ++g)
                for (int r = 0; r < 33; ++r) {
                    const double R = r / 32.0, G = g / 32.0, B = b / 32.0;
                    if (r + g + b == 0) {
                        text += "0\t0\t0\n";
                        continue;
                    }
                    std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", std::pow(R, 0.8) * 0.9 + 0.1 * G,
                                  G * 0.95 + 0.05 * B * R, std::pow(B, 1.2));
                    text += line;
                }
        init_cube_lut_from_text(&lut, text.data(), text.size());
    }
    return &lut;
}

struct Planes {
    std::vector<uint16_t> luma = std::vector<uint16_t>(size_t(width) * height);
    std::vector<uint16_t> cb = std::vector<uint16_t>(size_t(width) / 2 * height);
    std::vector<uint16_t> cr = std::vector<uint16_t>(size_t(width) / 2 * height);
    uint8_t* data[3] = {reinterpret_cast<uint8_t*>(luma.data()), reinterpret_cast<uint8_t*>(cb.data()),
                        reinterpret_cast<uint8_t*>(cr.data())};
    int strides[3] = {2 * width, width, width};
};

void per_pixel(benchmark::State& state) {
    state.counters["ns_per_pixel"] =
        benchmark::Counter(double(width) * height * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

uint8_t* bytes(std::vector<uint16_t>& picture) { return reinterpret_cast<uint8_t*>(picture.data()); }

// Tone mapping works in place, so each round starts from a fresh copy (copied untimed).
void tone_map(benchmark::State& state, int mode) {
    std::vector<uint16_t> working = source();
    TransferCurve curve{};
    for (auto _ : state) {
        state.PauseTiming();
        working = source();
        state.ResumeTiming();
        tone_map_working_picture(bytes(working), stride, width, height, mode, &curve, grade33());
    }
    per_pixel(state);
}

void BM_ToneMapCurve(benchmark::State& state) { tone_map(state, 1); }
void BM_ToneMapCube33(benchmark::State& state) { tone_map(state, 4); }

void BM_YuvConversion(benchmark::State& state) {
    std::vector<uint16_t> working = source();
    YuvTables tables{};
    Planes planes;
    for (auto _ : state) {
        convert_bgr48_to_yuv422p10(&tables, bytes(working), stride, width, height, planes.data,
                                   planes.strides);
    }
    per_pixel(state);
}

void two_pass_step(benchmark::State& state, int mode) {
    std::vector<uint16_t> working = source();
    TransferCurve curve{};
    YuvTables tables{};
    Planes planes;
    for (auto _ : state) {
        state.PauseTiming();
        working = source();
        state.ResumeTiming();
        tone_map_working_picture(bytes(working), stride, width, height, mode, &curve, grade33());
        convert_bgr48_to_yuv422p10(&tables, bytes(working), stride, width, height, planes.data,
                                   planes.strides);
    }
    per_pixel(state);
}

void BM_TwoPassStepCurve(benchmark::State& state) { two_pass_step(state, 1); }
void BM_TwoPassStepCube33(benchmark::State& state) { two_pass_step(state, 4); }

// The step as a run makes it, on one thread. Nothing carries over from one picture to the next,
// so any picture costs what the first does.
void graded_step(benchmark::State& state, int mode, bool precise = false) {
    std::vector<uint16_t> working = source();
    TransferCurve curve{};
    YuvTables tables{};
    GradedConvert graded{};
    Planes planes;
    prepare_graded_convert(&graded, mode, precise, &curve, &tables, grade33());
    for (auto _ : state) {
        convert_graded_bgr48_to_yuv422p10(&graded, bytes(working), stride, width, height, planes.data,
                                          planes.strides);
    }
    release_graded_convert(&graded);
    per_pixel(state);
}

void BM_GradedStepCurve(benchmark::State& state) { graded_step(state, 1); }
void BM_GradedStepCube33(benchmark::State& state) { graded_step(state, 4); }
void BM_PreciseStepCurve(benchmark::State& state) { graded_step(state, 1, true); }
void BM_PreciseStepCube33(benchmark::State& state) { graded_step(state, 4, true); }

}  // namespace

BENCHMARK(BM_ToneMapCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToneMapCube33)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YuvConversion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoPassStepCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoPassStepCube33)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GradedStepCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GradedStepCube33)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseStepCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseStepCube33)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
