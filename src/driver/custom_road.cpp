#include "driver/custom_road.h"

#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "driver/scaler.h"
#include "driver/snapshot.h"

LoopEnd scale_to_working_picture(TranscodeState* state) {
    const AVFrame* frame = state->decoded_frame;
    const AVCodecContext* encoder_context = state->encoder_context;
    SwsContext* scaler =
        scaler_for_frame(&state->bgr48_scaler, &state->bgr48_scaler_source, frame, encoder_context->width,
                         encoder_context->height, AV_PIX_FMT_BGR48LE);
    if (scaler == nullptr) return LOOP_END_SCALER_ERROR;
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, state->working_picture.data,
              state->working_picture.linesize);
    return LOOP_RUNNING;
}

LoopEnd convert_frame_custom(TranscodeState* state) {
    LoopEnd end = scale_to_working_picture(state);
    if (end != LOOP_RUNNING) return end;
    const AVCodecContext* encoder_context = state->encoder_context;
    PictureBuffer* working = &state->working_picture;
    tone_map_working_picture(working->data[0], working->linesize[0], encoder_context->width,
                             encoder_context->height, state->options.colour_mode, &state->transfer_curve,
                             &state->cube_lut);
    if (snapshot_due(state)) return dump_snapshot(state) ? LOOP_END_SNAPSHOT : LOOP_END_SNAPSHOT_ERROR;
    convert_bgr48_to_yuv422p10(&state->yuv_tables, working->data[0], working->linesize[0],
                               encoder_context->width, encoder_context->height, state->encode_picture.data,
                               state->encode_picture.linesize);
    return LOOP_RUNNING;
}
