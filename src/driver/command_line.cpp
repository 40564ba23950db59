#include "driver/command_line.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

#include "driver/report.h"

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
    if (argc >= 3 && argc <= 8) report_failure("colour mode '%s' is not a digit from 0 to 9", argv[5]);
    return false;
}

static const char guide_text[] =
    "\n"
    "The arguments come in this order; to give one, give every one before it:\n"
    "  input          any video file FFmpeg can read\n"
    "  output         the ProRes file to write; .mov, .mkv or .mxf picks the container\n"
    "  profile        0 Proxy (the default), 1 LT, 2 SQ, 3 HQ\n"
    "  custom         y grades every picture with prolut's own colour arithmetic\n"
    "  colour_mode    with y: 0 house curve (the default), 1 BT.709 curve, 2 power 1/1.8 curve,\n"
    "                 3 linear, 4 the 3D LUT of cube_file\n"
    "  cube_file      the .cube file of colour mode 4 (default: NivlotosRGB.cube)\n"
    "  snapshot_file  writes picture 21 there and ends the run: a PNG image when the name ends\n"
    "                 in .png, raw RGB bytes otherwise; the 20 pictures before it go to the file\n"
    "                 D:\\temp.mov in the current directory\n"
    "\n"
    "Press q to stop early: the output is finished and keeps every picture encoded so far.\n"
    "When standard error is a terminal, a status line there shows the pictures done and their\n"
    "total, pictures per second, speed, time spent and time left.\n"
    "\n"
    "Examples:\n"
    "  prolut camera.mp4 edit.mov 3                    ProRes HQ\n"
    "  prolut log.mov graded.mov 3 y 1                 log to linear, then the BT.709 curve\n"
    "  prolut log.mov graded.mov 3 y 4 show_look.cube  through a 3D LUT\n"
    "\n"
    "prolut --version prints the versions of prolut and of the FFmpeg libraries it runs with.\n";

static void print_library_version(const char* name, unsigned version, const char* separator) {
    printf("%s %u.%u.%u%s", name, version >> 16, version >> 8 & 255, version & 255, separator);
}

bool answer_information_request(int argc, char** argv) {
    if (argc != 2) return false;
    const char* program = argv[0] != nullptr ? argv[0] : "prolut";
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        printf(usage_text, program);
        fputs(guide_text, stdout);
        return true;
    }
    if (strcmp(argv[1], "--version") == 0) {
        printf("prolut %s\n", PROLUT_VERSION);
        printf("FFmpeg %s: ", av_version_info());
        print_library_version("libavformat", avformat_version(), ", ");
        print_library_version("libavcodec", avcodec_version(), ", ");
        print_library_version("libswscale", swscale_version(), ", ");
        print_library_version("libavutil", avutil_version(), "\n");
        return true;
    }
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
            report_failure("cube file '%s', line %d: %s", options->cube_path, report.line, report.reason);
        } else {
            report_failure("cube file '%s': %s", options->cube_path, report.reason);
        }
        return -1;
    }
    return 0;
}
