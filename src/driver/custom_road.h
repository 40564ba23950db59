#pragma once
#include "driver/transcode_state.h"

// The decoded picture into the 16-bit BGR working picture, at the encoder's size.
LoopEnd scale_to_working_picture(TranscodeState* state);

// Working picture, tone mapping, snapshot when due, then our own BT.601 conversion into
// the encoder's picture.
LoopEnd convert_frame_custom(TranscodeState* state);
