#pragma once
#include "driver/transcode_state.h"

// With sound on, an input whose container lets its clock jump (MPEG transport and program
// streams, where recordings are joined and clocks reset) is read as one continuous clock, as
// the ffmpeg CLI reads it: a stream whose next packet is stamped more than 10 s later than
// expected, or over a tenth of a second earlier, shifts every stream's stamps from there on by
// the jump. Pictures and sound then follow the stamps across it instead of being dropped or
// frozen for its length.
void begin_mending_stamp_jumps(TranscodeState* state);

// Shifts a packet of the video stream or of a track by the jumps met so far, and by its own.
void mend_stamp_jump(TranscodeState* state, AVPacket* packet);

void end_mending_stamp_jumps(TranscodeState* state);
