#include "colour/graded_convert.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "colour/tone_map.h"
#include "cube_cases.h"

namespace {

// The one-pass road against the two passes it stands for, twice (the second round meets the
// colours the first kept), on random samples, every 8-bit code, the extremes, and runs of 1 to 20
// pixels of one colour, where the eight-pixel shortcut must stop exactly. Padded rows, poisoned
// first, show a word skipped or written out of place.
void expect_same_as_two_passes(int mode, const CubeLut* lut) {
    std::mt19937 random(11);
    for (int width : {1, 9, 64, 77}) {
        const int height = 3, stride = 6 * (width + 1);  // one pixel of padding per row
        const int strides[3] = {2 * (width + 3), 2 * ((width + 1) / 2 + 3), 2 * ((width + 1) / 2 + 3)};
        const size_t samples = size_t(3) * (width + 1) * height;
        std::vector<std::vector<uint16_t>> pictures(5, std::vector<uint16_t>(samples));
        for (size_t k = 0, run_end = 0, colour = 0; k < samples; ++k) {
            if (k == 3 * run_end) run_end += 1 + random() % 20, colour = random() % 4;
            pictures[0][k] = uint16_t(random());
            pictures[1][k] = uint16_t((k * 37 + k / 3 * 101) % 256 << 8 | (k & 255));
            pictures[2][k] = k % 2 ? 0xFFFF : 0;
            pictures[3][k] = uint16_t((colour * (k % 3 + 3) * 0x1900) | random() % 256);
            pictures[4][k] = uint16_t(0x7F00 + (k / 3 % 97 == 0) * 0x100);
        }
        for (std::vector<uint16_t>& picture : pictures) {
            uint8_t* bytes = reinterpret_cast<uint8_t*>(picture.data());
            std::vector<uint16_t> planes[2][3];  // one pass, two passes
            uint8_t* data[2][3];
            for (int p = 0; p < 6; ++p) {
                planes[p / 3][p % 3].assign(strides[p % 3] / 2 * height, 0xA5A5);
                data[p / 3][p % 3] = reinterpret_cast<uint8_t*>(planes[p / 3][p % 3].data());
            }
            TransferCurve curve{};
            YuvTables tables{};
            GradedConvert graded{};
            prepare_graded_convert(&graded, mode, false, &curve, &tables, lut);
            for (int round = 0; round < 2 && graded.ready; ++round)
                convert_graded_bgr48_to_yuv422p10(&graded, bytes, stride, width, height, data[0], strides);
            release_graded_convert(&graded);
            tone_map_working_picture(bytes, stride, width, height, mode, &curve, lut);
            convert_bgr48_to_yuv422p10(&tables, bytes, stride, width, height, data[1], strides);
            for (int p = 0; p < 3; ++p)
                ASSERT_EQ(planes[0][p], planes[1][p])
                    << "mode " << mode << " plane " << p << " width " << width;
        }
    }
}

// A twisted grade with values beyond 0..1 and a NaN, in cubes whose cells divide 256 or not.
TEST(GradedConvert, GivesWhatTheTwoPassesGive) {
    for (int mode : {0, 1, 2, 3, 7}) expect_same_as_two_passes(mode, nullptr);
    for (int n : {33, 4, 32}) {
        const std::string text = twisted_cube(n, true);
        CubeLut lut{};
        ASSERT_EQ(init_cube_lut_from_text(&lut, text.data(), text.size()), 0);
        expect_same_as_two_passes(4, &lut);
        release_cube_lut(&lut);
    }
}

}  // namespace
