#pragma once
// Rewrites the working picture in place: each sample becomes a 10-bit result << 6,
// through the transfer curve (every colour mode but 4) or the cube LUT (mode 4).
#include <cstdint>

#include "colour/cube_lut.h"
#include "colour/transfer_curve.h"

// The 10-bit results of one pixel in mode 4, from its 8-bit codes: the cube's outputs
// scaled to 0..1023 and clamped (NaN gives 0). out: red, green, blue.
void tone_map_cube_pixel(const CubeLut* lut, uint8_t red, uint8_t green, uint8_t blue, int out[3]);

// An output of the cube as tone_map_cube_pixel codes it.
int cube_output_code(float value);

// bgr48: packed B, G, R unsigned 16-bit little-endian samples, stride in bytes.
// Builds the transfer curve with gamma 1.0 on first use in a curve mode; in mode 4 the
// cube must be loaded. colour_mode must not be negative.
void tone_map_working_picture(uint8_t* bgr48, int stride, int width, int height, int colour_mode,
                              TransferCurve* curve, const CubeLut* lut);
