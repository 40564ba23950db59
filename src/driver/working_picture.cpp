#include "driver/working_picture.h"

#include "driver/scaler.h"
#include "driver/slice_pool.h"

struct Rgb8Format {
    AVPixelFormat format;
    Rgb8Layout layout;
};

// The scaler's way from 8 to 16 bits is not v * 257: it moves the high byte of 83 of the
// 256 codes (0xA0 becomes 0x9FF9), and the grade reads the high byte. These formats are
// widened by our own hand instead.
static const Rgb8Format rgb8_formats[] = {
    {AV_PIX_FMT_RGB24, {{0, 0, 0}, {0, 1, 2}, 3}}, {AV_PIX_FMT_BGR24, {{0, 0, 0}, {2, 1, 0}, 3}},
    {AV_PIX_FMT_RGBA, {{0, 0, 0}, {0, 1, 2}, 4}},  {AV_PIX_FMT_BGRA, {{0, 0, 0}, {2, 1, 0}, 4}},
    {AV_PIX_FMT_ARGB, {{0, 0, 0}, {1, 2, 3}, 4}},  {AV_PIX_FMT_ABGR, {{0, 0, 0}, {3, 2, 1}, 4}},
    {AV_PIX_FMT_RGB0, {{0, 0, 0}, {0, 1, 2}, 4}},  {AV_PIX_FMT_BGR0, {{0, 0, 0}, {2, 1, 0}, 4}},
    {AV_PIX_FMT_0RGB, {{0, 0, 0}, {1, 2, 3}, 4}},  {AV_PIX_FMT_0BGR, {{0, 0, 0}, {3, 2, 1}, 4}},
    {AV_PIX_FMT_GBRP, {{2, 0, 1}, {0, 0, 0}, 1}},  {AV_PIX_FMT_GBRAP, {{2, 0, 1}, {0, 0, 0}, 1}},
};

const Rgb8Layout* rgb8_layout_of(AVPixelFormat format) {
    for (const Rgb8Format& entry : rgb8_formats) {
        if (entry.format == format) return &entry.layout;
    }
    return nullptr;
}

struct WidenJob {
    const AVFrame* frame;
    const Rgb8Layout* layout;
    AVFrame* working;
};

static void widen_slice(void* context, int slice, int slice_count) {
    const WidenJob& job = *static_cast<const WidenJob*>(context);
    const int first = slice_row(job.frame->height, slice, slice_count);
    const int rows = slice_row(job.frame->height, slice + 1, slice_count) - first;
    const uint8_t* planes[AV_NUM_DATA_POINTERS];
    for (int p = 0; p < AV_NUM_DATA_POINTERS; ++p) {
        planes[p] = job.frame->data[p] != nullptr
                        ? job.frame->data[p] + ptrdiff_t(first) * job.frame->linesize[p]
                        : nullptr;
    }
    widen_rgb8_to_bgr48(planes, job.frame->linesize, *job.layout, job.frame->width, rows,
                        job.working->data[0] + ptrdiff_t(first) * job.working->linesize[0],
                        job.working->linesize[0]);
}

LoopEnd fill_working_picture(TranscodeState* state) {
    const AVFrame* frame = state->decoded_frame;
    AVFrame* working = state->working_frame;
    const Rgb8Layout* layout = rgb8_layout_of(static_cast<AVPixelFormat>(frame->format));
    if (layout != nullptr && frame->width == working->width && frame->height == working->height) {
        WidenJob job{frame, layout, working};
        run_slices(&state->slice_pool, slice_count_for(state->slice_pool, frame->height), widen_slice, &job);
        return LOOP_RUNNING;
    }
    // The scaler slices the picture over threads of its own, as many as the pool has.
    SwsContext* scaler =
        scaler_for_frame(&state->bgr48_scaler, &state->bgr48_scaler_source, frame, working->width,
                         working->height, AV_PIX_FMT_BGR48LE, state->slice_pool.threads);
    if (scaler == nullptr) return LOOP_END_SCALER_ERROR;
    if (scale_frame(scaler, working, frame) < 0) return LOOP_END_SCALER_ERROR;
    return LOOP_RUNNING;
}
