#include "driver/custom_road.h"

#include "colour/graded_convert.h"
#include "driver/report.h"
#include "driver/slice_pool.h"
#include "driver/snapshot.h"
#include "driver/working_picture.h"

int prepare_grade_step(TranscodeState* state) {
    const RunOptions& options = state->options;
    prepare_graded_convert(&state->graded_convert, options.colour_mode, options.precise,
                           &state->transfer_curve, &state->yuv_tables, &state->cube_lut);
    if (state->graded_convert.ready) return 0;
    report_failure("not enough memory for the grade's tables");
    return 1;
}

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
    // The snapshot is the same grade, into 8-bit RGB instead of the encoder's planes.
    if (snapshot_due(state)) return dump_snapshot(state) ? LOOP_END_SNAPSHOT : LOOP_END_SNAPSHOT_ERROR;
    GradeJob job{&state->graded_convert, state->working_frame, state->encoder_frame,
                 state->encoder_context->height};
    run_slices(&state->slice_pool, slice_count_for(state->slice_pool, job.height), grade_slice, &job);
    return LOOP_RUNNING;
}
