// Pictures of a source held to their time stamps at a constant rate, without a media file.
#include <gtest/gtest.h>

#include "driver/picture_timing.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace {

// Matroska stamps 29.97 fps in whole milliseconds: every picture is kept, whatever the origin.
// Then a gap of two pictures, a picture that comes early onto a slot already shown, and one
// without a stamp.
TEST(PictureTiming, JitterKeepsEveryPictureGapsRepeatCrowdsDrop) {
    for (const int64_t origin : {int64_t(0), int64_t(83417)}) {
        PictureTiming timing{true, false, 0, {1, 1000}, {30000, 1001}, 0, 0, 0};
        for (int64_t k = 0; k < 2000; ++k) ASSERT_EQ(place_picture(&timing, origin + (k * 1001 + 15) / 30), 0) << k;
        EXPECT_EQ(timing.repeated + timing.dropped, 0);
        EXPECT_EQ(timing.origin, origin + 0);
    }
    PictureTiming timing{true, false, 0, {1, 90000}, {25, 1}, 0, 0, 0};
    const int64_t stamps[][2] = {{90000, 0}, {93600, 0}, {97200, 0}, {108000, 2}, {109000, -1},
                                 {AV_NOPTS_VALUE, 0}, {115200, 0}, {113000, -1}, {118800, 0}};
    for (const auto& [stamp, expected] : stamps) EXPECT_EQ(place_picture(&timing, stamp), expected) << stamp;
    EXPECT_EQ(timing.repeated, 2);
    EXPECT_EQ(timing.dropped, 2);
    EXPECT_EQ(timing.next_slot, 9);
}

}  // namespace
