#pragma once
// The precise grade as its definition reads, in double, for holding the kernels and the program
// to it: the graded R, G, B (0..1) of a working-picture pixel (B, G, R samples), and the
// unrounded Y, Cb and Cr of BT.601 studio range.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "colour/cube_lut.h"
#include "colour/transfer_curve.h"

inline void reference_grade(int mode, const CubeLut* lut, const uint16_t* pixel, double rgb[3]) {
    double x[3];
    for (int c = 0; c < 3; ++c) x[c] = pixel[2 - c] / 65535.0;
    if (mode != 4) {
        auto f = [](double q) { return std::pow(std::pow(10.0, (q - 1023) / 300), 1 / 1.8); };
        for (int c = 0; c < 3; ++c) {
            const double e = std::clamp(255 * (f(1023 * x[c]) - f(0)) / (1 - f(0)), 0.0, 255.0),
                         l = 1023 * e / 255;
            const float* row = EncodingCurves + 1024 * std::min(mode, 2);
            const int i = std::min(int(std::floor(l)), 1022);
            rgb[c] = (mode == 3 || mode > 4 ? l : row[i] + (l - i) * (row[i + 1] - row[i])) / 1023;
        }
        return;
    }
    const int n = lut->grid_size;
    int cell[3];
    double t[3];
    for (int a = 0; a < 3; ++a) {
        const double p = x[a] * (n - 1);
        cell[a] = std::min(int(std::floor(p)), n - 2);
        t[a] = p - cell[a];
    }
    double sum[3] = {0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        double w = 1;
        int index[3];
        for (int a = 0; a < 3; ++a) {
            const int side = corner >> a & 1;
            w *= side ? t[a] : 1 - t[a];
            index[a] = cell[a] + side;
        }
        const float* entry = lut->lattice + 3 * ((index[2] * n + index[1]) * n + index[0]);
        for (int c = 0; c < 3 && w != 0; ++c) sum[c] += w * entry[c];  // a corner of weight 0 adds nothing
    }
    for (int c = 0; c < 3; ++c) rgb[c] = sum[c] > 0 ? std::min(sum[c], 1.0) : 0;  // NaN gives 0
}

inline double reference_luma(const double rgb[3]) {
    return 64 + 876 * (0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]);
}

// Cb and Cr from the mean of two pixels (the same one twice for a lone last pixel).
inline void reference_chroma(const double first[3], const double second[3], double* cb, double* cr) {
    double mean[3];
    for (int c = 0; c < 3; ++c) mean[c] = (first[c] + second[c]) / 2;
    const double y = 0.299 * mean[0] + 0.587 * mean[1] + 0.114 * mean[2];
    *cb = 512 + 896 * (mean[2] - y) / 1.772;
    *cr = 512 + 896 * (mean[0] - y) / 1.402;
}
