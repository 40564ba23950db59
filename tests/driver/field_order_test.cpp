// Interlaced sources end to end, judged by ffprobe: every frame header and the container.
#include <gtest/gtest.h>

#include <fstream>

#include "support.h"

namespace {

// Each frame's "interlaced top-first" as its header says, then the stream's field order.
std::string fields(const std::string& path) {
    return probe(path, "stream=field_order:frame=interlaced_frame,top_field_first");
}

std::string expected(const std::string& order, int frames, const std::string& container) {
    std::string flags;
    for (int f = 0; f < frames; ++f) flags += order == "tt" ? "1 1 " : order == "bb" ? "1 0 " : "0 0 ";
    return flags + container;
}

// The pictures' word goes first: H.264's parser calls the bff clip tt, raw DV says nothing, MXF says
// progressive (our own output, read back). MXF keeps no order for ProRes: its frame headers alone
// say it. Each road, in sizes where the encoder coding fields read past the picture (320x240,
// 1280x720 crashed) and where it did not. A progressive source gets no field order at all.
TEST(FieldOrder, InterlacedSourcesStayInterlacedInEveryContainerOnBothRoads) {
    TempDir dir;
    const std::string clip = "testsrc2=rate=25:duration=0.12:size=",
                      tff = "-vf setfield=tff -flags +ildct+ilme ",
                      bff = "-vf setfield=bff -flags +ildct+ilme ", mxf = dir.file("out.mxf");
    const std::string cases[][5] = {
        {"tff.mp4", clip + "320x240", tff + "-c:v libx264", "tt", "n"},
        {"bff.mov", clip + "1280x720", bff + "-c:v libx264", "bb", "y"},
        {"pal.dv", clip + "720x576", bff + "-c:v dvvideo -pix_fmt yuv420p", "bb", "n"},
        {"p.mp4", clip + "320x208", "-c:v libx264", "unknown", "y"}};
    for (const auto& [name, source, encoding, order, road] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(make_clip(dir.file(name), source, encoding));
        EXPECT_EQ(prolut({dir.file(name), mxf, "3", road, "1"}).status, 0);
        EXPECT_EQ(fields(mxf), expected(order, 3, "progressive"));
        for (const std::string& out : {dir.file("out.mov"), dir.file("out.mkv")}) {
            EXPECT_EQ(prolut({order == "unknown" ? dir.file(name) : mxf, out, "2", road, "1"}).status, 0);
            const std::string got = fields(out);
            // No 'fiel' atom: FFmpeg 9.0's reader then takes the order from the frame headers.
            EXPECT_TRUE(got == expected(order, 3, order) ||
                        (order == "unknown" && got == expected(order, 3, "progressive") &&
                         slurp(out).find("fiel") == got.npos))
                << out << ": " << got;
        }
    }
    // Fields coded bff, then progressive pictures: those keep the stream's order, not the encoder's.
    std::ofstream(dir.file("list.txt")) << "file bff.mov\nfile p.mov\n";
    ASSERT_TRUE(make_clip(dir.file("bff.mov"), clip + "720x480", bff + "-c:v prores"));
    ASSERT_TRUE(make_clip(dir.file("p.mov"), clip + "720x480", "-c:v prores"));
    ASSERT_TRUE(ffmpeg("-f concat -i " + dir.file("list.txt") + " -c copy " + dir.file("mixed.mov")));
    EXPECT_EQ(prolut({dir.file("mixed.mov"), dir.file("out.mov")}).status, 0);
    EXPECT_EQ(fields(dir.file("out.mov")), expected("bb", 6, "bb"));
}

}  // namespace
