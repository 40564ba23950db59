#include "colour/precise_grade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "colour/graded_convert.h"
#include "cube_cases.h"
#include "precise_reference.h"
#include "support.h"

namespace {

struct Picture {
    std::string source;
    int width;
    std::vector<uint16_t> samples;  // packed B, G, R
};

// Grain on a test pattern (nearly every pixel a colour of its own) as the working picture gets it:
// YUV through FFmpeg's scaler, 8-bit RGB widened as v x 257.
Picture from_ffmpeg(const TempDir& dir, const std::string& source, const std::string& format, int width) {
    const bool rgb = format == "rgb24";
    EXPECT_TRUE(ffmpeg("-f lavfi -i " + source + "=size=" + std::to_string(width) + "x24:rate=1,format=" +
                       format + ",noise=alls=24:allf=t -frames:v 1 -f rawvideo -pix_fmt " +
                       (rgb ? "rgb24 " : "bgr48le ") + dir.file("picture.raw")));
    const std::string bytes = slurp(dir.file("picture.raw"));
    Picture picture{source + " " + format, width, std::vector<uint16_t>(size_t(3) * width * 24)};
    EXPECT_EQ(bytes.size(), picture.samples.size() * (rgb ? 1 : 2));
    for (size_t k = 0; k < picture.samples.size() && k < bytes.size() / (rgb ? 1 : 2); ++k)
        picture.samples[k] = rgb ? uint8_t(bytes[k - k % 3 + 2 - k % 3]) * 257
                                 : uint16_t(uint8_t(bytes[2 * k]) | uint8_t(bytes[2 * k + 1]) << 8);
    return picture;
}

// Both ends of the range and the samples on and beside lattice points of 17, 33 and 65 points,
// mixed across channels; random samples; runs of one colour (the step writes eight pixels of one
// colour at once) and of colours that differ in their low bits alone.
Picture worst_cases() {
    std::vector<uint16_t> special = {0, 1, 255, 256, 32767, 32768, 65279, 65534, 65535}, samples;
    for (int n : {17, 33, 65})
        for (int k : {1, n / 3, n / 2, n - 2})
            for (int d : {-1, 0, 1}) special.push_back(uint16_t(std::lround(k * 65535.0 / (n - 1)) + d));
    std::mt19937 random(3);
    for (size_t i = 0; i < 3 * special.size() * special.size(); ++i)
        samples.push_back(special[(i * 7 + i / 3 * 13 + i / special.size()) % special.size()]);
    for (int i = 0; i < 3 * 77 * 4; ++i) samples.push_back(uint16_t(random()));
    for (int run = 0; run < 300; ++run) {
        const uint32_t colour[3] = {uint32_t(random()), uint32_t(random()), uint32_t(random())},
                       length = 1 + random() % 20;
        for (uint32_t p = 0; p < 3 * length; ++p)
            samples.push_back(uint16_t(colour[p % 3] ^ (run % 2 ? random() % 256 : 0)));
    }
    samples.resize(samples.size() / (3 * 77) * 3 * 77);
    return {"worst cases", 77, samples};
}

// Every code within half a code, and a sixty-fourth for the roundings near a half, of the
// definition's exact value: within one as promised, and rounded, not cut; the snapshot's bytes
// likewise; the rows' padding left alone. Each vector variant gives what the scalar twin gives for
// any count of pixels, and writes nothing past them.
void expect_precise(int mode, const std::string& cube, const std::vector<Picture>& pictures) {
    CubeLut lut{};
    ASSERT_EQ(mode == 4 ? init_cube_lut_from_text(&lut, cube.data(), cube.size()) : 0, 0);
    GradedConvert graded{};
    TransferCurve curve{};
    YuvTables yuv{};
    prepare_graded_convert(&graded, mode, true, &curve, &yuv, &lut);
    ASSERT_TRUE(graded.ready);
    SCOPED_TRACE("mode " + std::to_string(mode) +
                 (mode == 4 ? ", cube of " + std::to_string(lut.grid_size) : ""));
    const PreciseGrade& grade = graded.precise_grade;
    auto near = [](double code, double exact) { return std::fabs(code - exact) <= 0.5 + 1 / 64.0; };
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.source);
        const int w = picture.width, h = int(picture.samples.size()) / (3 * w), half = (w + 1) / 2;
        const int strides[3] = {2 * w + 2, 2 * half + 2, 2 * half + 2};
        std::vector<uint16_t> planes(size_t(h) * (w + 2 * half + 3), 0xA5A5);
        uint8_t* data[3] = {reinterpret_cast<uint8_t*>(planes.data())};
        for (int p = 1; p < 3; ++p) data[p] = data[p - 1] + size_t(h) * strides[p - 1];
        std::vector<uint8_t> snapshot(size_t(3) * w * h);
        const uint8_t* bgr48 = reinterpret_cast<const uint8_t*>(picture.samples.data());
        convert_graded_bgr48_to_yuv422p10(&graded, bgr48, 6 * w, w, h, data, strides);
        convert_graded_bgr48_to_rgb24(&graded, bgr48, 6 * w, w, h, snapshot.data(), 3 * w);
        for (int y = 0; y < h; ++y) {
            const uint16_t* row = picture.samples.data() + size_t(3) * w * y;
            const uint16_t* out[3];
            for (int p = 0; p < 3; ++p) {
                out[p] = reinterpret_cast<const uint16_t*>(data[p] + size_t(y) * strides[p]);
                ASSERT_EQ(out[p][p ? half : w], 0xA5A5) << "padding";
            }
            for (int x = 0; x < w; x += 2) {
                double rgb[2][3], cb, cr;
                for (int k = 0; k < 2; ++k)
                    reference_grade(mode, &lut, row + 3 * std::min(x + k, w - 1), rgb[k]);
                reference_chroma(rgb[0], rgb[1], &cb, &cr);
                ASSERT_TRUE(near(out[0][x], reference_luma(rgb[0])) && near(out[1][x / 2], cb) &&
                            near(out[2][x / 2], cr) &&
                            (x + 1 == w || near(out[0][x + 1], reference_luma(rgb[1]))))
                    << "pixel " << x << ", " << y << ": " << out[0][x] << " " << out[1][x / 2] << " "
                    << out[2][x / 2];
                for (int c = 0; c < 6 && x + c / 3 < w; ++c)
                    ASSERT_TRUE(near(snapshot[3 * (w * y + x) + c], 255 * rgb[c / 3][c % 3]))
                        << "snapshot " << x;
            }
            if (precise_grade_avx2() == nullptr || (grade.cube && grade.corners == nullptr)) continue;
            for (int count : {1, 2, 3, 7, 8, 9, 16, 31, 33, w}) {
                const int sizes[3] = {count, (count + 1) / 2, (count + 1) / 2};
                std::vector<uint16_t> expected[3], got[3];
                for (int p = 0; p < 3; ++p) expected[p].resize(sizes[p]), got[p].assign(sizes[p] + 8, 0x5A5A);
                precise_grade_scalar()(grade, row, count, expected[0].data(), expected[1].data(),
                                       expected[2].data());
                precise_grade_avx2()(grade, row, count, got[0].data(), got[1].data(), got[2].data());
                for (int p = 0; p < 3; ++p) {
                    expected[p].resize(sizes[p] + 8, 0x5A5A);
                    ASSERT_EQ(got[p], expected[p]) << "count " << count << ", plane " << p;
                }
            }
        }
    }
    release_graded_convert(&graded);
    release_cube_lut(&lut);
}

