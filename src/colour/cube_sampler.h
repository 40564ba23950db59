#pragma once
// Trilinear interpolation through a loaded CubeLut.
#include <cstdint>

#include "colour/cube_lut.h"

// red, green, blue: 8-bit codes. out: the file's first, second and third numbers
// (red, green, blue outputs), interpolated; not clamped.
void sample_cube_lut(const CubeLut* lut, uint8_t red, uint8_t green, uint8_t blue, float out[3]);
