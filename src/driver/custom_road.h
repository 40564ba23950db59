#pragma once
#include "driver/transcode_state.h"

// At start-up on the custom road: the grade's tables for the colour mode, precise or not, with
// the fastest kernels the processor runs. Returns 0, or 1 after a line on standard error when
// memory for them cannot be had.
int prepare_grade_step(TranscodeState* state);

// Working picture, then the grade and our own BT.601 conversion into the encoder's picture,
// or into the snapshot when it is due.
LoopEnd convert_frame_custom(TranscodeState* state);