TEST(PreciseGrade, EveryCodeWithinOneOfTheDoubleDefinition) {
    for (int code = 0; code < 256; ++code) {  // the definition meets the default road's curve
        const uint16_t sample[3] = {uint16_t(code * 257), uint16_t(code * 257), uint16_t(code * 257)};
        double rgb[3];
        reference_grade(3, nullptr, sample, rgb);
        ASSERT_NEAR(rgb[0] * 1023, linear_code(code, 1.0f), 0.5 + 1e-3) << code;
    }
    TempDir dir;
    const std::vector<Picture> pictures = {
        from_ffmpeg(dir, "testsrc2", "yuv420p", 62),  // 4:2:0 takes even widths
        from_ffmpeg(dir, "mandelbrot", "yuv422p10le", 63), from_ffmpeg(dir, "testsrc2", "rgb24", 63),
        worst_cases()};
    for (int mode : {0, 1, 2, 3, 5, 6, 7, 8, 9}) expect_precise(mode, "", pictures);
    // Cubes of every size that matters, a contrast that leaves 0..1 at both ends, and a broken
    // lattice (NaN, 1e25), which is graded in double.
    std::vector<std::string> cubes = {twisted_cube(9, true), make_cube(17, [](int i, int j, int k) {
                                          return CubeEntry{(i / 16.0f - 0.5f) * 1.6f + 0.5f,
                                                           (j / 16.0f - 0.5f) * 1.3f + 0.6f,
                                                           k / 16.0f * 1.4f - 0.2f};
                                      })};
    for (int n : {2, 17, 33, 65}) cubes.push_back(twisted_cube(n, false));
    for (const std::string& cube : cubes) expect_precise(4, cube, pictures);
}

}  // namespace
