// The snapshot: picture 21 as 8-bit RGB, raw or as a PNG image.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "colour/transfer_curve.h"
#include "support.h"

namespace {

// 8-bit RGB reaches the working picture as the very codes of the file, in every layout FFmpeg
// decodes it to: each row holds every code 0..255 on each channel, in another order per channel
// (multiplying by an odd number is a permutation). The plain road's snapshot shows the codes
// themselves, with or without --precise; the custom road's shows them through the linear curve,
// as the colour library does. FFmpeg decodes a PNG snapshot (the name's case does not matter) to
// the raw one's bytes, for rows of 774 bytes and an odd height, which no alignment divides. A
// snapshot that cannot be written is reported, with exit status 1.
TEST(Snapshot, EightBitRgbShowsItsExactCodesRawOrAsPng) {
    TempDir dir;
    std::string pattern;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 258; ++x)
            for (int c = 0; c < 3; ++c) pattern += char((x * (2 * (y + c) + 1) + 37 * c) & 255);
    std::ofstream(dir.file("in.rgb"), std::ios::binary) << pattern;
    std::string graded = pattern;  // what the linear curve makes of each code, as snapshot bytes
    TransferCurve curve{};
    build_transfer_curve(&curve, 1.0f, 3);
    for (char& byte : graded) byte = char(std::lround(int(curve.entries[uint8_t(byte)]) * 255.0 / 1023));
    const std::string clip = dir.file("in.nut");
    for (const std::string format : {"rgb24", "bgr24", "rgba", "bgra", "argb", "abgr", "rgb0", "bgr0", "0rgb",
                                     "0bgr", "gbrp", "gbrap"}) {
        ASSERT_TRUE(ffmpeg("-stream_loop 20 -f rawvideo -pix_fmt rgb24 -s 258x3 -r 25 -i " +
                           dir.file("in.rgb") + " -c:v rawvideo -pix_fmt " + format + " " + clip));
        Child run = prolut({clip, "out.mov", "0", "n", "3", "", "shot.rgb"}, dir.path);
        EXPECT_TRUE(run.status == 0 && slurp(dir.file("shot.rgb")) == pattern) << format << run.output;
    }
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{clip, "out.mov", "0", "y", "3", "", "shot.rgb"}, graded},
        {{clip, "out.mov", "0", "y", "3", "", "shot.PnG"}, graded},
        {{"--precise", clip, "out.mov", "0", "n", "3", "", "shot.png"}, pattern}};
    for (const auto& [arguments, bytes] : runs) {
        Child run = prolut(arguments, dir.path);
        EXPECT_TRUE(run.status == 0 && ends_complete(run.output)) << run.output;
        const std::string shot = dir.file(arguments.back()), raw = shot + ".rgb";
        if (shot.back() != 'b') {
            EXPECT_EQ(probe(shot, "stream=codec_name,pix_fmt,width,height"), "png 258 3 rgb24");
            ASSERT_TRUE(ffmpeg("-i " + shot + " -f rawvideo -pix_fmt rgb24 " + raw));
        }
        EXPECT_TRUE(slurp(shot.back() == 'b' ? shot : raw) == bytes)
            << arguments[0] << " " << arguments.back();
    }
    std::filesystem::create_symlink("/dev/full", dir.file("full.png"));
    Child full = prolut({clip, "out.mov", "0", "n", "0", "", "full.png"}, dir.path);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.output.find("\nError, could not write snapshot file full.png\n"), std::string::npos)
        << full.output;
}

}  // namespace
