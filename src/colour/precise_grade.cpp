#include "colour/precise_grade.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "colour/processor.h"
#include "colour/transfer_curve.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are read in host order");

// Why float is enough. Let u = 2^-24, float's unit roundoff. In cube mode a sample's cell and
// its share of the cell are exact integers, and each weight is the share times per_sample_step,
// rounded twice (2u). A lattice value reaches the result through three weights (6u) and six
// roundings of its own (its product with the green weight and the sum with its green neighbour,
// the same for blue, then for red): 12u at most on each term. The exact weights are positive and
// sum to 1, so the graded value is off by at most 12u M, M the largest lattice magnitude, and
// clamping to 0..1 moves no value further from the exact one. Luma is 876 times a mix of R, G
// and B whose weights sum to 1, Cb and Cr 896 times a mix whose weights' magnitudes sum to 1,
// so a code is off by at most 896 x 12u M, plus under 0.0004 from the conversion's own six
// roundings. That is 0.0017 for lattices within -2..2 and under 0.17 with M up to
// wild_lattice_value (256). The curve's table holds the exact value rounded once.
// So every code is the exact value rounded to nearest but where that value lies that close to a
// half, and never more than one from it.

namespace {

// The log-to-linear curve at a real log code 0..1023.
double log_to_linear(double log_code) {
    return std::pow(std::pow(10.0, (log_code - 1023.0) / 300.0), 1.0 / 1.8);
}

// The curve modes' graded value (0..1) of a 16-bit sample: the linear value, then in modes
// 0-2 the stored output row read between its entries.
double curve_value(int colour_mode, int sample) {
    const double black = log_to_linear(0.0);
    const double light = 255.0 * (log_to_linear(1023.0 * sample / 65535.0) - black) / (1.0 - black);
    const double linear = 1023.0 * std::fmin(std::fmax(light, 0.0), 255.0) / 255.0;
    if (colour_mode < 0 || colour_mode > 2) return linear / 1023.0;
    const float* row = EncodingCurves + colour_mode * 1024;
    const int below = linear < 1022.0 ? int(linear) : 1022;
    return (row[below] + (linear - below) * (row[below + 1] - row[below])) / 1023.0;
}

// Where a sample falls among n lattice points: its cell (0..n - 2) and the weights of the cell's
// lower and upper points.
struct CellPlace {
    int cell;
    float lower, upper;
};

CellPlace cell_place(int sample, int n) {
    // scaled / 65535, rounded down: with scaled = 65535 q + r (0 <= r < 65535, q <= 254),
    // scaled >> 16 is q when r >= q and q - 1 otherwise, and either way adding it and 1 to
    // scaled gives 65536 q plus something in 0..65535.
    const int scaled = sample * (n - 1);
    int cell = (scaled + (scaled >> 16) + 1) >> 16;
    if (cell > n - 2) cell = n - 2;  // the last point is the far end of the last cell
    const int rest = scaled - cell * 65535;
    return {cell, float(65535 - rest) * per_sample_step, float(rest) * per_sample_step};
}

// The order of the operations is the vector kernels' (see precise_grade_avx2.cpp): along
// green, then blue, for the cell's lower and its upper red entries, then red.
void float_trilinear(const PreciseGrade& grade, const uint16_t* pixel, float rgb[3]) {
    const int n = grade.lut->grid_size;
    const CellPlace red = cell_place(pixel[2], n), green = cell_place(pixel[1], n),
                    blue = cell_place(pixel[0], n);
    const ptrdiff_t green_step = 3 * n, blue_step = ptrdiff_t(3) * n * n;
    const float* base = grade.lut->lattice + 3 * (red.cell + n * (green.cell + ptrdiff_t(n) * blue.cell));
    for (int c = 0; c < 3; ++c) {
        float part[2];
        for (int h = 0; h < 2; ++h) {
            const float* e = base + 3 * h + c;
            const float blue0 = e[0] * green.lower + e[green_step] * green.upper;
            const float blue1 = e[blue_step] * green.lower + e[blue_step + green_step] * green.upper;
            part[h] = blue0 * blue.lower + blue1 * blue.upper;
        }
        const float value = part[0] * red.lower + part[1] * red.upper;
        const float above = value > 0 ? value : 0;  // as max then min: a NaN would give 0
        rgb[c] = above < 1 ? above : 1;
    }
}

// A lattice holding NaN, infinities or huge values, in double. A corner of weight 0 does not
// count, so that a broken entry spoils only the cells around it.
void double_trilinear(const PreciseGrade& grade, const uint16_t* pixel, float rgb[3]) {
    const int n = grade.lut->grid_size;
    int cell[3];
    double upper[3];
    for (int axis = 0; axis < 3; ++axis) {
        const double place = pixel[2 - axis] * double(n - 1) / 65535.0;
        cell[axis] = place < n - 2 ? int(place) : n - 2;
        upper[axis] = place - cell[axis];
    }
    double sum[3] = {0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        double weight = 1;
        ptrdiff_t at = 0, step = 3;
        for (int axis = 0; axis < 3; ++axis, step *= n) {
            const int side = corner >> axis & 1;
            weight *= side ? upper[axis] : 1 - upper[axis];
            at += (cell[axis] + side) * step;
        }
        if (weight == 0) continue;
        for (int c = 0; c < 3; ++c) sum[c] += weight * grade.lut->lattice[at + c];
    }
    for (int c = 0; c < 3; ++c) rgb[c] = sum[c] > 0 ? (sum[c] < 1 ? float(sum[c]) : 1.0f) : 0.0f;
}

uint16_t luma_code(const float rgb[3]) {
    return uint16_t(
        std::lrint(((y_from_red * rgb[0] + y_from_green * rgb[1]) + y_from_blue * rgb[2]) + 64.0f));
}

void put_chroma(const float first[3], const float second[3], uint16_t* cb, uint16_t* cr) {
    const float red = first[0] + second[0], green = first[1] + second[1], blue = first[2] + second[2];
    *cb = uint16_t(std::lrint(((cb_from_red * red + cb_from_green * green) + cb_from_blue * blue) + 512.0f));
    *cr = uint16_t(std::lrint(((cr_from_red * red + cr_from_green * green) + cr_from_blue * blue) + 512.0f));
}

void scalar_run(const PreciseGrade& grade, const uint16_t* pixels, int count, uint16_t* luma, uint16_t* cb,
                uint16_t* cr) {
    for (int x = 0; x < count; x += 2) {
        float first[3], second[3];
        precise_graded_colour(grade, pixels + 3 * x, first);
        luma[x] = luma_code(first);
        if (x + 1 < count) {
            precise_graded_colour(grade, pixels + 3 * x + 3, second);
            luma[x + 1] = luma_code(second);
        } else {
            std::memcpy(second, first, sizeof second);
        }
        put_chroma(first, second, cb + x / 2, cr + x / 2);
    }
}

bool tame_lattice(const CubeLut& lut) {
    const size_t values = size_t(3) * lut.grid_size * lut.grid_size * lut.grid_size;
    for (size_t v = 0; v < values; ++v) {
        if (!(std::fabs(lut.lattice[v]) <= wild_lattice_value)) return false;
    }
    return true;
}

}  // namespace

