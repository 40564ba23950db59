#pragma once
// The grade and the BT.601 conversion read from every bit of the working picture (--precise):
// each 16-bit sample s stands for s / 65535. The curve modes take the log-to-linear curve (and
// the stored output curves, interpolated) at that value; the cube is interpolated trilinearly
// with its last lattice point at 65535. The graded R, G, B (0..1) give Y, Cb, Cr rounded to
// nearest, Cb and Cr from the mean of each pair of pixels. Float arithmetic keeps every code
// before rounding within 0.17 of the double-precision value, within 0.002 for lattices within
// -2..2 and for the curves (see precise_grade.cpp), so no code is more than one from it.
// After preparation the record is only read, so any number of threads may share it.
#include <cstdint>

#include "colour/cube_lut.h"

struct PreciseGrade;

// count pixels (packed B, G, R 16-bit samples), the first of them the first of a pair, into
// count luma words and (count + 1) / 2 Cb and Cr words; with an odd count the last pixel is
// alone and its chroma its own.
using PreciseGradeRun = void (*)(const PreciseGrade& grade, const uint16_t* pixels, int count, uint16_t* luma,
                                 uint16_t* cb, uint16_t* cr);

struct PreciseGrade {
    bool cube;
    // Curve modes: the graded value of every sample, 256 KB, small enough for a core's
    // second-level cache.
    float* curve;
    const CubeLut* lut;
    // The lattice with each entry padded to four floats, so that one 32-byte load gives a
    // cell's two red neighbours. Null where a lattice value is not finite or beyond
    // +-wild_lattice_value: the float bound no longer holds there, and double arithmetic
    // grades every pixel.
    float* corners;
    PreciseGradeRun run;
};

// Lattice values up to this magnitude are graded in float.
constexpr float wild_lattice_value = 256.0f;

// The conversion in float: luma = ((y_from_red R + y_from_green G) + y_from_blue B) + 64, and
// the colour differences likewise from the sums of a pair's R, G and B, hence the halves.
constexpr float y_from_red = float(876 * 0.299), y_from_green = float(876 * 0.587),
                y_from_blue = float(876 * 0.114);
constexpr float cb_from_red = float(-896 * 0.299 / 1.772 / 2),
                cb_from_green = float(-896 * 0.587 / 1.772 / 2),
                cb_from_blue = float(896 * (1 - 0.114) / 1.772 / 2);
constexpr float cr_from_red = float(896 * (1 - 0.299) / 1.402 / 2),
                cr_from_green = float(-896 * 0.587 / 1.402 / 2),
                cr_from_blue = float(-896 * 0.114 / 1.402 / 2);
// A cell's share of a sample, 0..65535, times this is its weight.
constexpr float per_sample_step = float(1.0 / 65535);

// Makes the tables for colour_mode (4: the cube, loaded; any other: the curve) and picks the
// fastest variant the processor runs. False when memory for the tables cannot be had.
bool prepare_precise_grade(PreciseGrade* grade, int colour_mode, const CubeLut* lut);
void release_precise_grade(PreciseGrade* grade);

// The graded R, G, B (0..1) of one pixel, as every variant grades it.
void precise_graded_colour(const PreciseGrade& grade, const uint16_t* pixel, float rgb[3]);

// The variants, for the tests: the plain scalar twin, which every other gives bit for bit,
// and the vector ones (null where the processor lacks them). The vector ones grade in float
// only: they need corners in cube mode.
PreciseGradeRun precise_grade_scalar();
PreciseGradeRun precise_grade_avx2();

// In its own file, built for AVX2; reached only through precise_grade_avx2().
void precise_grade_avx2_run(const PreciseGrade& grade, const uint16_t* pixels, int count, uint16_t* luma,
                            uint16_t* cb, uint16_t* cr);
