// prolut: any video FFmpeg can read in, Apple ProRes 422 10-bit out.
#include <cstdio>

extern "C" {
#include <libavutil/cpu.h>
}

#include "colour/processor.h"
#include "driver/audio_tracks.h"
#include "driver/command_line.h"
#include "driver/custom_road.h"
#include "driver/field_order.h"
#include "driver/input.h"
#include "driver/keyboard.h"
#include "driver/output.h"
#include "driver/read_ahead.h"
#include "driver/report.h"
#include "driver/stamp_jumps.h"
#include "driver/timecode.h"
#include "driver/transcode_loop.h"

static TranscodeState transcode_state;

// A build held to AVX2 keeps FFmpeg's AVX-512 code off too, so that the whole program runs as
// on a processor without it.
static void hold_libraries_to_processor_ceiling() {
    if (processor_held_to_avx2()) {
        av_force_cpu_flags(av_get_cpu_flags() & ~(AV_CPU_FLAG_AVX512 | AV_CPU_FLAG_AVX512ICL));
    }
}

static int refuse_output_over_input(const RunOptions* options) {
    if (!same_file(options->input_path, options->output_path)) return 0;
    printf("Error, output file is the same as the input file\n");
    report_failure("output '%s' is the input file itself: give the output another name",
                   options->output_path);
    return 1;
}

// The start sequence: each step runs only when every step before it succeeded, and
// every run leaves through shutdown_pipeline with the status of the step that ended it.
static int run_transcode(TranscodeState* state, int argc, char** argv) {
    state->video_stream_index = -1;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    install_stop_signals();
    hold_libraries_to_processor_ceiling();

    const CommandLineOutcome parsed = parse_run_options(argc, argv, &state->options);
    if (parsed == COMMAND_LINE_ANSWERED) return shutdown_pipeline(state, 0);
    int status = parsed == COMMAND_LINE_RUN ? 0 : 1;
    if (status == 0) apply_snapshot_override(&state->options);
    if (status == 0 && state->options.colour_mode == 4) status = load_cube_step(state);
    if (status == 0 && state->options.custom_conversion) status = prepare_grade_step(state);
    if (status == 0) status = refuse_output_over_input(&state->options);
    if (status == 0) status = open_input(state);
    if (status == 0) read_ahead_to_first_picture(state);
    if (status == 0) settle_field_order(state);
    if (status == 0 && state->options.timecode) find_start_timecode(state);
    if (status == 0 && state->options.audio) status = open_audio_inputs(state);
    if (status == 0) begin_mending_stamp_jumps(state);
    if (status == 0) status = open_output(state);
    if (status == 0) status = transcode_loop(state);
    return shutdown_pipeline(state, status);
}

int main(int argc, char** argv) { return run_transcode(&transcode_state, argc, argv); }
