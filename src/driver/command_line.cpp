#include "driver/command_line.h"

#include <cstdio>

const char snapshot_output_path[] = "file:D:\\temp.mov";
const char default_cube_path[] = "NivlotosRGB.cube";

static const char usage_text[] =
    "Usage: %s input_file output_file cubefile (optional: for Orvel) profile(optional)\n"
    "This program generates a video stream, encodes by using the encoder of \"ProRes\" and the "
    "pixel format is normally set to yuv422p10le.Then muxes them into a file named output_file.\n"
    "The output format is automatically guessed according to the file extension.\n"
    "There are 4 profiles that exist within Prores: Proxy, LT, SQ and HQ (The basic \n"
    "difference is the bitrates). In this program, these profiles are assigned \n"
    "numbers (0 is Proxy, 1 is LT, 2 is SQ and 3 is HQ), and the number of 0 (Proxy) is the "
    "default setting.\n";

// Only the first byte counts, read as a signed 8-bit value: "3HQ" is 3, "12" is 1,
// "a" is 49 and an empty argument -48. Nothing is validated here.
static int digit_value(const char* argument) {
    return static_cast<int>(static_cast<signed char>(argument[0])) - '0';
}

bool parse_run_options(int argc, char** argv, RunOptions* options) {
    *options = RunOptions{};
    if (argc >= 3 && argc <= 8) {
        options->input_path = argv[1];
        options->output_path = argv[2];
        if (argc > 3) options->profile = digit_value(argv[3]);
        if (argc > 4) options->custom_conversion = argv[4][0] == 'y';
        if (argc > 5) options->colour_mode = digit_value(argv[5]);
        if (argc > 6) options->cube_path = argv[6];
        if (argc > 7) {
            options->snapshot_enabled = true;
            options->snapshot_path = argv[7];
        }
        if (options->colour_mode >= 0) return true;
    }
    printf(usage_text, argc > 0 && argv[0] ? argv[0] : "prolut");
    return false;
}

void apply_snapshot_override(RunOptions* options) {
    if (options->snapshot_enabled) options->output_path = snapshot_output_path;
}

int load_cube_step(TranscodeState* state) {
    RunOptions* options = &state->options;
    if (options->cube_path == nullptr || options->cube_path[0] == '\0') {
        options->cube_path = default_cube_path;
    }
    // Echoed byte for byte: a name holding '%' must not be read as a format.
    fputs(options->cube_path, stdout);
    fputs("\n", stdout);
    CubeLoadReport report{};
    if (init_cube_lut(&state->cube_lut, options->cube_path, &report) < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not open the cube file: %s\n", options->cube_path);
        if (report.line > 0) {
            fprintf(stderr, "prolut: cube file '%s', line %d: %s\n", options->cube_path, report.line,
                    report.reason);
        } else {
            fprintf(stderr, "prolut: cube file '%s': %s\n", options->cube_path, report.reason);
        }
        return -1;
    }
    return 0;
}
