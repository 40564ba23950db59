#pragma once
// Builds .cube texts in memory for the loader, sampler and tone-mapping tests.
#include <array>
#include <charconv>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "colour/cube_lut.h"
#include "colour/cube_sampler.h"

using CubeEntry = std::array<float, 3>;
using CubeValue = std::function<CubeEntry(int i, int j, int k)>;

inline void append_number(std::string& text, float value) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    text.append(digits, result.ptr);
}

// Red varies fastest; the numbers are tab-separated so an all-zero first entry is the
// exact line that ends the header.
inline std::string make_cube(int n, const CubeValue& value, const std::string& line_end = "\n") {
    std::string text = "TITLE \"generated\"" + line_end + "# comment" + line_end + "LUT_3D_SIZE " +
                       std::to_string(n) + line_end + "DOMAIN_MIN 0 0 0" + line_end;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const CubeEntry e = value(i, j, k);
                append_number(text, e[0]);
                text += '\t';
                append_number(text, e[1]);
                text += '\t';
                append_number(text, e[2]);
                text += line_end;
            }
    return text;
}

inline std::string identity_cube(int n, const std::string& line_end = "\n") {
    const float top = float(n - 1);
    return make_cube(
        n,
        [top](int i, int j, int k) {
            return CubeEntry{i / top, j / top, k / top};
        },
        line_end);
}

// A cube loaded from text for the length of a test.
struct LoadedCube {
    CubeLut lut{};
    explicit LoadedCube(const std::string& text) {
        EXPECT_EQ(init_cube_lut_from_text(&lut, text.data(), text.size()), 0);
    }
    ~LoadedCube() { release_cube_lut(&lut); }
    CubeEntry entry(int e) const {
        return {lut.lattice[3 * e], lut.lattice[3 * e + 1], lut.lattice[3 * e + 2]};
    }
    CubeEntry sample(int r, int g, int b) const {
        CubeEntry out;
        sample_cube_lut(&lut, uint8_t(r), uint8_t(g), uint8_t(b), out.data());
        return out;
    }
};
