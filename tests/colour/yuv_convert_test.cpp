#include "colour/yuv_convert.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// Uniform rows give each colour's studio-range values. In mixed rows Cr comes from the first pixel
// of a pair, Cb from the second, and the lone last pixel gives both; the last two reach each table
// alone. Every sample carries low bits that must not count; rows are padded on both sides.
TEST(YuvConvert, PairsOddWidthAndPaddedRows) {
    using Rgb = std::array<uint16_t, 3>;
    const Rgb k{0, 0, 0}, w{1023, 1023, 1023}, g{512, 512, 512}, r{1023, 0, 0}, gr{0, 1023, 0}, b{0, 0, 1023},
        r8{255, 0, 0}, g8{0, 255, 0}, b8{0, 0, 255};
    const Rgb picture[10][3] = {{k, k, k}, {w, w, w},  {g, g, g},  {r, r, r},    {gr, gr, gr},
                                {b, b, b}, {r, b, gr}, {b, gr, r}, {r8, g8, b8}, {g8, b8, r8}};
    const std::array<int, 7> expected[10] = {
        // Y Y Y Cb Cb Cr Cr
        {64, 64, 64, 512, 512, 512, 512},    {941, 941, 941, 513, 513, 513, 513},
        {503, 503, 503, 512, 512, 512, 512}, {326, 326, 326, 361, 361, 961, 961},
        {579, 579, 579, 215, 215, 136, 136}, {164, 164, 164, 961, 961, 440, 440},
        {326, 164, 579, 961, 215, 961, 136}, {164, 579, 326, 215, 361, 440, 961},
        {129, 192, 88, 438, 624, 624, 494},  {192, 88, 129, 624, 475, 419, 624}};
    const int src_words = 9 + 2, strides[3] = {2 * (3 + 3), 2 * (2 + 3), 2 * (2 + 3)};
    std::vector<uint16_t> bgr48(10 * src_words, 0x5A5A), planes[3];
    for (int y = 0; y < 10; ++y)
        for (int k = 0; k < 9; ++k)
            bgr48[y * src_words + k] = uint16_t(picture[y][k / 3][2 - k % 3] << 6 | 0x3F);
    uint8_t* dst[3];
    for (int p = 0; p < 3; ++p) {
        planes[p].assign(10 * strides[p] / 2, 0xEEEE);
        dst[p] = reinterpret_cast<uint8_t*>(planes[p].data());
    }
    YuvTables tables{};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<const uint8_t*>(bgr48.data()), 2 * src_words, 3, 10,
                               dst, strides);
    for (int y = 0; y < 10; ++y) {
        const uint16_t* row[3] = {&planes[0][y * 6], &planes[1][y * 5], &planes[2][y * 5]};  // Y, Cb, Cr
        const std::array<int, 7> got = {row[0][0], row[0][1], row[0][2], row[1][0],
                                        row[1][1], row[2][0], row[2][1]};
        EXPECT_EQ(got, expected[y]) << "row " << y;
        for (int p = 0; p < 3; ++p)
            for (int x = p ? 2 : 3; x < strides[p] / 2; ++x)
                EXPECT_EQ(row[p][x], 0xEEEE) << "padding " << p << " " << y;
    }
}

}  // namespace
