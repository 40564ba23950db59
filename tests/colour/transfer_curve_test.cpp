#include "colour/transfer_curve.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(TransferCurve, LinearCodesForUnitGamma) {
    const std::pair<int, int> expected[] = {{0, 0},     {1, 0},     {2, 0},     {3, 1},      {8, 2},
                                            {16, 4},    {32, 10},   {64, 26},   {96, 55},    {128, 105},
                                            {160, 191}, {192, 339}, {224, 597}, {254, 1005}, {255, 1023}};
    for (const auto& [code, linear] : expected) EXPECT_EQ(linear_code(code, 1.0f), linear) << "code " << code;
}

struct ModeCase {
    int mode;
    int at_64, at_128, at_192;
};

class CurveMode : public testing::TestWithParam<ModeCase> {};

TEST_P(CurveMode, KnownCodesAndFullRange) {
    const ModeCase& c = GetParam();
    TransferCurve curve{};
    build_transfer_curve(&curve, 1.0f, c.mode);
    EXPECT_TRUE(curve.transfer_curve_built);
    EXPECT_EQ(curve.entries[0], 0.0f);
    EXPECT_EQ(curve.entries[64], float(c.at_64));
    EXPECT_EQ(curve.entries[128], float(c.at_128));
    EXPECT_EQ(curve.entries[192], float(c.at_192));
    EXPECT_EQ(curve.entries[255], 1023.0f);
    for (int code = 1; code < 256; ++code)
        EXPECT_LE(curve.entries[code - 1], curve.entries[code]) << "code " << code;
}

INSTANTIATE_TEST_SUITE_P(Modes, CurveMode,
                         testing::Values(ModeCase{0, 152, 420, 750}, ModeCase{1, 114, 302, 583},
                                         ModeCase{2, 133, 289, 554}, ModeCase{3, 26, 105, 339},
                                         ModeCase{7, 26, 105, 339}),
                         [](const auto& info) { return "mode" + std::to_string(info.param.mode); });

}  // namespace
