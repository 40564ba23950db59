#pragma once
#include "driver/transcode_state.h"

// The snapshot sends the encoded output here; "file:" keeps FFmpeg from reading "D:" as
// a protocol name, so a file of exactly this name lands in the current directory.
extern const char snapshot_output_path[];
// Loaded in colour mode 4 when no cube file is named.
extern const char default_cube_path[];

// "--help" or "-h" as the only argument prints the usage and a short guide; "--version"
// prints the versions of the program and of the FFmpeg libraries it runs with. True when
// one of them was answered: the run ends there, successfully.
bool answer_information_request(int argc, char** argv);

// Fills options from the positional command line (argc counts argument 0). On a wrong
// argument count, or a colour mode below 0 (no curve has a row for it), prints the usage
// message and returns false.
bool parse_run_options(int argc, char** argv, RunOptions* options);

// With the snapshot on, the output goes to the fixed path instead of argument 2.
void apply_snapshot_override(RunOptions* options);

// Colour mode 4: names the cube file (the default when none or an empty one is given),
// echoes the name and loads it. Returns 0 when the table is ready, -1 otherwise.
int load_cube_step(TranscodeState* state);
