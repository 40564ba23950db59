#include "colour/cube_lut.h"
#include "colour/cube_sampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

#include "colour/precise_grade.h"
#include "colour/tone_map.h"
#include "cube_cases.h"
#include "support.h"

namespace {

// A cube loaded from text for the length of a test.
struct LoadedCube {
    CubeLut lut{};
    explicit LoadedCube(const std::string& text) {
        EXPECT_EQ(init_cube_lut_from_text(&lut, text.data(), text.size()), 0);
    }
    ~LoadedCube() { release_cube_lut(&lut); }
    CubeEntry sample(int r, int g, int b) const {
        CubeEntry out;
        sample_cube_lut(&lut, uint8_t(r), uint8_t(g), uint8_t(b), out.data());
        return out;
    }
};

// A refused text leaves no lattice behind, prints nothing, never reaches the tables and says
// where and why; every text that loads has the unit cube's corners as its lattice.
TEST(CubeLoader, AcceptsAndRefusesTexts) {
    for (const CubeCase& c : cube_load_cases()) {
        CubeLut lut{};
        CubeLoadReport report{-1, "unset"};
        std::istringstream stream(c.text);
        testing::internal::CaptureStdout();
        EXPECT_EQ(load_cube_text(&lut, stream, &report), c.result) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name;
        EXPECT_EQ(report.line, c.line) << c.name;
        EXPECT_TRUE(c.result > 0 ? report.reason[0] == '\0' : std::strstr(report.reason, c.reason) != nullptr)
            << c.name << ": " << report.reason;
        EXPECT_EQ(lut.grid_size * lut.grid_size * lut.grid_size, std::max(c.result, 0)) << c.name;
        EXPECT_EQ(lut.lattice == nullptr, c.result < 0) << c.name;
        for (int v = 0; c.result > 0 && v < 24; ++v) EXPECT_EQ(lut.lattice[v], v / 3 >> v % 3 & 1) << c.name;
        EXPECT_EQ(init_cube_lut_from_text(&lut, c.text.data(), c.text.size()), -(c.result < 0)) << c.name;
        release_cube_lut(&lut);
    }
}

// Each line after the first gives one entry of a 3-point cube. The cube takes the memory one of
// nines held just before, so a value a line leaves out must be written all the same; a blank
// or comment line uses up its entry.
TEST(CubeLoader, ReadsNumbersLikeScanfInAnyLocale) {
    const std::string lines =
        "0.25 -0.5 +1.5e1\n1,5 2 3\n\t1\t2 3 4 five\n0.5 --1 2\ninf -INFINITY NaN\n0.5 0.25\n"
        "1e50 -1e50 1e999999999999\n\n0x1.8p1 0X10 -0x.8\n# note\n"
        "1e-50 -1e-50 0.0000000000000000000000000000000000000000000000000001\n"
        "1000000000000000000000000000000000000000000000000e-5 0 0\n";
    const float inf = HUGE_VALF, want[] = {0.25f, -0.5f, 15,    1,    0,     0, 1,   2,    3,   0.5f, 0, 0,
                                           inf,   -inf,  NAN,   0.5f, 0.25f, 0, inf, -inf, inf, 0,    0, 0,
                                           3,     16,    -0.5f, 0,    0,     0, 0,   0,    0,   inf,  0, 0};
    CubeLut lut{};
    std::string nines = "LUT_3D_SIZE 3\n0\t0\t0\n";
    for (int e = 1; e < 27; ++e) nines += "9 9 9\n";
    const std::string text = "LUT_3D_SIZE 3\n0\t0\t0\n" + lines + std::string(14, '\n');
    ASSERT_EQ(init_cube_lut_from_text(&lut, nines.data(), nines.size()), 0);
    ASSERT_EQ(init_cube_lut_from_text(&lut, text.data(), text.size()), 0);
    for (int v = 0; v < 36; ++v) {
        const float got = lut.lattice[3 + v];
        EXPECT_TRUE(got == want[v] || (std::isnan(got) && std::isnan(want[v])))
            << "line " << v / 3 + 1 << ": " << got;
    }
    release_cube_lut(&lut);
}

// Full mantissas, so that a lattice point interpolated instead of copied shows in the last bits
// (points: N; r, g, b; the lattice point); 32 - 1 does not divide 256. Corners far outside 0..1,
// so that nothing may be clamped.
CubeEntry scattered(int i, int j, int k) {
    if (i + j + k == 0) return {0, 0, 0};  // the line that ends the header
    return {float(std::sin(i + 2.0 * j + 3.7 * k)), float(std::cos(i * 0.3 + j)),
            float(1.0 / (1 + i + j + k))};
}

TEST(CubeSampler, LatticePointsAndBetween) {
    const LoadedCube n33(make_cube(33, scattered)), n32(make_cube(32, scattered));
    const std::array<int, 7> points[] = {{33, 8, 0, 0, 1, 0, 0},         {33, 0, 8, 0, 0, 1, 0},
                                         {33, 0, 0, 8, 0, 0, 1},         {33, 16, 24, 200, 2, 3, 25},
                                         {32, 250, 0, 0, 31, 0, 0},      {32, 0, 248, 255, 0, 31, 31},
                                         {32, 255, 255, 255, 31, 31, 31}};
    for (const auto& [n, r, g, b, i, j, k] : points)
        EXPECT_EQ((n == 33 ? n33 : n32).sample(r, g, b), scattered(i, j, k)) << r << " " << g << " " << b;
    const LoadedCube corners(make_cube(2, [](int i, int j, int k) {
        if (i + j + k == 0) return CubeEntry{0, 0, 0};
        return i == 1 && j + k == 0 ? CubeEntry{0.75f, -1, 3} : CubeEntry{2, -1, 1.5f};
    }));
    EXPECT_EQ(corners.sample(128, 0, 0), (CubeEntry{0.375f, -0.5f, 1.5f}));
    EXPECT_EQ(corners.sample(128, 128, 128), (CubeEntry{1.59375f, -0.875f, 1.5f}));
    // An identity cube gives each value back over its cells' width times their count; values past
    // the last full cell rest on the last lattice point, and a 33-point cube's last cell is never
    // reached in full.
    for (const auto& [n, width] : {std::pair{2, 256}, {4, 85}, {17, 16}, {32, 8}, {33, 8}}) {
        const LoadedCube cube(identity_cube(n));
        for (int v = 0; v < 256; ++v) {
            const std::array<int, 3> rgb = {v, 255 - v, v / 2};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(cube.sample(rgb[0], rgb[1], rgb[2])[c],
                            std::min(rgb[c], (n - 1) * width) / (n - 1.0) / width, 1e-6)
                    << "N " << n << " value " << rgb[c];
            EXPECT_LE(cube.lut.cell_index_table[v], n - 2) << "N " << n << " value " << v;
        }
    }
}

// Cubes that OpenColorIO bakes from a grade with a lifted black, graded by our arithmetic and by
// OpenColorIO's own reading of the same file at the same colours (code / 255): the cube's corners,
// then colours at random. The differences allowed, in 10-bit codes, are the largest measured over
// all 16,777,216 8-bit colours (ocioconvert --lut on an image of every colour): 5 or 6 where N - 1
// divides 256 (our cells span 256 / (N - 1) codes where OpenColorIO spreads the lattice over
// 0..255, interpolates tetrahedrally, and we truncate); where it does not, the codes above the last
// full cell rest on the last point: 32 for 32 points (iridas_cube's default), 14 for 64
// (resolve_cube's). The precise grade spreads the lattice as OpenColorIO does, and a CDL grade
// interpolated trilinearly comes within 0.001 of a code of its reading (0.0007 measured).
TEST(CubeWriters, OpenColorIoBakesGradeAsOpenColorIoReadsThem) {
    TempDir dir;
    const std::string path = dir.file("grade.cube"),
                      missing = ": failed, or opencolorio-tools is not installed",
                      grade =
                          "ociobakelut --slope 1.1 0.95 0.9 --offset 0.053294 0.029294 0.017294 --power "
                          "1.2 1 0.9 --sat 0.8 --format ";
    // How ociobakelut is asked, how many colours are checked, the difference allowed.
    const std::tuple<const char*, int, int> bakes[] = {
        {"iridas_cube --cubesize 2", 40, 5},  {"iridas_cube --cubesize 17", 40, 6},
        {"iridas_cube --cubesize 33", 24, 6}, {"iridas_cube", 24, 32},
        {"resolve_cube --cubesize 9", 40, 5}, {"resolve_cube", 8, 14}};
    for (const auto& [bake, colours, allowed] : bakes) {
        ASSERT_EQ(command(grade + bake + " " + path).status, 0) << bake << missing;
        CubeLut lut{};
        ASSERT_EQ(init_cube_lut(&lut, path.c_str()), 0) << bake;
        PreciseGrade precise{};
        ASSERT_TRUE(prepare_precise_grade(&precise, 4, &lut));
        std::minstd_rand random(7);
        int worst = 0;
        double worst_precise = 0;
        for (int n = 0; n < colours; ++n) {
            int rgb[3], ours[3];
            float graded[3];
            std::string check = "ociochecklut " + path;
            for (int c = 0; c < 3; ++c) {
                rgb[c] = n < 8 ? (n >> c & 1) * 255 : int(random() % 256);
                check += " " + std::to_string(rgb[c] / 255.0);
            }
            tone_map_cube_pixel(&lut, uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2]), ours);
            const uint16_t samples[3] = {uint16_t(rgb[2] * 257), uint16_t(rgb[1] * 257),
                                         uint16_t(rgb[0] * 257)};
            precise_graded_colour(precise, samples, graded);
            std::istringstream theirs(command(check).output);
            for (int c = 0; c < 3; ++c) {
                double value;
                ASSERT_TRUE(theirs >> value) << check << missing;
                value = std::clamp(value, 0.0, 1.0);
                worst = std::max(worst, std::abs(int(std::lround(value * 1023)) - ours[c]));
                worst_precise = std::max(worst_precise, std::fabs(value - graded[c]) * 1023);
            }
        }
        release_precise_grade(&precise);
        release_cube_lut(&lut);
        EXPECT_LE(worst, allowed) << bake;
        EXPECT_LT(worst_precise, 0.002) << bake;
    }
}

}  // namespace
