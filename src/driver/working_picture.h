#pragma once
#include "colour/rgb_widen.h"
#include "driver/transcode_state.h"

// The decoded picture into the 16-bit BGR working picture at the encoder's size: 8-bit
// RGB sources widened exactly, every other source through the BGR48 scaler.
LoopEnd fill_working_picture(TranscodeState* state);

// How an 8-bit RGB format lays out its samples; null for every other format.
const Rgb8Layout* rgb8_layout_of(AVPixelFormat format);
