// The custom colour road end to end, on one flat colour stored losslessly as 16-bit RGB: it
// reaches the grade unchanged, so the colour library (and, precise, the grade's definition)
// tells what every pixel must be.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <set>

#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "precise_reference.h"
#include "stored_colours.h"
#include "support.h"

namespace {

const int width = 64, height = 48;
const uint16_t colour[3] = {0xE110, 0xA0FF, 0xF00F};  // B, G, R; the low bytes count only when precise

// R, G, B (in 10-bit codes) and Y, Cb, Cr of the colour: by default after tone mapping and our
// BT.601 arithmetic, two pixels being the smallest picture with both chroma samples; precise,
// as the definition makes them.
std::array<double, 6> expected_for(int mode, const CubeLut* lut, bool precise) {
    double rgb[3], cb, cr;
    if (precise) {
        reference_grade(mode, lut, colour, rgb);
        reference_chroma(rgb, rgb, &cb, &cr);
        return {rgb[0] * 1023,  rgb[1] * 1023, rgb[2] * 1023, std::round(reference_luma(rgb)),
                std::round(cb), std::round(cr)};
    }
    uint16_t bgr48[6] = {colour[0], colour[1], colour[2], colour[0], colour[1], colour[2]},
             yuv[4];  // Y, Y, Cb, Cr
    TransferCurve curve{};
    tone_map_working_picture(reinterpret_cast<uint8_t*>(bgr48), 12, 2, 1, mode, &curve, lut);
    YuvTables tables{};
    uint8_t* planes[3] = {reinterpret_cast<uint8_t*>(yuv), reinterpret_cast<uint8_t*>(yuv + 2),
                          reinterpret_cast<uint8_t*>(yuv + 3)};
    const int strides[3] = {4, 2, 2};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<uint8_t*>(bgr48), 12, 2, 1, planes, strides);
    return {double(bgr48[2] >> 6), double(bgr48[1] >> 6), double(bgr48[0] >> 6),
            double(yuv[0]),        double(yuv[2]),        double(yuv[3])};
}

// Mode 4 with no cube file named loads NivlotosRGB.cube from the working directory; mode 7 writes
// Matroska. The colour description is read from the file's own bytes, the same precise or not.
// The snapshot ends the run at the 21st picture, graded; the 20 before go to the file named
// D:\temp.mov.
TEST(CustomRoad, EveryModeAndTheSnapshotGiveTheColoursOfTheirArithmetic) {
    TempDir dir;
    const std::string input = dir.file("flat.mkv");
    // The scaler passes 16-bit RGB through; 8-bit goes by way of YUV. The low bytes keep the
    // precise grade 3 codes or more from the default one.
    ASSERT_TRUE(
        make_clip(input,
                  "nullsrc=size=64x48:rate=25:duration=1,format=gbrp16le,geq=r=" + std::to_string(colour[2]) +
                      ":g=" + std::to_string(colour[1]) + ":b=" + std::to_string(colour[0]),
                  "-c:v ffv1"));
    // A grade as OpenColorIO bakes it: lifted black, channels mixed, green bent.
    const std::string cube = dir.file("NivlotosRGB.cube");
    const std::string bake =
        "ociobakelut --format iridas_cube --cubesize 17 --offset 0.05 0.03 0.02 --power 1 2 1 --sat 0.7 ";
    ASSERT_EQ(command(bake + cube).status, 0) << "ociobakelut failed, or opencolorio-tools is not installed";
    CubeLut lut{};
    ASSERT_EQ(init_cube_lut(&lut, cube.c_str()), 0);
    std::array<double, 6> expected[8][2];  // [mode][precise]
    for (int mode : {0, 1, 2, 3, 4, 7})
        for (bool precise : {false, true}) expected[mode][precise] = expected_for(mode, &lut, precise);
    release_cube_lut(&lut);
    // "--" ends the options and changes nothing.
    for (const std::string way : {"0", "1", "2", "3", "4", "7", "3 precise", "4 precise"}) {
        SCOPED_TRACE("mode " + way);
        const int mode = way[0] - '0';
        const bool precise = way.size() > 1;
        const std::string output = dir.file(std::to_string(mode) + (mode == 7 ? ".mkv" : ".mov"));
        Child run =
            prolut({precise ? "--precise" : "--", input, output, "3", "y", std::to_string(mode)}, dir.path);
        const std::string head = mode == 4 ? "NivlotosRGB.cube\nframenum 25\n" : "framenum 25\n";
        EXPECT_TRUE(run.status == 0 && run.output.rfind(head, 0) == 0) << run.output;
        // The container names the curve; a frame header has no code for linear. Matroska keeps the range.
        const std::string transfer = mode == 1 ? "bt709" : mode == 3 || mode == 7 ? "linear" : "unknown";
        EXPECT_EQ(stored_colours(output), "unknown " + transfer + " smpte170m" + (mode == 7 ? " tv" : "") +
                                              " / unknown " + (mode == 1 ? "bt709" : "unknown") +
                                              " smpte170m");
        const std::string pictures = decode(output);
        ASSERT_EQ(pictures.size(), 25u * width * height * 4);
        const uint16_t* samples = reinterpret_cast<const uint16_t*>(pictures.data());
        const int centre = height / 2 * width + width / 2, plane = width * height;
        const int at[3] = {centre, plane + centre / 2, plane * 3 / 2 + centre / 2};  // Y, Cb, Cr
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(samples[at[c]], expected[mode][precise][3 + c], 2) << "Y Cb Cr " << c;
    }
    for (const bool precise : {false, true}) {
        Child run = prolut({precise ? "--precise" : "--", input, dir.file("out.mov"), "3", "y", "4",
                            "NivlotosRGB.cube", "shot.rgb"},
                           dir.path);
        EXPECT_EQ(run.status, 0) << run.output;
        std::string bytes;
        for (int i = 0; i < width * height * 3; ++i)
            bytes += char(std::lround(expected[4][precise][i % 3] * 255.0 / 1023));
        EXPECT_TRUE(slurp(dir.file("shot.rgb")) == bytes) << precise;
    }
}