void precise_graded_colour(const PreciseGrade& grade, const uint16_t* pixel, float rgb[3]) {
    if (!grade.cube) {
        for (int c = 0; c < 3; ++c) rgb[c] = grade.curve[pixel[2 - c]];
    } else if (grade.corners != nullptr) {
        float_trilinear(grade, pixel, rgb);
    } else {
        double_trilinear(grade, pixel, rgb);
    }
}

PreciseGradeRun precise_grade_scalar() { return scalar_run; }
PreciseGradeRun precise_grade_avx2() { return processor_runs_avx2() ? precise_grade_avx2_run : nullptr; }

bool prepare_precise_grade(PreciseGrade* grade, int colour_mode, const CubeLut* lut) {
    release_precise_grade(grade);
    const PreciseGradeRun avx2 = precise_grade_avx2();
    grade->run = avx2 != nullptr ? avx2 : scalar_run;
    grade->cube = colour_mode == 4;
    if (!grade->cube) {
        grade->curve = static_cast<float*>(std::malloc(65536 * sizeof(float)));
        if (grade->curve == nullptr) return false;
        for (int sample = 0; sample < 65536; ++sample)
            grade->curve[sample] = float(curve_value(colour_mode, sample));
        return true;
    }
    grade->lut = lut;
    if (!tame_lattice(*lut)) {
        grade->run = scalar_run;
        return true;
    }
    grade->corners = padded_cube_lattice(*lut);
    return grade->corners != nullptr;
}

void release_precise_grade(PreciseGrade* grade) {
    std::free(grade->curve);
    std::free(grade->corners);
    std::memset(grade, 0, sizeof *grade);
}
