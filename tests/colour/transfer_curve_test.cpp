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
    // Row 0's anchors, as material was encoded with them: entries 0..16, then 16, 32, ..., 1008.
    const int house_start[17] = {0, 6, 13, 19, 25, 32, 38, 44, 51, 57, 63, 70, 76, 83, 89, 95, 102};
    const int house_every_16th[63] = {
        102, 182, 247, 303, 354, 398,  437,  472,  505,  534,  561,  585,  608,  629,  648, 666,
        684, 700, 717, 732, 747, 761,  773,  785,  796,  808,  818,  829,  839,  848,  858, 867,
        876, 885, 893, 901, 909, 916,  923,  930,  937,  944,  951,  957,  962,  967,  971, 975,
        980, 985, 989, 994, 999, 1001, 1004, 1006, 1008, 1010, 1013, 1015, 1017, 1019, 1022};
    const std::map<int, int> kept[3] = {{},
                                        {{17, 77}, {23, 102}, {48, 182}, {243, 487}},
                                        {{1, 12}, {2, 23}, {3, 35}, {6, 58}, {9, 73}, {62, 215}}};
    for (int row = 0; row < 3; ++row) {
        const float* entries = EncodingCurves + 1024 * row;
        for (int n = 0; n < 1024; ++n) {
            const int a = std::min(n / 16 * 16, 1008), b = a == 1008 ? 1023 : a + 16;
            const double x = n / 1023.0;
            int want = int(std::floor(1023 * (row == 2    ? std::pow(x, 1 / 1.8)
                                              : x < 0.018 ? 4.5 * x
                                                          : 1.099 * std::pow(x, 0.45) - 0.099) +
                                      0.5));
            if (row == 0 && n <= 16) want = house_start[n];
            if (row == 0 && n > 16) {
                const int low = house_every_16th[a / 16 - 1],
                          high = b == 1023 ? 1023 : house_every_16th[b / 16 - 1];
                want = low + (2 * (high - low) * (n - a) + (b - a)) / (2 * (b - a));
            }
            if (kept[row].count(n)) want = kept[row].at(n);
            EXPECT_EQ(entries[n], float(want)) << row << " " << n;
            EXPECT_TRUE(n == 0 || entries[n] >= entries[n - 1]) << row << " " << n;
        }
        EXPECT_EQ(entries[1023], 1023) << row;
    }
}

}  // namespace
