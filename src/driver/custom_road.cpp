#include "driver/custom_road.h"

#include "colour/graded_convert.h"
#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "driver/snapshot.h"
#include "driver/working_picture.h"

LoopEnd convert_frame_custom(TranscodeState* state) {
    LoopEnd end = fill_working_picture(state);
    if (end != LOOP_RUNNING) return end;
    const AVCodecContext* encoder_context = state->encoder_context;
    const int width = encoder_context->width, height = encoder_context->height;
    const int colour_mode = state->options.colour_mode;
    AVFrame* working = state->working_frame;
    AVFrame* picture = state->encoder_frame;
    // The snapshot shows the tone-mapped working picture, so that picture takes the two
    // passes; every other one goes through the tables in one.
    if (snapshot_due(state)) {
        tone_map_working_picture(working->data[0], working->linesize[0], width, height, colour_mode,
                                 &state->transfer_curve, &state->cube_lut);
        return dump_snapshot(state) ? LOOP_END_SNAPSHOT : LOOP_END_SNAPSHOT_ERROR;
    }
    GradedConvert* graded = &state->graded_convert;
    if (!graded->ready) {
        prepare_graded_convert(graded, colour_mode, &state->transfer_curve, &state->yuv_tables,
                               &state->cube_lut);
    }
    if (graded->ready) {
        convert_graded_bgr48_to_yuv422p10(graded, working->data[0], working->linesize[0], width, height,
                                          picture->data, picture->linesize);
    } else {
        tone_map_working_picture(working->data[0], working->linesize[0], width, height, colour_mode,
                                 &state->transfer_curve, &state->cube_lut);
        convert_bgr48_to_yuv422p10(&state->yuv_tables, working->data[0], working->linesize[0], width, height,
                                   picture->data, picture->linesize);
    }
    return LOOP_RUNNING;
}
