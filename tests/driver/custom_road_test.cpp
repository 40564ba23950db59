// The custom colour road end to end. The input is one flat colour stored losslessly as 16-bit
// RGB, which reaches the tone mapping unchanged, so the colour library tells what every output
// pixel must be.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "colour/tone_map.h"
#include "colour/yuv_convert.h"
#include "support.h"

namespace {

const int colour[3] = {0x40, 0xA0, 0xE0};  // R, G, B
const int width = 64, height = 48;

// The colour after tone mapping (R, G, B) and after our BT.601 arithmetic (Y, Cb, Cr), 10-bit.
struct Expected {
    int rgb[3], yuv[3];
};

Expected expected_for(int mode, const CubeLut* lut) {
    uint16_t bgr48[6];  // two pixels: the smallest picture with both chroma samples
    for (int i = 0; i < 6; ++i) bgr48[i] = static_cast<uint16_t>(colour[2 - i % 3] * 257);
    TransferCurve curve{};
    tone_map_working_picture(reinterpret_cast<uint8_t*>(bgr48), 12, 2, 1, mode, &curve, lut);
    static YuvTables tables{};
    uint16_t yuv[4];  // Y, Y, Cb, Cr
    uint8_t* planes[3] = {reinterpret_cast<uint8_t*>(yuv), reinterpret_cast<uint8_t*>(yuv + 2),
                          reinterpret_cast<uint8_t*>(yuv + 3)};
    const int strides[3] = {4, 2, 2};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<uint8_t*>(bgr48), 12, 2, 1, planes, strides);
    return {{bgr48[2] >> 6, bgr48[1] >> 6, bgr48[0] >> 6}, {yuv[0], yuv[2], yuv[3]}};
}

class CustomRoad : public testing::Test {
protected:
    TempDir dir;
    const std::string input = dir.file("flat.mkv");
    CubeLut lut{};

    void SetUp() override {
        // Each 16-bit sample holds its 8-bit code twice (colour * 257). The scaler passes 16-bit
        // RGB through as it is, where from 8-bit RGB it goes by way of YUV and may land a code lower.
        ASSERT_TRUE(make_clip(
            input, "nullsrc=size=64x48:rate=25:duration=1,format=gbrp16le,geq=r=16448:g=41120:b=57568",
            "-c:v ffv1"));
        // 17 points a side, red fastest: a grade that mixes the channels and bends green.
        std::string cube = "TITLE \"grade\"\nLUT_3D_SIZE 17\n";
        for (int i = 0; i < 17 * 17 * 17; ++i) {
            const double r = i % 17 / 16.0, g = i / 17 % 17 / 16.0, b = i / 289 / 16.0;
            char line[64];
            snprintf(line, sizeof line, "%g\t%g\t%g\n", 0.8 * r + 0.2 * b, g * g, 0.6 * b + 0.3 * r);
            cube += line;
        }
        std::ofstream(dir.file("grade.cube")) << cube;
        std::ofstream(dir.file("NivlotosRGB.cube")) << cube;
        ASSERT_EQ(init_cube_lut_from_text(&lut, cube.data(), cube.size()), 0);
    }
    void TearDown() override { release_cube_lut(&lut); }
};

TEST_F(CustomRoad, EveryModeGivesTheColoursOfItsArithmetic) {
    std::map<int, std::string> pictures;
    for (int mode : {0, 1, 2, 3, 7, 4}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const std::string output = dir.file(std::to_string(mode) + ".mov");
        // Mode 4 with no cube file named loads NivlotosRGB.cube from the working directory.
        Child run = prolut({input, output, "3", "y", std::to_string(mode)}, dir.path);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.rfind(mode == 4 ? "NivlotosRGB.cube\nframenum 25\n" : "framenum 25\n", 0), 0u)
            << run.output;
        EXPECT_EQ(probe(output, "stream=pix_fmt,color_range,color_space,color_transfer,nb_read_frames"),
                  std::string("yuv422p10le tv smpte170m ") + (mode == 1 ? "bt709" : "unknown") + " 25");
        pictures[mode] = decode(output);
        ASSERT_EQ(pictures[mode].size(), 25u * width * height * 4);
        const uint16_t* samples = reinterpret_cast<const uint16_t*>(pictures[mode].data());
        const int centre = height / 2 * width + width / 2;
        const int decoded[3] = {samples[centre], samples[width * height + centre / 2],
                                samples[width * height * 3 / 2 + centre / 2]};
        const Expected expected = expected_for(mode, &lut);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(decoded[c], expected.yuv[c], 2) << "Y, Cb, Cr: " << c;
    }
    EXPECT_TRUE(pictures[7] == pictures[3]) << "mode 7 is linear like mode 3";
    EXPECT_FALSE(pictures[1] == pictures[3]) << "BT.709 curve and linear";
}

// The snapshot ends the run at the 21st picture: 20 frames go to the file named D:\temp.mov in
// the working directory, the 21st, tone mapped, to the snapshot file as R, G, B bytes. A cube
// that cannot be loaded ends the run before the input is opened, and nothing is written.
TEST_F(CustomRoad, SnapshotAndCubeFiles) {
    Child run = prolut({input, dir.file("out.mov"), "3", "y", "4", "grade.cube", "shot.rgb"}, dir.path);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("grade.cube\nframenum 25\n", 0), 0u) << run.output;
    const Expected expected = expected_for(4, &lut);
    std::string bytes;
    for (int i = 0; i < width * height * 3; ++i)
        bytes += static_cast<char>(std::lround(expected.rgb[i % 3] * 255.0 / 1023));
    EXPECT_TRUE(slurp(dir.file("shot.rgb")) == bytes);
    EXPECT_EQ(probe(dir.file("D:\\temp.mov"), "stream=nb_read_frames"), "20");

    const std::string unwritable = dir.file("none/shot.rgb");
    Child refused = prolut({input, dir.file("out.mov"), "3", "y", "0", "", unwritable}, dir.path);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("Error, could not open snapshot file " + unwritable + "\n"),
              std::string::npos);

    std::ofstream(dir.file("bad.cube"))
        << "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    for (const std::string& cube : {dir.file("bad.cube"), dir.file("missing.cube")}) {
        Child unloaded = prolut({input, dir.file("out.mov"), "3", "y", "4", cube});
        EXPECT_EQ(unloaded.status, 255) << cube;
        EXPECT_EQ(unloaded.output.rfind(cube + "\n", 0), 0u) << unloaded.output;
        EXPECT_EQ(unloaded.output.find("framenum"), std::string::npos) << unloaded.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.mov")));
}

}  // namespace
