#include "colour/precise_grade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "colour/graded_convert.h"
#include "cube_cases.h"
#include "precise_reference.h"
#include "support.h"

namespace {

struct Picture {
    std::string source;
    int width, height;
    std::vector<uint16_t> samples;  // packed B, G, R
};

// A frame of grain on a test pattern (nearly every pixel a colour of its own) as FFmpeg turns it
// into the working picture; 8-bit RGB is widened as v x 257, as the program does.
Picture ffmpeg_picture(const TempDir& dir, const std::string& source, const std::string& format, int width) {
    Picture picture{source + " " + format, width, 24, {}};
    const bool rgb = format == "rgb24";
    const std::string raw = dir.file("picture.raw");
    EXPECT_TRUE(ffmpeg(
        "-f lavfi -i " + source + "=size=" + std::to_string(width) + "x24:rate=1,format=" + format +
        ",noise=alls=24:allf=t -frames:v 1 -f rawvideo -pix_fmt " + (rgb ? "rgb24 " : "bgr48le ") + raw));
    const std::string bytes = slurp(raw);
    if (!rgb) {
        picture.samples.resize(bytes.size() / 2);
        std::memcpy(picture.samples.data(), bytes.data(), bytes.size() / 2 * 2);
    }
    for (size_t k = 0; rgb && k < bytes.size(); ++k)
        picture.samples.push_back(uint16_t(uint8_t(bytes[k - k % 3 + 2 - k % 3]) * 257));
    EXPECT_EQ(picture.samples.size(), 3u * width * 24) << picture.source;
    picture.samples.resize(size_t(3) * width * 24);
    return picture;
}

// The worst cases: both ends of the range and the samples on and beside the lattice points of
// 2, 17, 33 and 65 points, mixed across channels; random samples; runs of one colour (the step
// writes eight pixels of one colour at once) and of colours that differ in their low bits only.
Picture worst_cases() {
    std::vector<uint16_t> special = {0, 1, 255, 256, 32767, 32768, 65279, 65534, 65535};
    for (int n : {17, 33, 65})
        for (int k : {1, n / 3, n / 2, n - 2})
            for (int d : {-1, 0, 1}) special.push_back(uint16_t(std::lround(k * 65535.0 / (n - 1)) + d));
    Picture picture{"worst cases", 77, 0, {}};
    std::mt19937 random(3);
    for (size_t i = 0; i < 3 * special.size() * special.size(); ++i)
        picture.samples.push_back(special[(i * 7 + i / 3 * 13 + i / special.size()) % special.size()]);
    for (int i = 0; i < 3 * 77 * 4; ++i) picture.samples.push_back(uint16_t(random()));
    for (int run = 0; run < 300; ++run) {
        const size_t length = 1 + random() % 20;
        const uint16_t colour[3] = {uint16_t(random()), uint16_t(random()), uint16_t(random())};
        const bool low_bits = run % 2;
        for (size_t p = 0; p < length; ++p)
            for (int c = 0; c < 3; ++c)
                picture.samples.push_back(uint16_t(colour[c] ^ (low_bits ? random() % 256 : 0)));
    }
    picture.height = int(picture.samples.size() / (3 * 77));
    picture.samples.resize(size_t(3) * 77 * picture.height);
    return picture;
}

struct Grade {
    std::string name;
    int mode;
    std::string cube;
};

// Every code within half a code (and a sixty-fourth, for the roundings near a half) of the
// definition's exact value, so within one of it as promised and rounded to nearest, not cut;
// the snapshot's bytes likewise. The step (which writes runs of one colour whole) gives what
// the scalar twin gives row by row, and every vector variant what the twin gives for every
// count of pixels, past which it writes nothing. Rows carry padding, poisoned first.
void expect_precise(const Grade& grade, const std::vector<Picture>& pictures) {
    CubeLut lut{};
    ASSERT_EQ(grade.mode == 4 ? init_cube_lut_from_text(&lut, grade.cube.data(), grade.cube.size()) : 0, 0);
    GradedConvert graded{};
    TransferCurve curve{};
    YuvTables yuv{};
    prepare_graded_convert(&graded, grade.mode, true, &curve, &yuv, &lut);
    ASSERT_TRUE(graded.ready);
    const PreciseGrade& precise = graded.precise_grade;
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(grade.name + ", " + picture.source);
        const int w = picture.width, h = picture.height, chroma = (w + 1) / 2,
                  strides[3] = {2 * (w + 5), 2 * (chroma + 5), 2 * (chroma + 5)};
        std::vector<uint16_t> planes[3];
        uint8_t* data[3];
        for (int p = 0; p < 3; ++p) {
            planes[p].assign(strides[p] / 2 * h, 0xA5A5);
            data[p] = reinterpret_cast<uint8_t*>(planes[p].data());
        }
        std::vector<uint8_t> snapshot(size_t(3) * w * h);
        const uint8_t* bgr48 = reinterpret_cast<const uint8_t*>(picture.samples.data());
        convert_graded_bgr48_to_yuv422p10(&graded, bgr48, 6 * w, w, h, data, strides);
        convert_graded_bgr48_to_rgb24(&graded, bgr48, 6 * w, w, h, snapshot.data(), 3 * w);
        int misses = 0;
        for (int y = 0; y < h && misses < 5; ++y) {
            const uint16_t* row = picture.samples.data() + size_t(3) * w * y;
            const uint16_t* out[3] = {&planes[0][y * strides[0] / 2], &planes[1][y * strides[1] / 2],
                                      &planes[2][y * strides[2] / 2]};
            for (int x = 0; x < w; x += 2) {
                double first[3], second[3], cb, cr;
                reference_grade(grade.mode, &lut, row + 3 * x, first);
                reference_grade(grade.mode, &lut, row + 3 * std::min(x + 1, w - 1), second);
                reference_chroma(first, second, &cb, &cr);
                const double exact[4] = {reference_luma(first), reference_luma(second), cb, cr};
                const int code[4] = {out[0][x], x + 1 < w ? out[0][x + 1] : out[0][x], out[1][x / 2],
                                     out[2][x / 2]};
                for (int k = 0; k < 4; ++k)
                    if (!(std::fabs(code[k] - exact[k]) <= 0.5 + 1 / 64.0) && misses++ < 5)
                        ADD_FAILURE() << "pixel " << x << ", " << y << " code " << k << ": " << code[k]
                                      << " for " << exact[k];
                for (int c = 0; c < 6; ++c) {
                    const double value = (c < 3 ? first[c] : second[c - 3]) * 255;
                    const size_t at = size_t(3) * (size_t(w) * y + std::min(x + c / 3, w - 1)) + c % 3;
                    if (!(std::fabs(snapshot[at] - value) <= 0.5 + 1 / 64.0) && misses++ < 5)
                        ADD_FAILURE()
                            << "snapshot byte " << at << ": " << int(snapshot[at]) << " for " << value;
                }
            }
            std::vector<uint16_t> twin(w + 2 * chroma);
            precise_grade_scalar()(precise, row, w, twin.data(), twin.data() + w, twin.data() + w + chroma);
            EXPECT_TRUE(std::equal(out[0], out[0] + w, twin.data()) &&
                        std::equal(out[1], out[1] + chroma, twin.data() + w) &&
                        std::equal(out[2], out[2] + chroma, twin.data() + w + chroma))
                << "row " << y;
            for (int p = 0; p < 3; ++p)
                for (int x = p ? chroma : w; x < strides[p] / 2; ++x)
                    ASSERT_EQ(out[p][x], 0xA5A5) << "padding";
            if (precise.cube && precise.corners == nullptr)
                continue;  // the vector variants grade in float only
            for (PreciseGradeRun run : {precise_grade_avx2()}) {
                if (run == nullptr) continue;
                for (int count : {1, 2, 3, 7, 8, 9, 16, 31, 33, w}) {
                    if (count > w) continue;
                    const int pairs = (count + 1) / 2;
                    std::vector<uint16_t> expected(count + 2 * pairs), got(count + 2 * pairs + 24, 0x5A5A);
                    precise_grade_scalar()(precise, row, count, expected.data(), expected.data() + count,
                                           expected.data() + count + pairs);
                    run(precise, row, count, got.data(), got.data() + count, got.data() + count + pairs);
                    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()))
                        << "count " << count;
                    ASSERT_TRUE(std::all_of(got.begin() + expected.size(), got.end(),
                                            [](uint16_t v) { return v == 0x5A5A; }));
                }
            }
        }
    }
    release_graded_convert(&graded);
    release_cube_lut(&lut);
}

