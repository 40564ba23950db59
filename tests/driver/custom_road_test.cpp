// The custom colour road end to end, on one flat colour stored losslessly as 16-bit RGB: it
// reaches the tone mapping unchanged, so the colour library tells what every pixel must be.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>

#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "stored_colours.h"
#include "support.h"

namespace {

const int width = 64, height = 48;

// R, G, B after tone mapping and Y, Cb, Cr after our BT.601 arithmetic, 10-bit, of the colour
// 0x40, 0xA0, 0xE0; two pixels are the smallest picture with both chroma samples.
std::array<int, 6> expected_for(int mode, const CubeLut* lut) {
    uint16_t bgr48[6] = {0xE0E0, 0xA0A0, 0x4040, 0xE0E0, 0xA0A0, 0x4040}, yuv[4];  // Y, Y, Cb, Cr
    TransferCurve curve{};
    tone_map_working_picture(reinterpret_cast<uint8_t*>(bgr48), 12, 2, 1, mode, &curve, lut);
    YuvTables tables{};
    uint8_t* planes[3] = {reinterpret_cast<uint8_t*>(yuv), reinterpret_cast<uint8_t*>(yuv + 2),
                          reinterpret_cast<uint8_t*>(yuv + 3)};
    const int strides[3] = {4, 2, 2};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<uint8_t*>(bgr48), 12, 2, 1, planes, strides);
    return {bgr48[2] >> 6, bgr48[1] >> 6, bgr48[0] >> 6, yuv[0], yuv[2], yuv[3]};
}

// Mode 4 with no cube file named loads NivlotosRGB.cube from the working directory; mode 7 writes
// Matroska. The colour description is read from the file's own bytes. The snapshot ends the run
// at the 21st picture, tone mapped; the 20 before go to the file named D:\temp.mov.
TEST(CustomRoad, EveryModeAndTheSnapshotGiveTheColoursOfTheirArithmetic) {
    TempDir dir;
    const std::string input = dir.file("flat.mkv");
    // Each sample holds its code twice: the scaler passes 16-bit RGB through, 8-bit goes by way of YUV.
    ASSERT_TRUE(make_clip(input,
                          "nullsrc=size=64x48:rate=25:duration=1,format=gbrp16le,geq=r=16448:g=41120:b=57568",
                          "-c:v ffv1"));
    // A grade as OpenColorIO bakes it: lifted black, channels mixed, green bent.
    const std::string cube = dir.file("NivlotosRGB.cube");
    Child bake;
    start(&bake, {"ociobakelut", "--format", "iridas_cube", "--cubesize", "17", "--offset", "0.05", "0.03",
                  "0.02", "--power", "1", "2", "1", "--sat", "0.7", cube});
    finish(&bake);
    ASSERT_EQ(bake.status, 0) << "ociobakelut failed, or opencolorio-tools is not installed";
    CubeLut lut{};
    ASSERT_EQ(init_cube_lut(&lut, cube.c_str()), 0);
    std::array<int, 6> expected[8];
    for (int mode : {0, 1, 2, 3, 4, 7}) expected[mode] = expected_for(mode, &lut);
    release_cube_lut(&lut);
    for (int mode : {0, 1, 2, 3, 4, 7}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const std::string output = dir.file(std::to_string(mode) + (mode == 7 ? ".mkv" : ".mov"));
        Child run = prolut({input, output, "3", "y", std::to_string(mode)}, dir.path);
        const std::string head = mode == 4 ? "NivlotosRGB.cube\nframenum 25\n" : "framenum 25\n";
        EXPECT_TRUE(run.status == 0 && run.output.rfind(head, 0) == 0) << run.output;
        EXPECT_EQ(probe(output, "stream=pix_fmt,nb_read_frames"), "yuv422p10le 25");
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
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(samples[at[c]], expected[mode][3 + c], 2) << "Y Cb Cr " << c;
    }
    Child run = prolut({input, dir.file("out.mov"), "3", "y", "4", "NivlotosRGB.cube", "shot.rgb"}, dir.path);
    EXPECT_EQ(run.status, 0) << run.output;
    std::string bytes;
    for (int i = 0; i < width * height * 3; ++i)
        bytes += char(std::lround(expected[4][i % 3] * 255.0 / 1023));
    EXPECT_TRUE(slurp(dir.file("shot.rgb")) == bytes);
    EXPECT_EQ(probe(dir.file("D:\\temp.mov"), "stream=nb_read_frames"), "20");
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
        Child run;
        start(&run,
              {"sh", "-c", "exec \"$0\" \"$@\" 2>stderr.txt", PROLUT_BINARY, "in.mkv", "out.mov", "3", "y",
               "4", name},
              false, "/dev/null", dir.path);
        finish(&run);
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.output, console);
        EXPECT_EQ(slurp(dir.file("stderr.txt")), message);
    }
}

}  // namespace

// 8-bit RGB reaches the working picture as the very codes of the file, in every layout FFmpeg
// decodes it to: each row holds every code 0..255 on each channel, in another order per channel
// (multiplying by an odd number is a permutation). The plain road's snapshot shows the codes
// themselves; the custom road's shows them through the linear curve, as the colour library does.
TEST(CustomRoad, EightBitRgbSourcesKeepTheirExactCodes) {
    TempDir dir;
    const int w = 256, h = 4, frames = 21;
    std::string pattern;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) pattern += char((x * (2 * (y + c) + 1) + 37 * c) & 255);
    std::ofstream(dir.file("in.rgb"), std::ios::binary) << [&] {
        std::string all;
        for (int f = 0; f < frames; ++f) all += pattern;
        return all;
    }();
    std::string graded = pattern;  // what the linear curve makes of each code, as snapshot bytes
    TransferCurve curve{};
    build_transfer_curve(&curve, 1.0f, 3);
    for (char& byte : graded) byte = char(std::lround(int(curve.entries[uint8_t(byte)]) * 255.0 / 1023));
    for (const std::string format : {"rgb24", "bgr24", "rgba", "bgra", "argb", "abgr", "rgb0", "bgr0", "0rgb",
                                     "0bgr", "gbrp", "gbrap"}) {
        SCOPED_TRACE(format);
        const std::string clip = dir.file(format + ".nut");
        ASSERT_TRUE(ffmpeg("-f rawvideo -pix_fmt rgb24 -s 256x4 -r 25 -i " + dir.file("in.rgb") +
                           " -c:v rawvideo -pix_fmt " + format + " " + clip));
        ASSERT_TRUE(ffmpeg("-i " + clip + " -frames:v 1 -f rawvideo -pix_fmt rgb24 " + dir.file("back.rgb")));
        ASSERT_TRUE(slurp(dir.file("back.rgb")) == pattern) << "the fixture itself";
        for (const std::string road : {"n", "y"}) {
            Child run =
                prolut({clip, dir.file("out.mov"), "0", road, "3", "", dir.file("shot.rgb")}, dir.path);
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_TRUE(slurp(dir.file("shot.rgb")) == (road == "n" ? pattern : graded)) << road;
        }
    }
}
