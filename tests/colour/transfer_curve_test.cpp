#include "colour/transfer_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Row 0 runs straight between its anchors (0..16, every 16th entry, 1023), rounded half up; rows 1
// and 2 follow their formulas except where graded material fixed other values. Every row climbs.
// The linear values the curves are indexed by are held to their definition by the precise grade's
// test.
TEST(EncodingCurves, EveryEntryOfTheThreeRows) {
    const int house_start[17] = {0, 6, 13, 19, 25, 32, 38, 44, 51, 57, 63, 70, 76, 83, 89, 95, 102};
    const std::map<int, int> kept[3] = {{},
                                        {{17, 77}, {23, 102}, {48, 182}, {243, 487}},
                                        {{1, 12}, {2, 23}, {3, 35}, {6, 58}, {9, 73}, {62, 215}}};
    for (int row = 0; row < 3; ++row) {
        const float* entries = EncodingCurves + 1024 * row;
        for (int n = 0; n < 1024; ++n) {
            const int a = std::min(n / 16 * 16, 1008), b = a == 1008 ? 1023 : a + 16;
            const int low = int(entries[a]), high = int(entries[b]);
            const double x = n / 1023.0;
            int want = int(std::floor(1023 * (row == 2    ? std::pow(x, 1 / 1.8)
                                              : x < 0.018 ? 4.5 * x
                                                          : 1.099 * std::pow(x, 0.45) - 0.099) +
                                      0.5));
            if (row == 0)
                want =
                    n <= 16 ? house_start[n] : low + (2 * (high - low) * (n - a) + (b - a)) / (2 * (b - a));
            if (kept[row].count(n)) want = kept[row].at(n);
            EXPECT_EQ(entries[n], float(want)) << row << " " << n;
            EXPECT_TRUE(n == 0 || entries[n] >= entries[n - 1]) << row << " " << n;
        }
        EXPECT_EQ(entries[1023], 1023) << row;
    }
}

}  // namespace
