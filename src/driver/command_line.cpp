#include "driver/command_line.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <getopt.h>

extern "C" {
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

#include "colour/processor.h"
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

static const char guide_text[] =
    "\n"
    "prolut [OPTION]... input output [profile] [custom] [colour_mode] [cube_file] [snapshot_file]\n"
    "\n"
    "Options come before the input:\n"
    "  --audio        every audio stream of the input goes along, as PCM, cut to the pictures\n"
    "                 written and in step with them (48 kHz in .mxf)\n"
    "  --timecode     the input's start timecode goes along: a tmcd track in MOV (with the reel\n"
    "                 name), the MXF timecode, a TIMECODE tag in Matroska\n"
    "  --precise      with y: grades from every bit of the picture, not its top 8, for 10-bit\n"
    "                 and log sources: a 10-bit ramp through a contrast LUT keeps 694 levels\n"
    "                 instead of 234\n"
    "  -h, --help     this text\n"
    "  --version      the versions of prolut and of the FFmpeg libraries it runs with\n"
    "  --             ends the options: prolut -- -clip.mov out.mov\n"
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
    "Interlaced sources stay interlaced: fields coded in their order, which MOV and Matroska\n"
    "name too.\n"
    "\n"
    "Press q to stop early: the output is finished and keeps every picture encoded so far.\n"
    "When standard error is a terminal, a status line there shows the pictures done and their\n"
    "total, pictures per second, speed, time spent and time left.\n"
    "\n"
    "Examples:\n"
    "  prolut camera.mp4 edit.mov 3                    ProRes HQ\n"
    "  prolut log.mov graded.mov 3 y 1                 log to linear, then the BT.709 curve\n"
    "  prolut log.mov graded.mov 3 y 4 show_look.cube  through a 3D LUT\n"
    "  prolut --precise A001C003.mxf graded.mov 3 y 4 look.cube\n"
    "                                                  10-bit log through a LUT, no 8-bit steps\n"
    "  prolut --audio --timecode A001C003.mxf A001C003.mov 3 y 4 show.cube\n"
    "                                                  dailies: sound, timecode and the look\n";

// What the options before the positional arguments ask for.
struct OptionScan {
    int first_positional;
    int answer;           // 'h' or option_version: the first question asked, 0 for none
    std::string unknown;  // the first option not known, as given
    bool audio, timecode, precise;
};

enum { option_audio = 256, option_timecode, option_precise, option_version };

static const struct option long_options[] = {
    {"audio", no_argument, nullptr, option_audio},     {"timecode", no_argument, nullptr, option_timecode},
    {"precise", no_argument, nullptr, option_precise}, {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, option_version}, {nullptr, 0, nullptr, 0},
};

// "+": the options end at the first argument that is not one, so that an input or output
// name is never taken for an option and nothing is reordered.
static OptionScan scan_options(int argc, char** argv) {
    OptionScan scan{};
    opterr = 0;  // the one line about an unknown option is ours
    optind = 0;  // a fresh scan, also when the parser ran before in this process
    for (;;) {
        const int at = optind == 0 ? 1 : optind;
        const int option = getopt_long(argc, argv, "+h", long_options, nullptr);
        if (option == -1) break;
        switch (option) {
            case option_audio: scan.audio = true; break;
            case option_timecode: scan.timecode = true; break;
            case option_precise: scan.precise = true; break;
            case 'h':
            case option_version:
                if (scan.answer == 0) scan.answer = option;
                break;
            default:
                // A long option is named as given ("--audio=1" too); a short one by its letter,
                // which may stand inside a group such as "-hx".
                if (scan.unknown.empty()) {
                    const bool long_form = at < argc && strncmp(argv[at], "--", 2) == 0;
                    scan.unknown = long_form ? std::string(argv[at]) : std::string("-") + char(optopt);
                }
                break;
        }
    }
    scan.first_positional = optind;
    return scan;
}

static void print_library_version(const char* name, unsigned version, const char* separator) {
    printf("%s %u.%u.%u%s", name, version >> 16, version >> 8 & 255, version & 255, separator);
}

static void answer_question(int question, const char* program) {
    if (question == 'h') {
        printf(usage_text, program);
        fputs(guide_text, stdout);
        return;
    }
    printf("prolut %s\n", PROLUT_VERSION);
    printf("FFmpeg %s: ", av_version_info());
    print_library_version("libavformat", avformat_version(), ", ");
    print_library_version("libavcodec", avcodec_version(), ", ");
    print_library_version("libswscale", swscale_version(), ", ");
    print_library_version("libavutil", avutil_version(), "\n");
    if (processor_held_to_avx2()) printf("built to use no AVX-512\n");
}

CommandLineOutcome parse_run_options(int argc, char** argv, RunOptions* options) {
    *options = RunOptions{};
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "prolut";
    if (argc < 1) {
        printf(usage_text, program);
        return COMMAND_LINE_REFUSED;
    }
    const OptionScan scan = scan_options(argc, argv);
    if (scan.answer != 0) {
        answer_question(scan.answer, program);
        return COMMAND_LINE_ANSWERED;
    }
    if (!scan.unknown.empty()) {
        report_failure("unknown option '%s'", scan.unknown.c_str());
        printf(usage_text, program);
        return COMMAND_LINE_REFUSED;
    }
    char** positional = argv + scan.first_positional;
    const int count = argc - scan.first_positional;
    if (count < 2 || count > 7) {
        printf(usage_text, program);
        return COMMAND_LINE_REFUSED;
    }
    options->input_path = positional[0];
    options->output_path = positional[1];
    if (count > 2) options->profile = digit_value(positional[2]);
    if (count > 3) options->custom_conversion = positional[3][0] == 'y';
    if (count > 4) options->colour_mode = digit_value(positional[4]);
    if (count > 5) options->cube_path = positional[5];
    if (count > 6) {
        options->snapshot_enabled = true;
        options->snapshot_path = positional[6];
    }
    options->audio = scan.audio;
    options->timecode = scan.timecode;
    options->precise = scan.precise;
    if (options->colour_mode < 0) {
        printf(usage_text, program);
        report_failure("colour mode '%s' is not a digit from 0 to 9", positional[4]);
        return COMMAND_LINE_REFUSED;
    }
    return COMMAND_LINE_RUN;
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
