#include "colour/transfer_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace {

// Anchors 0..32 and every 16th entry, joined by straight lines rounded half up.
int house_curve(int n) {
    static const int start[17] = {0, 6, 13, 19, 25, 32, 38, 44, 51, 57, 63, 70, 76, 83, 89, 95, 102};
    static const int every_16th[63] = {
        102, 182, 247, 303, 354, 398,  437,  472,  505,  534,  561,  585,  608,  629,  648, 666,
        684, 700, 717, 732, 747, 761,  773,  785,  796,  808,  818,  829,  839,  848,  858, 867,
        876, 885, 893, 901, 909, 916,  923,  930,  937,  944,  951,  957,  962,  967,  971, 975,
        980, 985, 989, 994, 999, 1001, 1004, 1006, 1008, 1010, 1013, 1015, 1017, 1019, 1022};
    if (n <= 16) return start[n];
    if (n <= 32) return 102 + 5 * (n - 16);
    const int a0 = std::min(n / 16 * 16, 1008), a1 = a0 == 1008 ? 1023 : a0 + 16;
    const int v0 = every_16th[a0 / 16 - 1], v1 = a1 == 1023 ? 1023 : every_16th[a1 / 16 - 1];
    return v0 + (2 * (v1 - v0) * (n - a0) + (a1 - a0)) / (2 * (a1 - a0));
}

// Rows 1 and 2 follow their formulas except where graded material fixed other values.
int encoding_curve(int row, int n) {
    static const std::map<int, int> kept[3] = {{},
                                               {{17, 77}, {23, 102}, {48, 182}, {243, 487}},
                                               {{1, 12}, {2, 23}, {3, 35}, {6, 58}, {9, 73}, {62, 215}}};
    if (kept[row].count(n)) return kept[row].at(n);
    if (row == 0) return house_curve(n);
    const double x = n / 1023.0;
    const double v = row == 2    ? std::pow(x, 1.0 / 1.8)
                     : x < 0.018 ? 4.5 * x
                                 : 1.099 * std::pow(x, 0.45) - 0.099;
    return int(std::floor(1023.0 * v + 0.5));  // half up
}

TEST(EncodingCurves, EveryEntryOfTheThreeRows) {
    for (int row = 0; row < 3; ++row)
        for (int n = 0; n < 1024; ++n)
            EXPECT_EQ(EncodingCurves[row * 1024 + n], float(encoding_curve(row, n))) << row << " " << n;
}

// The tone mapper's gamma, 1: code and linear value.
TEST(TransferCurve, LinearCodes) {
    const std::array<int, 2> cases[] = {{0, 0},     {1, 0},     {2, 0},     {3, 1},      {8, 2},
                                        {16, 4},    {32, 10},   {64, 26},   {96, 55},    {128, 105},
                                        {160, 191}, {192, 339}, {224, 597}, {254, 1005}, {255, 1023}};
    for (const auto& [code, linear] : cases) EXPECT_EQ(linear_code(code, 1.0f), linear) << "code " << code;
}

}  // namespace
