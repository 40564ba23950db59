#pragma once
#include "driver/transcode_state.h"

// The snapshot sends the encoded output here; "file:" keeps FFmpeg from reading "D:" as
// a protocol name, so a file of exactly this name lands in the current directory.
extern const char snapshot_output_path[];
// Loaded in colour mode 4 when no cube file is named.
extern const char default_cube_path[];

// What the command line asks for.
enum CommandLineOutcome {
    COMMAND_LINE_RUN,       // options filled: transcode
    COMMAND_LINE_ANSWERED,  // --help, -h or --version was answered: the run ends, successfully
    COMMAND_LINE_REFUSED,   // the usage text was printed: the run ends with status 1
};

// Fills options from the command line (argc counts argument 0): options first, read as
// getopt_long reads them up to the first argument that is not one ("--" ends them too),
// then the positional arguments. --help or -h prints the usage and a short guide and
// --version the versions of the program and of the FFmpeg libraries it runs with, whatever
// else is given. An unknown option, a wrong count of positional arguments, or a colour mode
// below 0 (no curve has a row for it) prints the usage text, with a line on standard error
// for the first and the last.
CommandLineOutcome parse_run_options(int argc, char** argv, RunOptions* options);

// With the snapshot on, the output goes to the fixed path instead of argument 2.
void apply_snapshot_override(RunOptions* options);

// Colour mode 4: names the cube file (the default when none or an empty one is given),
// echoes the name and loads it. Returns 0 when the table is ready, -1 otherwise.
int load_cube_step(TranscodeState* state);
