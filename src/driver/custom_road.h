#pragma once
#include "driver/transcode_state.h"

// Working picture, tone mapping, snapshot when due, then our own BT.601 conversion into
// the encoder's picture.
LoopEnd convert_frame_custom(TranscodeState* state);
