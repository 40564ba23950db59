#include "colour/tone_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cube_text.h"

namespace {

// A packed BGR48 picture given as its samples; rows may be padded with marker words.
struct Picture {
    int width, height, stride;
    std::vector<uint16_t> words;

    Picture(int w, int h, int pad_words = 0) : width(w), height(h), stride(2 * (3 * w + pad_words)) {
        words.assign(size_t(stride / 2) * h, 0xBEEF);
    }
    uint16_t& at(int x, int y, int channel) { return words[size_t(y) * (stride / 2) + 3 * x + channel]; }
    void map(int mode, TransferCurve* curve, const CubeLut* lut = nullptr) {
        tone_map_working_picture(reinterpret_cast<uint8_t*>(words.data()), stride, width, height, mode, curve,
                                 lut);
    }
};

enum { blue = 0, green = 1, red = 2 };

class CurveTone : public testing::TestWithParam<int> {};

TEST_P(CurveTone, HighByteAloneDecides) {
    TransferCurve curve{};
    Picture pic(2, 1);
    pic.at(0, 0, blue) = 0xFFFF;
    pic.at(0, 0, green) = 0x00FF;
    pic.at(0, 0, red) = 0x0000;
    pic.at(1, 0, blue) = 0x8000;
    pic.at(1, 0, green) = 0x80FF;
    pic.at(1, 0, red) = 0x8040;
    pic.map(GetParam(), &curve);
    ASSERT_TRUE(curve.transfer_curve_built);
    EXPECT_EQ(pic.at(0, 0, blue), 1023 << 6);
    EXPECT_EQ(pic.at(0, 0, green), 0);
    EXPECT_EQ(pic.at(0, 0, red), 0);
    const uint16_t mid = uint16_t(int(curve.entries[128]) << 6);
    EXPECT_EQ(pic.at(1, 0, blue), mid);
    EXPECT_EQ(pic.at(1, 0, green), mid);
    EXPECT_EQ(pic.at(1, 0, red), mid);
}

INSTANTIATE_TEST_SUITE_P(Modes, CurveTone, testing::Values(0, 1, 2, 3, 7));

TEST(CurveTone, LinearModeAndReuseOfTheBuiltCurve) {
    TransferCurve curve{};
    Picture first(1, 1);
    first.at(0, 0, red) = 0x8000;
    first.map(3, &curve);
    EXPECT_EQ(first.at(0, 0, red), 105 << 6);

    // A second call must not rebuild: a doctored entry shows through.
    curve.entries[128] = 7.0f;
    Picture second(1, 1);
    second.at(0, 0, red) = 0x8012;
    second.map(3, &curve);
    EXPECT_EQ(second.at(0, 0, red), 7 << 6);
}

TEST(CurveTone, RowsFollowTheStrideAndPaddingStays) {
    TransferCurve curve{};
    Picture pic(3, 2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c) pic.at(x, y, c) = 0xFF00;
    pic.map(3, &curve);
    for (size_t k = 0; k < pic.words.size(); ++k) {
        const bool padding = k % 11 >= 9;
        EXPECT_EQ(pic.words[k], padding ? 0xBEEF : 1023 << 6) << "word " << k;
    }
}

TEST(CubeTone, LooksUpRedGreenBlueAndWritesBackInPlace) {
    LoadedCube cube(identity_cube(2));
    TransferCurve curve{};
    Picture pic(2, 2, 1);
    pic.at(1, 1, blue) = 0x00AB;
    pic.at(1, 1, green) = 0x8000;
    pic.at(1, 1, red) = 0xFFFF;
    pic.at(0, 1, blue) = 0xFF00;  // blue only: must not land in red
    pic.at(0, 1, green) = 0x0000;
    pic.at(0, 1, red) = 0x0000;
    pic.map(4, &curve, &cube.lut);
    EXPECT_FALSE(curve.transfer_curve_built);
    // Two-point identity: an 8-bit code v comes back as v / 256.
    EXPECT_EQ(pic.at(1, 1, red), 1019 << 6);   // 255 / 256 * 1023 = 1019.004
    EXPECT_EQ(pic.at(1, 1, green), 511 << 6);  // 511.5 truncated
    EXPECT_EQ(pic.at(1, 1, blue), 0);
    EXPECT_EQ(pic.at(0, 1, red), 0);
    EXPECT_EQ(pic.at(0, 1, blue), 1019 << 6);
    EXPECT_EQ(pic.words[6], 0xBEEF);  // each row's padding word
    EXPECT_EQ(pic.words[13], 0xBEEF);
}

struct ClampCase {
    const char* name;
    float value;
    int code;
};

class CubeToneClamp : public testing::TestWithParam<ClampCase> {};

TEST_P(CubeToneClamp, OutputsStayWithinTenBits) {
    const float v = GetParam().value;
    // Every lattice point but the first holds the value; the first entry must be zeros.
    LoadedCube cube(make_cube(3, [v](int i, int j, int k) {
        return i + j + k == 0 ? CubeEntry{0, 0, 0} : CubeEntry{v, v, v};
    }));
    TransferCurve curve{};
    Picture pic(1, 1);
    pic.at(0, 0, blue) = pic.at(0, 0, green) = pic.at(0, 0, red) = 0x8000;  // lattice point (1, 1, 1)
    pic.map(4, &curve, &cube.lut);
    const int expected = GetParam().code << 6;
    EXPECT_EQ(pic.at(0, 0, red), expected);
    EXPECT_EQ(pic.at(0, 0, green), expected);
    EXPECT_EQ(pic.at(0, 0, blue), expected);
}

INSTANTIATE_TEST_SUITE_P(Values, CubeToneClamp,
                         testing::Values(ClampCase{"One", 1.0f, 1023}, ClampCase{"Half", 0.5f, 511},
                                         ClampCase{"Zero", 0.0f, 0}, ClampCase{"JustAboveOne", 1.001f, 1023},
                                         ClampCase{"FarAboveOne", 1.5f, 1023},
                                         ClampCase{"JustBelowZero", -0.001f, 0},
                                         ClampCase{"NegativeCode", -0.01f, 0},
                                         ClampCase{"Infinity", HUGE_VALF, 1023}, ClampCase{"NaN", NAN, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
