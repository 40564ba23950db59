#include "colour/cube_lut.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cube_text.h"

namespace {

int init_from(CubeLut* lut, const std::string& text) {
    return init_cube_lut_from_text(lut, text.data(), text.size());
}

int load_from(CubeLut* lut, const std::string& text) {
    std::istringstream stream(text);
    return load_cube_text(lut, stream);
}

// A two-point cube whose entries after the first are given line by line.
std::string two_point_cube(const std::string& after_first_line) {
    return "LUT_3D_SIZE 2\n0\t0\t0\n" + after_first_line;
}

const std::string seven_lines = "1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";

TEST(CubeLoader, LoadsSize33WithOtherHeaderLines) {
    CubeLut lut{};
    const std::string text = identity_cube(33);
    ASSERT_EQ(load_from(&lut, text), 35937);
    EXPECT_EQ(lut.grid_size, 33);
    release_cube_lut(&lut);

    ASSERT_EQ(init_from(&lut, text), 0);
    EXPECT_EQ(lut.lattice[3 * 1 + 0], 1.0f / 32);     // entry (1, 0, 0)
    EXPECT_EQ(lut.lattice[3 * 33 + 1], 1.0f / 32);    // entry (0, 1, 0)
    EXPECT_EQ(lut.lattice[3 * 1089 + 2], 1.0f / 32);  // entry (0, 0, 1)
    EXPECT_EQ(lut.lattice[3 * 35936 + 2], 1.0f);      // last entry
    release_cube_lut(&lut);
    EXPECT_EQ(lut.lattice, nullptr);
}

TEST(CubeLoader, CrLfLoadsExactlyAsLf) {
    CubeLut lf{}, crlf{};
    ASSERT_EQ(init_from(&lf, identity_cube(5)), 0);
    ASSERT_EQ(init_from(&crlf, identity_cube(5, "\r\n")), 0);
    EXPECT_EQ(std::memcmp(lf.lattice, crlf.lattice, 125 * 12), 0);
    release_cube_lut(&lf);
    release_cube_lut(&crlf);
}

struct LoadCase {
    const char* name;
    std::string text;
    int result;  // from load_cube_text
};

class CubeText : public testing::TestWithParam<LoadCase> {};

// Every rejection leaves no lattice behind, prints nothing and never reaches the tables.
TEST_P(CubeText, LoadResult) {
    const LoadCase& c = GetParam();
    CubeLut lut{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_from(&lut, c.text), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    if (c.result < 0) {
        EXPECT_EQ(lut.lattice, nullptr);
        EXPECT_EQ(init_from(&lut, c.text), -1);
        EXPECT_EQ(lut.lattice, nullptr);
    } else {
        EXPECT_EQ(lut.grid_size, 2);  // every accepted text here is a two-point cube
    }
    release_cube_lut(&lut);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CubeText,
    testing::Values(
        LoadCase{"SizeLineWithBlanksAndTab", "  \tLUT_3D_SIZE\t 2\n0\t0\t0\n" + seven_lines, 8},
        LoadCase{"NoFinalLineFeed", two_point_cube(seven_lines.substr(0, seven_lines.size() - 1)), 8},
        LoadCase{"BlankLinesAfterLastEntry", two_point_cube(seven_lines + "\n  \t\r\n\n"), 8},
        LoadCase{"LaterSizeLineWins", "LUT_3D_SIZE 3\nLUT_3D_SIZE 2\n0\t0\t0\n" + seven_lines, 8},
        LoadCase{"SizeReadLikeAtoi", "LUT_3D_SIZE +2x\n0\t0\t0\n" + seven_lines, 8},
        LoadCase{"LowerCaseKeyIsNoSizeLine", "lut_3d_size 2\n0\t0\t0\n" + seven_lines, -1},
        LoadCase{"BlanksInFirstLatticeLine", "LUT_3D_SIZE 2\n0 0 0\n" + seven_lines, -1},
        LoadCase{"DecimalsInFirstLatticeLine", "LUT_3D_SIZE 2\n0.0\t0.0\t0.0\n" + seven_lines, -1},
        LoadCase{"TrailingBlankOnFirstLatticeLine", "LUT_3D_SIZE 2\n0\t0\t0 \n" + seven_lines, -1},
        LoadCase{"Empty", "", -1}, LoadCase{"HeaderOnly", "LUT_3D_SIZE 2\n", -1},
        LoadCase{"SizeOne", "LUT_3D_SIZE 1\n0\t0\t0\n", -1},
        LoadCase{"SizeMissing", "LUT_3D_SIZE\n0\t0\t0\n" + seven_lines, -1},
        LoadCase{"SizeNotANumber", "LUT_3D_SIZE two\n0\t0\t0\n" + seven_lines, -1},
        LoadCase{"Size256", "LUT_3D_SIZE 256\n0\t0\t0\n", -1},
        LoadCase{"Size289", "LUT_3D_SIZE 289\n0\t0\t0\n" + seven_lines, -1},  // 33 modulo 256
        LoadCase{"SizeNegative", "LUT_3D_SIZE -3\n0\t0\t0\n", -1},
        LoadCase{"SizeHuge", "LUT_3D_SIZE 99999999999\n0\t0\t0\n", -1},
        LoadCase{"BadSizeAfterGoodOne", "LUT_3D_SIZE 2\nLUT_3D_SIZE 0\n0\t0\t0\n" + seven_lines, -1},
        LoadCase{"DataBeforeSizeLine", "0\t0\t0\n" + seven_lines, -1},
        LoadCase{"TooManyLines", two_point_cube(seven_lines + "1 1 1\n"), -1},
        LoadCase{"CommentAfterLastEntry", two_point_cube(seven_lines + "# end\n"), -1},
        LoadCase{"TooFewLines", two_point_cube(seven_lines.substr(6)), -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CubeLoader, ShortAndBlankLinesUseUpTheirEntry) {
    CubeLut lut{};
    ASSERT_EQ(init_from(&lut, two_point_cube("0.5 0.25\n\n# note\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n")), 0);
    const float expected[8][3] = {{0, 0, 0}, {0.5f, 0.25f, 0}, {0, 0, 0}, {0, 0, 0},
                                  {1, 1, 0}, {0, 0, 1},        {1, 0, 1}, {0, 1, 1}};
    for (int e = 0; e < 8; ++e)
        for (int n = 0; n < 3; ++n)
            EXPECT_EQ(lut.lattice[3 * e + n], expected[e][n]) << "entry " << e << " float " << n;
    release_cube_lut(&lut);
}

struct NumberCase {
    const char* name;
    const char* line;
    float values[3];
};

class CubeNumbers : public testing::TestWithParam<NumberCase> {};

TEST_P(CubeNumbers, ReadLikeScanfIndependentOfLocale) {
    const NumberCase& c = GetParam();
    CubeLut lut{};
    ASSERT_EQ(init_from(&lut, two_point_cube(std::string(c.line) + "\n" + seven_lines.substr(6))), 0);
    for (int n = 0; n < 3; ++n) {
        const float got = lut.lattice[3 + n];
        if (std::isnan(c.values[n]))
            EXPECT_TRUE(std::isnan(got)) << "float " << n;
        else
            EXPECT_EQ(got, c.values[n]) << "float " << n;
    }
    release_cube_lut(&lut);
}

constexpr float inf = HUGE_VALF;

INSTANTIATE_TEST_SUITE_P(
    Lines, CubeNumbers,
    testing::Values(NumberCase{"Plain", "0.25 -0.5 +1.5e1", {0.25f, -0.5f, 15.0f}},
                    NumberCase{"TabsAndTrailingText", "\t1\t2 3 4 five", {1, 2, 3}},
                    NumberCase{"InfinityAndNan", "inf -INFINITY NaN", {inf, -inf, NAN}},
                    NumberCase{"Overflow", "1e50 -1e50 1e999999999999", {inf, -inf, inf}},
                    NumberCase{"Underflow",
                               "1e-50 -1e-50 0.0000000000000000000000000000000000000000000000000001",
                               {0, -0.0f, 0}},
                    NumberCase{"HugeMantissaSmallExponent",
                               "1000000000000000000000000000000000000000000000000e-5 0 0",
                               {inf, 0, 0}},
                    NumberCase{"HexFloat", "0x1.8p1 0X10 -0x.8", {3, 16, -0.5f}},
                    NumberCase{"CommaStopsTheLine", "1,5 2 3", {1, 0, 0}},
                    NumberCase{"DoubleSignStops", "0.5 --1 2", {0.5f, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CellCase {
    int grid_size;
    int width;
    std::vector<std::array<int, 3>> spots;  // value, cell, offset
};

class CubeCells : public testing::TestWithParam<CellCase> {};

TEST_P(CubeCells, EveryValueFindsItsCell) {
    const CellCase& c = GetParam();
    CubeLut lut{};
    ASSERT_EQ(init_from(&lut, identity_cube(c.grid_size)), 0);
    EXPECT_EQ(cube_cell_width(c.grid_size), c.width);
    for (const auto& [value, cell, offset] : c.spots) {
        EXPECT_EQ(lut.cell_index_table[value], cell) << "value " << value;
        EXPECT_EQ(lut.cell_offset_table[value], offset) << "value " << value;
    }
    // Below the last full cell the position is the value itself; above it everything
    // rests on the last lattice point.
    const int covered = (c.grid_size - 1) * c.width;
    for (int v = 0; v < 256; ++v) {
        const int position = lut.cell_index_table[v] * c.width + lut.cell_offset_table[v];
        EXPECT_EQ(position, v < covered ? v : covered) << "value " << v;
        EXPECT_LE(lut.cell_index_table[v], c.grid_size - 2);
    }
    release_cube_lut(&lut);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CubeCells,
    testing::Values(CellCase{33, 8, {{200, 25, 0}, {255, 31, 7}}}, CellCase{17, 16, {{255, 15, 15}}},
                    CellCase{2, 256, {{0, 0, 0}, {128, 0, 128}, {255, 0, 255}}},
                    CellCase{32, 8, {{247, 30, 7}, {248, 30, 8}, {255, 30, 8}}},
                    CellCase{4, 85, {{84, 0, 84}, {85, 1, 0}, {254, 2, 84}, {255, 2, 85}}}),
    [](const auto& info) { return "N" + std::to_string(info.param.grid_size); });

TEST(CubeFile, LoadsFromDiskAndReportsMissingFiles) {
    char path[] = "/tmp/prolut_cube_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = identity_cube(3, "\r\n");
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);

    CubeLut lut{};
    EXPECT_EQ(load_cube_file(&lut, path), 27);
    EXPECT_EQ(init_cube_lut(&lut, path), 0);
    EXPECT_EQ(lut.lattice[3 * 26 + 1], 1.0f);
    std::remove(path);

    testing::internal::CaptureStdout();
    EXPECT_EQ(load_cube_file(&lut, path), 0);
    EXPECT_EQ(init_cube_lut(&lut, path), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Fail to read the cube file.\nFail to read the cube file.\n");
    release_cube_lut(&lut);
}

TEST(CubeFile, NullPathTouchesNothing) {
    CubeLut lut{};
    lut.grid_size = 7;
    lut.cell_index_table[9] = 3;
    testing::internal::CaptureStdout();
    EXPECT_EQ(init_cube_lut(&lut, nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid cube file path\n ");
    EXPECT_EQ(lut.grid_size, 7);
    EXPECT_EQ(lut.cell_index_table[9], 3);
    EXPECT_EQ(lut.lattice, nullptr);
}

}  // namespace
