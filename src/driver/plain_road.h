#pragma once
#include "driver/transcode_state.h"

// The decoded picture straight into the encoder's picture through FFmpeg's scaler.
LoopEnd convert_frame_plain(TranscodeState* state);
