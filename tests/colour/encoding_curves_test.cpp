#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "colour/transfer_curve.h"

namespace {

const float* row(int r) { return EncodingCurves + r * 1024; }

int round_half_up(double x) { return int(std::floor(x + 0.5)); }

class EncodingCurveRow : public testing::TestWithParam<int> {};

TEST_P(EncodingCurveRow, WholeNumbersRisingFromBlackToWhite) {
    const float* curve = row(GetParam());
    EXPECT_EQ(curve[0], 0.0f);
    EXPECT_EQ(curve[1023], 1023.0f);
    for (int n = 0; n < 1024; ++n) {
        EXPECT_EQ(curve[n], std::floor(curve[n])) << "entry " << n;
        if (n > 0) {
            EXPECT_LE(curve[n - 1], curve[n]) << "entry " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, EncodingCurveRow, testing::Values(0, 1, 2));

TEST(EncodingCurves, HouseCurveGoesThroughItsAnchors) {
    const int start[] = {0, 6, 13, 19, 25, 32, 38, 44, 51, 57, 63, 70, 76, 83, 89, 95, 102};
    for (int n = 0; n <= 16; ++n) EXPECT_EQ(row(0)[n], float(start[n])) << "entry " << n;
    for (int n = 17; n <= 32; ++n) EXPECT_EQ(row(0)[n] - row(0)[n - 1], 5.0f) << "entry " << n;
    const int every_16th[] = {102, 182,  247,  303,  354,  398,  437,  472,  505,  534,  561, 585, 608,
                              629, 648,  666,  684,  700,  717,  732,  747,  761,  773,  785, 796, 808,
                              818, 829,  839,  848,  858,  867,  876,  885,  893,  901,  909, 916, 923,
                              930, 937,  944,  951,  957,  962,  967,  971,  975,  980,  985, 989, 994,
                              999, 1001, 1004, 1006, 1008, 1010, 1013, 1015, 1017, 1019, 1022};
    for (int m = 0; m < 63; ++m)
        EXPECT_EQ(row(0)[16 + 16 * m], float(every_16th[m])) << "entry " << 16 + 16 * m;
    // Between anchors the curve is the rounded straight line.
    EXPECT_EQ(row(0)[40], 215.0f);     // 182 + 65 * 8 / 16 = 214.5
    EXPECT_EQ(row(0)[1015], 1022.0f);  // 1022 + 1 * 7 / 15
    EXPECT_EQ(row(0)[1016], 1023.0f);  // 1022 + 1 * 8 / 15
}

TEST(EncodingCurves, Bt709RowFollowsItsFormula) {
    const std::map<int, int> kept = {{17, 77}, {23, 102}, {48, 182}, {243, 487}};
    for (int n = 0; n < 1024; ++n) {
        const double light = n / 1023.0;
        const double v = light < 0.018 ? 4.5 * light : 1.099 * std::pow(light, 0.45) - 0.099;
        const auto exception = kept.find(n);
        const int expected = exception != kept.end() ? exception->second : round_half_up(1023.0 * v);
        EXPECT_EQ(row(1)[n], float(expected)) << "entry " << n;
    }
}

TEST(EncodingCurves, PowerRowFollowsItsFormula) {
    const std::map<int, int> kept = {{1, 12}, {2, 23}, {3, 35}, {6, 58}, {9, 73}, {62, 215}};
    for (int n = 0; n < 1024; ++n) {
        const auto exception = kept.find(n);
        const int expected = exception != kept.end()
                                 ? exception->second
                                 : round_half_up(1023.0 * std::pow(n / 1023.0, 1.0 / 1.8));
        EXPECT_EQ(row(2)[n], float(expected)) << "entry " << n;
    }
}

}  // namespace
