#include "colour/cube_kernel.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "colour/graded_convert.h"
#include "cube_cases.h"

namespace {

// Pictures as a grade meets them: random samples, grain around a few colours, and every mix of
// the codes at lattice points and cell edges (for 33, 4 and 2 points) with their neighbours.
std::vector<uint16_t> test_pixels() {
    std::mt19937 random(5);
    std::vector<uint16_t> pixels;
    for (int i = 0; i < 3 * 20000; ++i) pixels.push_back(uint16_t(random()));
    std::normal_distribution<double> grain(0, 14);
    for (int i = 0; i < 20000; ++i) {
        const int base = i / 500 * 37;
        for (int c = 0; c < 3; ++c) {
            const long code = std::lround((base * (c + 3) % 256) + grain(random));
            pixels.push_back(uint16_t((code < 0 ? 0 : code > 255 ? 255 : code) << 8 | random() % 256));
        }
    }
    const int codes[] = {0, 1, 7, 8, 9, 84, 85, 86, 127, 128, 129, 170, 247, 248, 254, 255};
    for (int r : codes)
        for (int g : codes)
            for (int b : codes)
                pixels.insert(pixels.end(), {uint16_t(b << 8), uint16_t(g << 8 | 0xff), uint16_t(r << 8)});
    return pixels;
}

// A lattice that is linear in codes, whose results fall on the very boundaries between output
// codes, where the float estimate must hand over to the exact arithmetic.
std::string boundary_cube(int n) {
    const int width = 256 / (n - 1);
    return make_cube(n, [width](int i, int j, int k) {
        return CubeEntry{float(i * width * 4) / 1023, float(j * width * 2) / 1023,
                         float(k * width * 3) / 1023};
    });
}

// Grades whose outputs land on codes: an S-curve clipped to 1 and crushed to 0 (plateaus
// whose cells prove their codes), the same with values beyond 0..1 (the ends of the
// estimate's margin clamp to one code), a 10-bit LUT (every value k / 1023) whose channels
// each follow their own input (one axis at a time) or mix (the exact arithmetic), and the
// S-curve with values too small to scale exactly (no proofs at all), and with one value so large
// that the estimate's margin spans several codes, more than the proofs' one bit can choose from.
std::string landing_cube(int n, float gain, bool ten_bit, bool mixed, float floor = 0, float first = 0) {
    return make_cube(n, [=](int i, int j, int k) {
        CubeEntry out;
        const float in[3] = {float(i) / float(n - 1), float(j) / float(n - 1), float(k) / float(n - 1)};
        for (int c = 0; c < 3; ++c) {
            const float x = mixed ? 0.6f * in[c] + 0.4f * in[(c + 1) % 3] : in[c];
            float v = gain * x * x * (3 - 2 * x) - (gain - 1) / 2;
            if (gain < 1.5f) v = std::fmin(1.0f, std::fmax(0.0f, v));
            out[c] = ten_bit ? std::round(v * 1023) / 1023 : std::fmax(v, floor);
        }
        if (first != 0 && i + j + k == 0) out[0] = first;
        return out;
    });
}

// Every variant the processor runs, pixel for pixel as the reference, with the words past the
// last pixel left as they were; the counting variant gives the same colours and shows that each
// way of settling a pixel was taken where it should be (estimate, cell, one axis, exact).
TEST(CubeKernel, EveryVariantGivesTheReferenceColours) {
    const std::vector<uint16_t> pixels = test_pixels();
    const int count = int(pixels.size() / 3);
    struct Case {
        int n;
        std::string text;
        std::array<bool, 4> taken;  // a step that must settle some pixels
    };
    const Case cases[] = {{33, twisted_cube(33, false), {}},
                          {33, boundary_cube(33), {false, false, true, false}},
                          {17, twisted_cube(17, true), {}},
                          {4, twisted_cube(4, false), {}},
                          {4, boundary_cube(4), {}},
                          {2, twisted_cube(2, false), {}},
                          {67, twisted_cube(67, false), {}},  // too large for the estimate
                          {33, landing_cube(33, 1.1f, false, true), {true, true, false, false}},
                          {32, landing_cube(32, 1.1f, true, false), {true, true, true, false}},
                          {17, landing_cube(17, 2.0f, false, true), {}},
                          {33, landing_cube(33, 1.1f, true, false), {true, true, true, false}},
                          {17, landing_cube(17, 1.1f, true, true), {true, true, true, true}},
                          {33, landing_cube(33, 1.1f, false, true, 1e-20f), {true, false, false, true}},
                          {33, landing_cube(33, 1.1f, false, false, 0, 4096), {false, false, true, false}}};
    GradedConvert graded{};
    TransferCurve curve{};
    YuvTables yuv{};
    for (const Case& c : cases) {
        CubeLut lut{};
        ASSERT_EQ(init_cube_lut_from_text(&lut, c.text.data(), c.text.size()), 0);
        prepare_graded_convert(&graded, 4, false, &curve, &yuv, &lut);
        ASSERT_TRUE(graded.ready);
        const CubeKernel& kernel = graded.cube;
        std::vector<uint32_t> expected(count);
        cube_kernel_reference()(kernel, pixels.data(), count, expected.data());
        CubeKernelTally tally{};
        auto counted = [&tally](const CubeKernel& k, const uint16_t* p, int n, uint32_t* colours) {
            cube_kernel_avx2_tally()(k, p, n, colours, &tally);
        };
        std::vector<std::function<void(const CubeKernel&, const uint16_t*, int, uint32_t*)>> runs = {
            cube_kernel_sse2()};
        if (cube_kernel_avx2() != nullptr) runs.insert(runs.end(), {cube_kernel_avx2(), counted});
        for (size_t r = 0; r < runs.size(); ++r) {
            std::vector<uint32_t> colours(count + 8, 0xA5A5A5A5);
            runs[r](kernel, pixels.data(), count, colours.data());
            for (int i = 0; i < count; ++i) {
                ASSERT_EQ(colours[i], expected[i])
                    << c.n << " points, pixel " << i << " (" << (pixels[3 * i + 2] >> 8) << ", "
                    << (pixels[3 * i + 1] >> 8) << ", " << (pixels[3 * i] >> 8) << "), variant " << r;
            }
            for (int i = count; i < count + 8; ++i) ASSERT_EQ(colours[i], 0xA5A5A5A5u);
        }
        const long steps[4] = {tally.estimated, tally.cell_proven, tally.corner_proven, tally.exact};
        for (int step = 0; step < 4 && cube_kernel_avx2() != nullptr; ++step)
            EXPECT_TRUE(!c.taken[step] || steps[step] > 0) << c.n << " points, step " << step;
        release_graded_convert(&graded);
        release_cube_lut(&lut);
    }
}

}  // namespace