TEST(PreciseGrade, EveryCodeWithinOneOfTheDoubleDefinition) {
    TempDir dir;
    // 4:2:0 takes even widths only.
    const std::vector<Picture> pictures = {ffmpeg_picture(dir, "testsrc2", "yuv420p", 62),
                                           ffmpeg_picture(dir, "mandelbrot", "yuv422p10le", 63),
                                           ffmpeg_picture(dir, "testsrc2", "rgb24", 63), worst_cases()};
    std::vector<Grade> grades;
    for (int mode : {0, 1, 2, 3, 5, 6, 7, 8, 9}) grades.push_back({"mode " + std::to_string(mode), mode, ""});
    for (int n : {2, 17, 33, 65})
        grades.push_back({std::to_string(n) + " points", 4, twisted_cube(n, false)});
    // Contrast that leaves 0..1 at both ends, and a broken lattice (NaN, 1e25) graded in double.
    grades.push_back({"clipping", 4, make_cube(17, [](int i, int j, int k) {
                          return CubeEntry{(i / 16.0f - 0.5f) * 1.6f + 0.5f, (j / 16.0f - 0.5f) * 1.3f + 0.6f,
                                           k / 16.0f * 1.4f - 0.2f};
                      })});
    grades.push_back({"broken", 4, twisted_cube(9, true)});
    for (const Grade& grade : grades) expect_precise(grade, pictures);
}

// Mode 3 read from 8-bit codes (v x 257) is the linear value the default road rounds.
TEST(PreciseGrade, LinearModeMeetsTheDefaultCurveOnEightBitCodes) {
    PreciseGrade grade{};
    ASSERT_TRUE(prepare_precise_grade(&grade, 3, nullptr));
    for (int code = 0; code < 256; ++code) {
        const uint16_t pixel[3] = {uint16_t(code * 257), uint16_t(code * 257), uint16_t(code * 257)};
        float rgb[3];
        precise_graded_colour(grade, pixel, rgb);
        EXPECT_NEAR(rgb[0] * 1023, linear_code(code, 1.0f), 0.5 + 1e-3) << code;
    }
    release_precise_grade(&grade);
}

}  // namespace
