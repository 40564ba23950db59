#include "colour/tone_map.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "cube_cases.h"

namespace {

constexpr uint16_t mark = 0xBEEF, w = 1023 << 6;

// Two rows of two B, G, R pixels, each row followed by one padding word.
std::vector<uint16_t> tone_map(std::vector<uint16_t> words, int mode, TransferCurve* curve,
                               const std::string& cube = "") {
    CubeLut lut{};
    EXPECT_EQ(mode == 4 ? init_cube_lut_from_text(&lut, cube.data(), cube.size()) : 0, 0);
    tone_map_working_picture(reinterpret_cast<uint8_t*>(words.data()), 14, 2, 2, mode, curve, &lut);
    release_cube_lut(&lut);
    return words;
}

// Each mode with its values for codes 64, 128 and 192 (modes 3 and above keep the linear value);
// the low byte never counts.
TEST(ToneMap, EachCurveModeAtKnownCodes) {
    const std::array<int, 4> cases[] = {
        {0, 152, 420, 750}, {1, 114, 302, 583}, {2, 133, 289, 554}, {3, 26, 105, 339}, {7, 26, 105, 339}};
    const std::vector<uint16_t> words = {0xFFFF, 0x00FF, 0x4000, 0x8000, 0x80FF, 0xC040, mark,
                                         0xC0FF, 0x8012, 0x40FF, 0xFF00, 0,      0x8000, mark};
    for (const auto& [mode, at_64, at_128, at_192] : cases) {
        TransferCurve curve{};
        const uint16_t a = uint16_t(at_64 << 6), m = uint16_t(at_128 << 6), z = uint16_t(at_192 << 6);
        EXPECT_EQ(tone_map(words, mode, &curve),
                  (std::vector<uint16_t>{w, 0, a, m, m, z, mark, z, m, a, w, 0, m, mark}))
            << "mode " << mode;
    }
}

// Code 0x80 is a lattice point of a 3-point cube; each of its values lands in one channel, and
// a value a hair outside 0..1, or not a number, must still give a code within ten bits.
TEST(ToneMap, CubeModeSamplesRedGreenBlueWithinTenBits) {
    const std::string cube = make_cube(3, [](int i, int j, int k) {
        const CubeEntry at[4] = {{0, 0, 0}, {1, 0.5f, 0}, {1.001f, 1.5f, -0.001f}, {-0.01f, HUGE_VALF, NAN}};
        return k == 0 && i < 2 && j < 2 ? at[i + 2 * j] : CubeEntry{0.25f, 0, 1};
    });
    TransferCurve curve{};
    const uint16_t h = 511 << 6, q = 255 << 6;
    EXPECT_EQ(tone_map({0x00FF, 0x00AB, 0x80FF, 0, 0x80AB, 0, mark, 0, 0x8000, 0x8040, 0x8000, 0, 0, mark}, 4,
                       &curve, cube),
              (std::vector<uint16_t>{0, h, w, 0, w, w, mark, 0, w, 0, w, 0, q, mark}));
    EXPECT_FALSE(curve.transfer_curve_built);
}

}  // namespace
