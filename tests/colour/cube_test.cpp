#include "colour/cube_lut.h"
#include "colour/cube_sampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "cube_cases.h"

namespace {

int init_text(CubeLut* lut, const std::string& text) {
    return init_cube_lut_from_text(lut, text.data(), text.size());
}

// A cube loaded from text for the length of a test.
struct LoadedCube {
    CubeLut lut{};
    explicit LoadedCube(const std::string& text) { EXPECT_EQ(init_text(&lut, text), 0); }
    ~LoadedCube() { release_cube_lut(&lut); }
    CubeEntry entry(int e) const {
        return {lut.lattice[3 * e], lut.lattice[3 * e + 1], lut.lattice[3 * e + 2]};
    }
    CubeEntry sample(int r, int g, int b) const {
        CubeEntry out;
        sample_cube_lut(&lut, uint8_t(r), uint8_t(g), uint8_t(b), out.data());
        return out;
    }
};

const std::string two_point_start = "LUT_3D_SIZE 2\n0\t0\t0\n";

// A refused text leaves no lattice behind, prints nothing and never reaches the tables.
TEST(CubeLoader, AcceptsAndRefusesTexts) {
    for (const CubeCase& c : cube_load_cases()) {
        CubeLut lut{};
        std::istringstream stream(c.text);
        testing::internal::CaptureStdout();
        const int loaded = load_cube_text(&lut, stream);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name;
        EXPECT_EQ(loaded, c.result) << c.name;
        EXPECT_EQ(lut.grid_size * lut.grid_size * lut.grid_size, std::max(c.result, 0)) << c.name;
        EXPECT_EQ(lut.lattice == nullptr, c.result < 0) << c.name;
        EXPECT_EQ(init_text(&lut, c.text), c.result < 0 ? -1 : 0) << c.name;
        release_cube_lut(&lut);
    }
}

TEST(CubeLoader, Size33WithOtherHeaderLinesAndCrLf) {
    const LoadedCube lf(identity_cube(33)), crlf(identity_cube(33, "\r\n"));
    ASSERT_TRUE(lf.lut.lattice && crlf.lut.lattice);
    EXPECT_EQ(std::memcmp(lf.lut.lattice, crlf.lut.lattice, 35937 * 12), 0);
    EXPECT_EQ((std::vector<float>{lf.entry(1)[0], lf.entry(33)[1], lf.entry(1089)[2], lf.entry(35936)[0]}),
              (std::vector<float>{1.0f / 32, 1.0f / 32, 1.0f / 32, 1}));
}

// The lattice memory held other numbers just before, so a value left out must be written.
TEST(CubeLoader, ShortAndBlankLinesUseUpTheirEntry) {
    CubeLut lut{};
    std::string nines;
    for (int e = 1; e < 8; ++e) nines += "9 9 9\n";
    ASSERT_EQ(init_text(&lut, two_point_start + nines), 0);
    ASSERT_EQ(init_text(&lut, two_point_start + "0.5 0.25\n\n# note\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n"), 0);
    EXPECT_EQ(
        std::vector<float>(lut.lattice, lut.lattice + 24),
        (std::vector<float>{0, 0, 0, 0.5f, 0.25f, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1}));
    release_cube_lut(&lut);
}

TEST(CubeLoader, ReadsNumbersLikeScanfInAnyLocale) {
    const float inf = HUGE_VALF;
    const std::pair<const char*, CubeEntry> cases[] = {
        {"0.25 -0.5 +1.5e1", {0.25f, -0.5f, 15}},
        {"\t1\t2 3 4 five", {1, 2, 3}},
        {"inf -INFINITY NaN", {inf, -inf, NAN}},
        {"1e50 -1e50 1e999999999999", {inf, -inf, inf}},
        {"1e-50 -1e-50 0.0000000000000000000000000000000000000000000000000001", {0, 0, 0}},
        {"1000000000000000000000000000000000000000000000000e-5 0 0", {inf, 0, 0}},
        {"0x1.8p1 0X10 -0x.8", {3, 16, -0.5f}},
        {"1,5 2 3", {1, 0, 0}},
        {"0.5 --1 2", {0.5f, 0, 0}}};
    for (const auto& [line, want] : cases) {
        const LoadedCube cube(two_point_start + line + "\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
        for (int n = 0; n < 3; ++n) {
            const float got = cube.entry(1)[n];
            EXPECT_TRUE(got == want[n] || (std::isnan(got) && std::isnan(want[n]))) << line << ": " << got;
        }
    }
}

TEST(CubeLoader, EveryValueFindsItsCell) {
    const std::array<int, 4> spots[] = {
        // N, value, cell, offset
        {33, 200, 25, 0}, {33, 255, 31, 7}, {17, 255, 15, 15}, {2, 0, 0, 0},     {2, 128, 0, 128},
        {2, 255, 0, 255}, {32, 247, 30, 7}, {32, 248, 30, 8},  {32, 255, 30, 8}, {4, 84, 0, 84},
        {4, 85, 1, 0},    {4, 254, 2, 84},  {4, 255, 2, 85}};
    for (const auto& [n, value, cell, offset] : spots) {
        const LoadedCube cube(identity_cube(n));
        const uint8_t *index = cube.lut.cell_index_table, *off = cube.lut.cell_offset_table;
        EXPECT_EQ(std::make_pair(int(index[value]), int(off[value])), std::make_pair(cell, offset))
            << "N " << n << " value " << value;
        // Values past the last full cell rest on the last lattice point.
        const int width = cube_cell_width(n);
        for (int v = 0; v < 256; ++v)
            EXPECT_TRUE(index[v] * width + off[v] == std::min(v, (n - 1) * width) && index[v] <= n - 2)
                << "N " << n << " value " << v;
    }
}

TEST(CubeFile, LoadsFromDiskAndReportsBadPaths) {
    char path[] = "/tmp/prolut_cube_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = identity_cube(3, "\r\n");
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    CubeLut lut{};
    EXPECT_EQ(load_cube_file(&lut, path), 27);
    EXPECT_EQ(init_cube_lut(&lut, path), 0);
    std::remove(path);
    // Neither a missing file nor a null path disturbs the cube already loaded.
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_cube_file(&lut, path), 0);
    EXPECT_EQ(init_cube_lut(&lut, path), -1);
    EXPECT_EQ(init_cube_lut(&lut, nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Fail to read the cube file.\nFail to read the cube file.\nInvalid cube file path\n ");
    EXPECT_EQ(lut.grid_size, 3);
    EXPECT_EQ(lut.lattice[3 * 26 + 1], 1.0f);
    EXPECT_EQ(lut.cell_offset_table[255], 127);
    release_cube_lut(&lut);
}

// Values with full mantissas, so a lattice point that is interpolated instead of copied
// shows up in the last bits.
CubeEntry scattered(int i, int j, int k) {
    if (i + j + k == 0) return {0, 0, 0};  // the line that ends the header
    return {float(std::sin(i + 2.0 * j + 3.7 * k)), float(std::cos(i * 0.3 + j)),
            float(1.0 / (1 + i + j + k))};
}

TEST(CubeSampler, LatticePointsComeBackBitForBit) {
    const LoadedCube n33(make_cube(33, scattered)), n32(make_cube(32, scattered));
    const std::tuple<const LoadedCube*, int, int, int, int> cases[] = {
        // cube, r, g, b, entry
        {&n33, 0, 0, 0, 0},    {&n33, 8, 0, 0, 1},         {&n33, 0, 8, 0, 33},
        {&n33, 0, 0, 8, 1089}, {&n33, 16, 24, 200, 27326}, {&n32, 255, 255, 255, 32767},
        {&n32, 250, 0, 0, 31}, {&n32, 0, 248, 255, 32736}};  // 32 - 1 does not divide 256
    for (const auto& [cube, r, g, b, entry] : cases)
        EXPECT_EQ(cube->sample(r, g, b), cube->entry(entry)) << r << " " << g << " " << b;
}

TEST(CubeSampler, InterpolatesBetweenLatticePoints) {
    // Corners far outside 0..1, so nothing may be clamped, and (1, 0, 0) stands apart.
    const std::string corners = make_cube(2, [](int i, int j, int k) {
        if (i + j + k == 0) return CubeEntry{0, 0, 0};
        return i == 1 && j + k == 0 ? CubeEntry{0.75f, -1, 3} : CubeEntry{2, -1, 1.5f};
    });
    const float top33 = 255 / 256.0f;  // a 33-point cube's last cell is never reached in full
    const std::tuple<std::string, int, int, int, CubeEntry> cases[] = {
        {corners, 128, 0, 0, {0.375f, -0.5f, 1.5f}},
        {corners, 128, 128, 128, {1.59375f, -0.875f, 1.5f}},
        {identity_cube(2), 64, 128, 192, {0.25f, 0.5f, 0.75f}},
        {identity_cube(33), 255, 255, 255, {top33, top33, top33}},
        {identity_cube(4), 255, 255, 255, {1, 1, 1}}};
    for (const auto& [text, r, g, b, out] : cases)
        EXPECT_EQ(LoadedCube(text).sample(r, g, b), out) << r << " " << g << " " << b;
    // Cells 85 wide: a linear cube comes back up to rounding.
    const LoadedCube cube(identity_cube(4));
    for (int v : {1, 84, 100, 200, 254})
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(cube.sample(v, 255 - v, v / 2)[c], (std::array{v, 255 - v, v / 2}[c] / 255.0), 1e-6)
                << v;
}

}  // namespace
