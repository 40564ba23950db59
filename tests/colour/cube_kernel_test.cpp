#include "colour/cube_kernel.h"

#include <gtest/gtest.h>

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

// Every variant the processor runs, pixel for pixel as the reference, with the words past the
// last pixel left as they were.
TEST(CubeKernel, EveryVariantGivesTheReferenceColours) {
    const std::vector<uint16_t> pixels = test_pixels();
    const int count = int(pixels.size() / 3);
    const std::vector<std::pair<int, std::string>> cubes = {
        {33, twisted_cube(33, false)}, {33, boundary_cube(33)}, {17, twisted_cube(17, true)},
        {4, twisted_cube(4, false)},   {4, boundary_cube(4)},   {2, twisted_cube(2, false)},
        {67, twisted_cube(67, false)}};  // too large for the estimate
    GradedConvert graded{};
    TransferCurve curve{};
    YuvTables yuv{};
    for (const auto& [n, text] : cubes) {
        CubeLut lut{};
        ASSERT_EQ(init_cube_lut_from_text(&lut, text.data(), text.size()), 0);
        prepare_graded_convert(&graded, 4, false, &curve, &yuv, &lut);
        ASSERT_TRUE(graded.ready);
        const CubeKernel& kernel = graded.cube;
        std::vector<uint32_t> expected(count);
        cube_kernel_reference()(kernel, pixels.data(), count, expected.data());
        for (CubeKernelRun run : {cube_kernel_sse2(), cube_kernel_avx2()}) {
            if (run == nullptr) continue;
            std::vector<uint32_t> colours(count + 8, 0xA5A5A5A5);
            run(kernel, pixels.data(), count, colours.data());
            for (int i = 0; i < count; ++i) {
                ASSERT_EQ(colours[i], expected[i])
                    << n << " points, pixel " << i << " (" << (pixels[3 * i + 2] >> 8) << ", "
                    << (pixels[3 * i + 1] >> 8) << ", " << (pixels[3 * i] >> 8) << "), "
                    << (run == cube_kernel_sse2() ? "SSE2" : "AVX2");
            }
            for (int i = count; i < count + 8; ++i) ASSERT_EQ(colours[i], 0xA5A5A5A5u);
        }
        release_graded_convert(&graded);
        release_cube_lut(&lut);
    }
}

}  // namespace
