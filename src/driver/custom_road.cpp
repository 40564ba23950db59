#include "driver/custom_road.h"

#include "colour/graded_convert.h"
#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "driver/slice_pool.h"
#include "driver/snapshot.h"
#include "driver/working_picture.h"

struct GradeJob {
    const GradedConvert* graded;
    const AVFrame* working;
    AVFrame* picture;
    int height;
};

// Rows are graded independently, so any slicing gives the same planes.
static void grade_slice(void* context, int slice, int slice_count) {
    const GradeJob& job = *static_cast<const GradeJob*>(context);
    const int first = slice_row(job.height, slice, slice_count);
    const int rows = slice_row(job.height, slice + 1, slice_count) - first;
    uint8_t* planes[3];
    for (int p = 0; p < 3; ++p)
        planes[p] = job.picture->data[p] + ptrdiff_t(first) * job.picture->linesize[p];
    convert_graded_bgr48_to_yuv422p10(
        job.graded, job.working->data[0] + ptrdiff_t(first) * job.working->linesize[0],
        job.working->linesize[0], job.working->width, rows, planes, job.picture->linesize);
}

LoopEnd convert_frame_custom(TranscodeState* state) {
    if (state->slice_pool.threads == 0) start_slice_pool(&state->slice_pool, usable_cores());
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
        GradeJob job{graded, working, picture, height};
        run_slices(&state->slice_pool, slice_count_for(state->slice_pool, height), grade_slice, &job);
    } else {
        tone_map_working_picture(working->data[0], working->linesize[0], width, height, colour_mode,
                                 &state->transfer_curve, &state->cube_lut);
        convert_bgr48_to_yuv422p10(&state->yuv_tables, working->data[0], working->linesize[0], width, height,
                                   picture->data, picture->linesize);
    }
    return LOOP_RUNNING;
}
