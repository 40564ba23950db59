#include "colour/yuv_convert.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

TEST(YuvTables, KeyEntriesOfAllNineTables) {
    YuvTables t{};
    build_yuv_tables(&t);
    const std::pair<const int32_t*, std::array<int32_t, 3>> cases[] = {
        // entries 255, 512, 1023
        {t.y_from_r, {65, 131, 262}},  {t.y_from_g, {128, 258, 515}}, {t.y_from_b, {24, 50, 100}},
        {t.u_from_r, {37, 76, 151}},   {t.u_from_g, {74, 148, 297}},  {t.u_from_b, {112, 224, 449}},
        {t.v_from_r, {112, 224, 449}}, {t.v_from_g, {93, 188, 376}},  {t.v_from_b, {18, 36, 72}}};
    for (const auto& [table, at] : cases)
        EXPECT_EQ((std::array<int32_t, 3>{table[255], table[512], table[1023]}), at);
}

// Uniform rows give each colour's studio-range values. In the mixed rows Cr comes from the
// first pixel of a pair and Cb from the second, and the lone last pixel gives both. Every
// sample carries low bits that must not count, and every row is padded on both sides.
TEST(YuvConvert, PairsOddWidthAndPaddedRows) {
    using Rgb = std::array<uint16_t, 3>;
    const Rgb k{0, 0, 0}, w{1023, 1023, 1023}, g{512, 512, 512}, r{1023, 0, 0}, gr{0, 1023, 0}, b{0, 0, 1023};
    const Rgb picture[8][3] = {{k, k, k},    {w, w, w}, {g, g, g},  {r, r, r},
                               {gr, gr, gr}, {b, b, b}, {r, b, gr}, {b, gr, r}};
    const std::array<int, 7> expected[8] = {
        // Y Y Y Cb Cb Cr Cr
        {64, 64, 64, 512, 512, 512, 512},    {941, 941, 941, 513, 513, 513, 513},
        {503, 503, 503, 512, 512, 512, 512}, {326, 326, 326, 361, 361, 961, 961},
        {579, 579, 579, 215, 215, 136, 136}, {164, 164, 164, 961, 961, 440, 440},
        {326, 164, 579, 961, 215, 961, 136}, {164, 579, 326, 215, 361, 440, 961}};
    const int src_words = 9 + 2, strides[3] = {2 * (3 + 3), 2 * (2 + 3), 2 * (2 + 3)};
    std::vector<uint16_t> bgr48(8 * src_words, 0x5A5A), planes[3];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                bgr48[y * src_words + 3 * x + c] = uint16_t(picture[y][x][2 - c] << 6 | 0x3F);
    uint8_t* dst[3];
    for (int p = 0; p < 3; ++p) {
        planes[p].assign(8 * strides[p] / 2, 0xEEEE);
        dst[p] = reinterpret_cast<uint8_t*>(planes[p].data());
    }
    YuvTables tables{};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<const uint8_t*>(bgr48.data()), 2 * src_words, 3, 8,
                               dst, strides);
    for (int y = 0; y < 8; ++y) {
        const uint16_t* row[3] = {&planes[0][y * strides[0] / 2], &planes[1][y * strides[1] / 2],
                                  &planes[2][y * strides[2] / 2]};
        EXPECT_EQ(
            (std::array<int, 7>{row[0][0], row[0][1], row[0][2], row[1][0], row[1][1], row[2][0], row[2][1]}),
            expected[y])
            << "row " << y;
        for (int p = 0; p < 3; ++p)
            for (int x = p ? 2 : 3; x < strides[p] / 2; ++x)
                EXPECT_EQ(row[p][x], 0xEEEE) << "padding " << p << " " << y;
    }
}

}  // namespace
