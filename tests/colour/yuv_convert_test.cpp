#include "colour/yuv_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct TableValues {
    const int32_t* table;
    int32_t at_255, at_512, at_1023;
};

TEST(YuvTables, KeyEntriesOfAllNineTables) {
    YuvTables t{};
    build_yuv_tables(&t);
    const TableValues cases[] = {
        {t.y_from_r, 65, 131, 262},  {t.y_from_g, 128, 258, 515}, {t.y_from_b, 24, 50, 100},
        {t.u_from_r, 37, 76, 151},   {t.u_from_g, 74, 148, 297},  {t.u_from_b, 112, 224, 449},
        {t.v_from_r, 112, 224, 449}, {t.v_from_g, 93, 188, 376},  {t.v_from_b, 18, 36, 72},
    };
    for (size_t n = 0; n < std::size(cases); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(cases[n].table[0], 0);
        EXPECT_EQ(cases[n].table[255], cases[n].at_255);
        EXPECT_EQ(cases[n].table[512], cases[n].at_512);
        EXPECT_EQ(cases[n].table[1023], cases[n].at_1023);
    }
    EXPECT_TRUE(t.yuv_tables_built);
}

struct Rgb10 {
    int r, g, b;
};

// A picture with its own strides; padding is filled with a marker so stray writes show.
struct Pictures {
    int width, height;
    std::vector<uint16_t> bgr48;
    std::vector<uint8_t> planes[3];
    int src_stride;
    int strides[3];

    Pictures(int w, int h, int src_pad = 0, int dst_pad = 0) : width(w), height(h) {
        src_stride = 6 * w + src_pad;
        bgr48.assign(size_t(src_stride) * h / 2, 0x5A5A);
        strides[0] = 2 * w + dst_pad;
        strides[1] = strides[2] = 2 * ((w + 1) / 2) + dst_pad;
        for (int p = 0; p < 3; ++p) planes[p].assign(size_t(strides[p]) * h, 0xEE);
    }
    void set(int x, int y, Rgb10 c, int low_bits = 0) {
        uint16_t* px = &bgr48[size_t(y) * src_stride / 2 + 3 * x];
        px[0] = uint16_t(c.b << 6 | low_bits);
        px[1] = uint16_t(c.g << 6 | low_bits);
        px[2] = uint16_t(c.r << 6 | low_bits);
    }
    void convert(YuvTables* tables) {
        uint8_t* const dst[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
        convert_bgr48_to_yuv422p10(tables, reinterpret_cast<const uint8_t*>(bgr48.data()), src_stride, width,
                                   height, dst, strides);
    }
    int word(int plane, int x, int y) const {
        uint16_t v;
        std::memcpy(&v, &planes[plane][size_t(y) * strides[plane] + 2 * x], 2);
        return v;
    }
};

struct ColourCase {
    const char* name;
    Rgb10 colour;
    int y, cb, cr;
};

class YuvColour : public testing::TestWithParam<ColourCase> {};

TEST_P(YuvColour, UniformPairGivesStudioRangeValues) {
    const ColourCase& c = GetParam();
    YuvTables tables{};
    Pictures pic(2, 1);
    pic.set(0, 0, c.colour);
    pic.set(1, 0, c.colour);
    pic.convert(&tables);
    EXPECT_EQ(pic.word(0, 0, 0), c.y);
    EXPECT_EQ(pic.word(0, 1, 0), c.y);
    EXPECT_EQ(pic.word(1, 0, 0), c.cb);
    EXPECT_EQ(pic.word(2, 0, 0), c.cr);
}

INSTANTIATE_TEST_SUITE_P(Colours, YuvColour,
                         testing::Values(ColourCase{"black", {0, 0, 0}, 64, 512, 512},
                                         ColourCase{"white", {1023, 1023, 1023}, 941, 513, 513},
                                         ColourCase{"grey", {512, 512, 512}, 503, 512, 512},
                                         ColourCase{"red", {1023, 0, 0}, 326, 361, 961},
                                         ColourCase{"green", {0, 1023, 0}, 579, 215, 136},
                                         ColourCase{"blue", {0, 0, 1023}, 164, 961, 440}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(YuvConvert, CrFromFirstPixelCbFromSecondIgnoringLowBits) {
    YuvTables tables{};
    Pictures plain(2, 1), noisy(2, 1);
    plain.set(0, 0, {1023, 0, 0});
    plain.set(1, 0, {0, 0, 1023});
    noisy.set(0, 0, {1023, 0, 0}, 0x3F);
    noisy.set(1, 0, {0, 0, 1023}, 0x3F);
    plain.convert(&tables);
    noisy.convert(&tables);
    EXPECT_EQ(plain.word(2, 0, 0), 961);  // red's Cr
    EXPECT_EQ(plain.word(1, 0, 0), 961);  // blue's Cb
    EXPECT_EQ(plain.planes[0], noisy.planes[0]);
    EXPECT_EQ(plain.planes[1], noisy.planes[1]);
    EXPECT_EQ(plain.planes[2], noisy.planes[2]);
}

TEST(YuvConvert, OddWidthPairsWithinRowsAndLastPixelGivesBoth) {
    const Rgb10 red{1023, 0, 0}, green{0, 1023, 0}, blue{0, 0, 1023};
    YuvTables tables{};
    Pictures pic(3, 2);
    pic.set(0, 0, red);
    pic.set(1, 0, blue);
    pic.set(2, 0, green);
    pic.set(0, 1, blue);
    pic.set(1, 1, green);
    pic.set(2, 1, red);
    pic.convert(&tables);
    EXPECT_EQ(pic.word(2, 0, 0), 961);  // red Cr
    EXPECT_EQ(pic.word(1, 0, 0), 961);  // blue Cb
    EXPECT_EQ(pic.word(2, 1, 0), 136);  // green alone: Cr
    EXPECT_EQ(pic.word(1, 1, 0), 215);  // and Cb
    EXPECT_EQ(pic.word(2, 0, 1), 440);  // blue Cr starts the second row
    EXPECT_EQ(pic.word(1, 0, 1), 215);  // green Cb
    EXPECT_EQ(pic.word(2, 1, 1), 961);  // red alone: Cr
    EXPECT_EQ(pic.word(1, 1, 1), 361);  // and Cb
    EXPECT_EQ(pic.word(0, 2, 1), 326);
}

TEST(YuvConvert, PaddedStridesAddressRowsAndLeavePaddingAlone) {
    YuvTables tables{};
    Pictures pic(4, 3, 10, 6);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) pic.set(x, y, y == 1 ? Rgb10{1023, 1023, 1023} : Rgb10{0, 0, 0});
    pic.convert(&tables);
    for (int y = 0; y < 3; ++y) {
        SCOPED_TRACE(y);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(pic.word(0, x, y), y == 1 ? 941 : 64);
        for (int x = 0; x < 2; ++x) {
            EXPECT_EQ(pic.word(1, x, y), y == 1 ? 513 : 512);
            EXPECT_EQ(pic.word(2, x, y), y == 1 ? 513 : 512);
        }
        for (int p = 0; p < 3; ++p) {
            const int used = p == 0 ? 8 : 4;
            for (int byte = used; byte < pic.strides[p]; ++byte)
                EXPECT_EQ(pic.planes[p][size_t(y) * pic.strides[p] + byte], 0xEE);
        }
    }
}

}  // namespace
