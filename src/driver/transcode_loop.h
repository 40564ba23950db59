#pragma once
#include "driver/transcode_state.h"

// Moves the whole input through the pipeline, one packet per turn, until the frame
// count, the end of the input, 'q', a signal, the snapshot or an error ends it; then
// drains the encoder unless the encoder or the writer failed. Returns the exit status.
int transcode_loop(TranscodeState* state);

// The exit status a way out of the loop gives, and whether the encoder is drained.
int exit_status_for(LoopEnd end);
bool loop_end_drains(LoopEnd end);

// The one way out of every run: trailer and "\nComplete\n" when a header was written,
// then the release of whatever exists. Returns status, or 1 when finishing the file
// failed.
int shutdown_pipeline(TranscodeState* state, int status);
