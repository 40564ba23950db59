// The snapshot as a PNG image.
#include <gtest/gtest.h>

#include "support.h"

namespace {

// FFmpeg decodes the PNG to the very bytes of the raw snapshot, on both roads, for a picture of
// odd height whose rows are not a multiple of any alignment; the name's case does not matter. A
// PNG that cannot be written is reported, with exit status 1.
TEST(Snapshot, PngHoldsTheRawSnapshotsPixels) {
    TempDir dir;
    const std::string input = dir.file("in.mkv");
    ASSERT_TRUE(make_clip(input, "testsrc2=size=62x37:rate=25:duration=1,format=gbrp,noise=alls=80:allf=t",
                          "-c:v ffv1"));
    for (const std::string road : {"n", "y"}) {
        SCOPED_TRACE(road);
        const std::string raw = dir.file(road + ".rgb"),
                          png = dir.file(road + (road == "n" ? ".png" : ".PnG"));
        for (const std::string& shot : {raw, png}) {
            Child run = prolut({input, dir.file("out.mov"), "0", road, "1", "", shot}, dir.path);
            EXPECT_TRUE(run.status == 0 && ends_complete(run.output)) << run.output;
        }
        EXPECT_EQ(probe(png, "stream=codec_name,pix_fmt,width,height"), "png 62 37 rgb24");
        ASSERT_TRUE(ffmpeg("-i " + png + " -f rawvideo -pix_fmt rgb24 " + dir.file("back.rgb")));
        const std::string bytes = slurp(raw);
        EXPECT_EQ(bytes.size(), 62u * 37 * 3);
        EXPECT_TRUE(slurp(dir.file("back.rgb")) == bytes);
    }
    // --precise leaves the plain road as it is.
    Child plain =
        prolut({"--precise", input, dir.file("out.mov"), "0", "n", "1", "", dir.file("p.rgb")}, dir.path);
    EXPECT_TRUE(plain.status == 0 && slurp(dir.file("p.rgb")) == slurp(dir.file("n.rgb"))) << plain.output;
    std::filesystem::create_symlink("/dev/full", dir.file("full.png"));
    Child full = prolut({input, dir.file("out.mov"), "0", "n", "0", "", "full.png"}, dir.path);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.output.find("\nError, could not write snapshot file full.png\n"), std::string::npos)
        << full.output;
}

}  // namespace