// A 10-bit luma ramp (every code 64..940 across 1920 pixels) through a smooth contrast cube
// (0.5 - 0.5 cos(pi x) on each channel) keeps, precise, the levels of its ten bits: the grade's
// definition gives it 694 distinct codes, none more than 2 from its neighbour's, where the default
// road gives 234 and steps of 7 (bench/precise.sh).
TEST(CustomRoad, PreciseKeepsTheLevelsOfATenBitRamp) {
    TempDir dir;
    std::string ramp = dir.file("ramp.mkv"), cube = "LUT_3D_SIZE 33\n";
    for (int e = 0; e < 3 * 33 * 33 * 33; ++e)
        cube += std::to_string(0.5 - 0.5 * std::cos(M_PI * (e / 3 / int(std::pow(33, e % 3)) % 33) / 32)) +
                (e % 3 < 2 ? " " : "\n");
    std::ofstream(dir.file("contrast.cube")) << cube;
    ASSERT_TRUE(make_clip(ramp,
                          "nullsrc=size=1920x16:rate=25:duration=0.12,format=yuv422p10le,"
                          "geq=lum='64+floor(X*877/1920)':cb=512:cr=512",
                          "-c:v ffv1"));
    Child run = prolut({"--precise", ramp, dir.file("out.mov"), "3", "y", "4", "contrast.cube"}, dir.path);
    const std::string pictures = decode(dir.file("out.mov"));
    ASSERT_TRUE(run.status == 0 && pictures.size() >= 1920 * 2) << run.output;
    const uint16_t* luma = reinterpret_cast<const uint16_t*>(pictures.data());
    const std::set<int> levels(luma, luma + 1920);
    int step = 0;
    for (int x = 1; x < 1920; ++x) step = std::max(step, std::abs(luma[x] - luma[x - 1]));
    EXPECT_TRUE(levels.size() >= 660 && step <= 2) << levels.size() << " levels, steps of up to " << step;
}

// A refused cube costs one line on standard error and nothing more on standard output.
TEST(CustomRoad, RefusedCubesSayWhy) {
    TempDir dir;
    std::ofstream(dir.file("big.cube")) << "# look\r\nTITLE \"big\"\r\nLUT_3D_SIZE 300\r\n";
    const std::string refusals[][3] = {
        {"big.cube", "big.cube\n",
         "prolut: cube file 'big.cube', line 3: LUT_3D_SIZE 300 is outside 2 to 255\n"},
        {"gone.cube", "gone.cube\nFail to read the cube file.\n",
         "prolut: cube file 'gone.cube': cannot be opened: No such file or directory\n"},
        {"/", "/\n", "prolut: cube file '/': cannot be read: Is a directory\n"}};
    for (const auto& [name, console, message] : refusals) {
        Child run = prolut({"in.mkv", "out.mov", "3", "y", "4", name}, dir.path);
        EXPECT_TRUE(run.status == 255 && run.output == console && run.errors == message) << run.errors;
    }
}

}  // namespace
