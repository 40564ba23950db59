#include "colour/graded_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "colour/tone_map.h"
#include "cube_cases.h"

namespace {

constexpr uint16_t poison = 0xA5A5;

// Planes of a width x height picture whose rows are padded, every word poisoned first, so
// that a word the conversion skips or writes out of place shows.
struct Planes {
    int strides[3];
    std::vector<uint16_t> words[3];
    uint8_t* data[3];
    Planes(int width, int height) {
        const int chroma = (width + 1) / 2;
        for (int p = 0; p < 3; ++p) {
            const int row_words = (p == 0 ? width : chroma) + 3;
            strides[p] = 2 * row_words;
            words[p].assign(size_t(row_words) * height, poison);
            data[p] = reinterpret_cast<uint8_t*>(words[p].data());
        }
    }
};

// The one-pass road against the two passes it stands for, on pictures that reach every
// path: random samples, every 8-bit code, the extremes, and runs of one colour broken
// at every offset (the eight-pixel shortcut must stop exactly where the colour changes).
std::vector<std::vector<uint16_t>> test_pictures(int width, int height) {
    const size_t samples = size_t(3) * (width + 1) * height;  // one pixel of padding per row
    std::mt19937 random(11);
    std::vector<std::vector<uint16_t>> pictures(5, std::vector<uint16_t>(samples));
    for (size_t k = 0; k < samples; ++k) {
        pictures[0][k] = uint16_t(random());
        pictures[1][k] = uint16_t((k * 37 + k / 3 * 101) % 256 << 8 | (k & 255));
        pictures[2][k] = k % 2 ? 0xFFFF : 0;
        pictures[4][k] = uint16_t(0x7F00 + (k / 3 % 97 == 0) * 0x100);
    }
    // Runs of 1 to 20 pixels, each of one colour (its three codes differ), the low bytes noise.
    for (size_t pixel = 0, run_end = 0, colour = 0; 3 * pixel < samples; ++pixel) {
        if (pixel == run_end) run_end = pixel + 1 + random() % 20, colour = random() % 4;
        for (size_t c = 0; c < 3; ++c)
            pictures[3][3 * pixel + c] = uint16_t((colour * (c + 3) * 0x1900) | random() % 256);
    }
    return pictures;
}

void expect_same_as_two_passes(int mode, const CubeLut* lut, int width, int height) {
    const int stride = 6 * (width + 1);
    for (std::vector<uint16_t>& picture : test_pictures(width, height)) {
        TransferCurve curve{};
        YuvTables tables{};
        GradedConvert graded{};
        prepare_graded_convert(&graded, mode, &curve, &tables, lut);
        ASSERT_TRUE(graded.ready);
        Planes one_pass(width, height), two_passes(width, height);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(picture.data());
        // A second round meets the colours the first one kept.
        for (int round = 0; round < 2; ++round) {
            convert_graded_bgr48_to_yuv422p10(&graded, bytes, stride, width, height, one_pass.data,
                                              one_pass.strides);
        }
        std::vector<uint16_t> mapped = picture;
        tone_map_working_picture(reinterpret_cast<uint8_t*>(mapped.data()), stride, width, height, mode,
                                 &curve, lut);
        convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<uint8_t*>(mapped.data()), stride, width, height,
                                   two_passes.data, two_passes.strides);
        for (int p = 0; p < 3; ++p) {
            ASSERT_EQ(one_pass.words[p], two_passes.words[p])
                << "mode " << mode << ", plane " << p << ", " << width << "x" << height;
        }
        release_graded_convert(&graded);
    }
}

TEST(GradedConvert, CurveModesGiveWhatTheTwoPassesGive) {
    for (int mode : {0, 1, 2, 3, 7}) {
        for (int width : {1, 9, 64, 77}) expect_same_as_two_passes(mode, nullptr, width, 3);
    }
}

TEST(GradedConvert, CubesGiveWhatTheTwoPassesGive) {
    // A twisted grade with values beyond 0..1 and a NaN; sizes whose cells divide 256
    // and two that leave a last, wider cell.
    for (int n : {33, 4, 32}) {
        const std::string text = make_cube(n, [n](int i, int j, int k) {
            const float r = float(i) / float(n - 1), g = float(j) / float(n - 1), b = float(k) / float(n - 1);
            if (i + j + k == 0) return CubeEntry{0, 0, 0};
            if (i == 1 && j == 2 && k == 3) return CubeEntry{NAN, 1.5f, -0.2f};
            return CubeEntry{std::pow(r, 0.7f) * 1.02f, g * (0.9f + 0.1f * b), b * b - 0.01f * r};
        });
        CubeLut lut{};
        ASSERT_EQ(init_cube_lut_from_text(&lut, text.data(), text.size()), 0);
        for (int width : {1, 9, 64, 77}) expect_same_as_two_passes(4, &lut, width, 3);
        release_cube_lut(&lut);
    }
}

}  // namespace
