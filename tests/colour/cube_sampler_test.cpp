#include "colour/cube_sampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cube_text.h"

namespace {

// Values with full mantissas, so a lattice point that is interpolated instead of copied
// shows up in the last bits.
CubeEntry scattered(int i, int j, int k) {
    if (i == 0 && j == 0 && k == 0) return {0, 0, 0};  // the line that ends the header
    return {float(std::sin(i + 2.0 * j + 3.7 * k)), float(std::cos(i * 0.3 + j)),
            float(1.0 / (1 + i + j + k))};
}

TEST(CubeSampler, LatticePointsComeBackBitForBit) {
    LoadedCube cube(make_cube(33, scattered));
    EXPECT_EQ(cube.sample(0, 0, 0), cube.entry(0));
    EXPECT_EQ(cube.sample(8, 0, 0), cube.entry(1));
    EXPECT_EQ(cube.sample(0, 8, 0), cube.entry(33));
    EXPECT_EQ(cube.sample(0, 0, 8), cube.entry(1089));
    EXPECT_EQ(cube.sample(16, 24, 200), cube.entry(2 + 3 * 33 + 25 * 1089));
}

TEST(CubeSampler, TwoPointsGiveTheMeanHalfway) {
    LoadedCube cube(make_cube(2, [](int i, int j, int k) {
        return i == 1 && j == 0 && k == 0 ? CubeEntry{0.75f, -1.0f, 3.0f} : CubeEntry{0.25f * (j + k), 0, 0};
    }));
    EXPECT_EQ(cube.sample(128, 0, 0), (CubeEntry{0.375f, -0.5f, 1.5f}));
}

TEST(CubeSampler, RedGreenBlueIndexTheFastestToSlowestAxes) {
    LoadedCube cube(identity_cube(2));
    EXPECT_EQ(cube.sample(64, 128, 192), (CubeEntry{0.25f, 0.5f, 0.75f}));
}

TEST(CubeSampler, TopOfA33PointCubeStopsAnEighthShort) {
    LoadedCube cube(identity_cube(33));
    EXPECT_EQ(cube.sample(255, 255, 255), (CubeEntry{255 / 256.0f, 255 / 256.0f, 255 / 256.0f}));
}

TEST(CubeSampler, TopOf32PointCubeIsTheLastLatticePoint) {
    LoadedCube cube(make_cube(32, scattered));
    const int last = 32 * 32 * 32 - 1;
    EXPECT_EQ(cube.sample(255, 255, 255), cube.entry(last));
    EXPECT_EQ(cube.sample(250, 0, 0), cube.entry(31));
    EXPECT_EQ(cube.sample(0, 255, 100), cube.sample(0, 248, 100));
}

TEST(CubeSampler, CellWidthThatIsNoPowerOfTwo) {
    // A linear cube is reproduced by trilinear interpolation up to rounding.
    LoadedCube cube(identity_cube(4));
    for (int v : {1, 84, 85, 100, 170, 200, 254}) {
        const CubeEntry out = cube.sample(v, 255 - v, v / 2);
        EXPECT_NEAR(out[0], v / 255.0, 1e-6) << v;
        EXPECT_NEAR(out[1], (255 - v) / 255.0, 1e-6) << v;
        EXPECT_NEAR(out[2], (v / 2) / 255.0, 1e-6) << v;
    }
    EXPECT_EQ(cube.sample(255, 255, 255), (CubeEntry{1, 1, 1}));
    EXPECT_EQ(cube.sample(85, 170, 0), (CubeEntry{1 / 3.0f, 2 / 3.0f, 0}));
}

TEST(CubeSampler, OutputIsNotClamped) {
    LoadedCube cube(make_cube(2, [](int i, int j, int k) {
        return i + j + k == 0 ? CubeEntry{0, 0, 0} : CubeEntry{2.0f, -1.0f, 1.5f};
    }));
    // Seven of the eight corners weigh in halfway between the lattice points.
    EXPECT_EQ(cube.sample(128, 128, 128), (CubeEntry{1.75f, -0.875f, 1.3125f}));
}

}  // namespace
