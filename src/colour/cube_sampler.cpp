#include "colour/cube_sampler.h"

namespace {

// Weights stay whole numbers (they sum to the cell width on each axis) and the single
// division by width^3 comes at the end; each axis pass is rounded to float, red first,
// then green, then blue, and that order is part of the result.
float blend(float lower, float upper, int lower_weight, int upper_weight) {
    return float(double(lower) * lower_weight + double(upper) * upper_weight);
}

}  // namespace

void sample_cube_lut(const CubeLut* lut, uint8_t red, uint8_t green, uint8_t blue, float out[3]) {
    const int n = lut->grid_size;
    const int width = cube_cell_width(n);
    const int fx = lut->cell_offset_table[red];
    const int fy = lut->cell_offset_table[green];
    const int fz = lut->cell_offset_table[blue];
    const int base =
        (lut->cell_index_table[blue] * n + lut->cell_index_table[green]) * n + lut->cell_index_table[red];
    const float* corner = lut->lattice + base * 3;

    if (fx == 0 && fy == 0 && fz == 0) {
        out[0] = corner[0];
        out[1] = corner[1];
        out[2] = corner[2];
        return;
    }

    const int step_g = n * 3;
    const int step_b = n * n * 3;
    const double norm = double(width) * width * width;
    for (int c = 0; c < 3; ++c) {
        const float* l = corner + c;
        const float a00 = blend(l[0], l[3], width - fx, fx);
        const float a10 = blend(l[step_g], l[step_g + 3], width - fx, fx);
        const float a01 = blend(l[step_b], l[step_b + 3], width - fx, fx);
        const float a11 = blend(l[step_b + step_g], l[step_b + step_g + 3], width - fx, fx);
        const float b0 = blend(a00, a10, width - fy, fy);
        const float b1 = blend(a01, a11, width - fy, fy);
        out[c] = float((double(b0) * (width - fz) + double(b1) * fz) / norm);
    }
}
