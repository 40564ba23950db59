#include "driver/plain_road.h"

#include "driver/scaler.h"

LoopEnd convert_frame_plain(TranscodeState* state) {
    const AVFrame* frame = state->decoded_frame;
    const AVCodecContext* encoder_context = state->encoder_context;
    SwsContext* scaler =
        scaler_for_frame(&state->plain_scaler, &state->plain_scaler_source, frame, encoder_context->width,
                         encoder_context->height, encoder_context->pix_fmt, 0);
    if (scaler == nullptr) return LOOP_END_SCALER_ERROR;
    if (scale_frame(scaler, state->encoder_frame, frame) < 0) return LOOP_END_SCALER_ERROR;
    return LOOP_RUNNING;
}
