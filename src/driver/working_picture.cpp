#include "driver/working_picture.h"

#include "driver/scaler.h"

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

LoopEnd fill_working_picture(TranscodeState* state) {
    const AVFrame* frame = state->decoded_frame;
    AVFrame* working = state->working_frame;
    const Rgb8Layout* layout = rgb8_layout_of(static_cast<AVPixelFormat>(frame->format));
    if (layout != nullptr && frame->width == working->width && frame->height == working->height) {
        widen_rgb8_to_bgr48(frame->data, frame->linesize, *layout, frame->width, frame->height,
                            working->data[0], working->linesize[0]);
        return LOOP_RUNNING;
    }
    SwsContext* scaler = scaler_for_frame(&state->bgr48_scaler, &state->bgr48_scaler_source, frame,
                                          working->width, working->height, AV_PIX_FMT_BGR48LE);
    if (scaler == nullptr) return LOOP_END_SCALER_ERROR;
    if (scale_frame(scaler, working, frame) < 0) return LOOP_END_SCALER_ERROR;
    return LOOP_RUNNING;
}
