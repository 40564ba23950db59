// --timecode: the start timecode read, checked against the frame rate, and carried.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "driver/timecode.h"
#include "support.h"

namespace {

TEST(Timecode, TextsCheckedAgainstTheFrameRate) {
    const AVRational pal{25, 1}, ntsc{30000, 1001};
    const TimecodeVerdict fits = TIMECODE_FITS, misfits = TIMECODE_MISFITS_RATE, no = TIMECODE_NOT_A_TIMECODE;
    const std::tuple<const char*, AVRational, TimecodeVerdict, const char*> cases[] = {
        // clang-format off
        {"1:2:3:4", pal, fits, "01:02:03:04"},       {"01:00:00.00", ntsc, fits, "01:00:00;00"},
        {"00:10:00;00", ntsc, fits, "00:10:00;00"},  {"00:01:00;02", ntsc, fits, "00:01:00;02"},
        {"00:01:00;01", ntsc, misfits, ""},          {"00:01:00;03", {60000, 1001}, misfits, ""},
        {"01:00:00:25", pal, misfits, ""},           {"01:00:00;00", pal, misfits, ""},
        {"00:00:00:00", {300, 1}, misfits, ""},      {"00:00:00:00", {1, 3}, misfits, ""},
        {"00:00:00:099", {120, 1}, fits, "00:00:00:099"},  {"garbage", pal, no, ""},
        {"24:00:00:00", pal, no, ""},    {"00:60:00:00", pal, no, ""},     {"01:00:00", pal, no, ""},
        {"01:00:00:00 ", pal, no, ""},   {"01;00;00;00", ntsc, no, ""},    {"001:00:00:00", pal, no, ""},
        {"-1:00:00:00", pal, no, ""},    {"1:00:00:00:00", pal, no, ""},
        // clang-format on
    };
    for (const auto& [text, rate, verdict, kept] : cases) {
        char canonical[AV_TIMECODE_STR_SIZE] = "poison";
        EXPECT_EQ(read_timecode(text, rate, canonical), verdict) << text;
        EXPECT_STREQ(canonical, kept) << text;
    }
}

// FFmpeg's DPX writer leaves out the television header, where its reader finds a picture's S12M
// timecode: each picture gets one, 10:11:12:00 counting up, and its pixels move behind it.
void stamp_dpx_timecodes(const TempDir& dir) {
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.file("d00" + std::to_string(i + 1) + ".dpx"), data = slurp(path);
        std::string head = data.substr(0, 1664) + std::string(2048 - 1664, '\0');  // little-endian words
        for (int b = 0; b < 4; ++b)
            head[4 + b] = char(2048 >> 8 * b), head[1920 + b] = char((0x10111200 + i) >> 8 * b);
        std::ofstream(path, std::ios::binary) << head << data.substr(1664);
    }
}

// Each kind of source (a stream tag with a reel name, MXF and Matroska container tags, S12M side
// data) into each container, as FFmpeg's reader of the same version finds it again; a drop-frame
// start keeps its ';'. Sources without one, or with one that is no timecode, give a line and a run
// that goes on; a pipe is read once, its first picture too.
TEST(Timecode, CarriedFromEachSourceIntoEachContainer) {
    TempDir dir;
    const std::string clip = "testsrc2=size=64x48:rate=", short_clip = clip + "25:duration=0.4";
    ASSERT_TRUE(make_clip(dir.file("df.mov"), clip + "30000/1001:duration=1",
                          "-c:v mpeg4 -timecode 01:00:00;00 -metadata:s:v:0 reel_name=A001C003"));
    ASSERT_TRUE(make_clip(dir.file("in.mxf"), short_clip,
                          "-c:v mpeg2video -timecode 10:11:12:13 -metadata reel_name=B2"));
    ASSERT_TRUE(make_clip(dir.file("in.mkv"), short_clip, "-c:v ffv1 -timecode 23:59:59:24"));
    ASSERT_TRUE(make_clip(dir.file("none.mkv"), short_clip, "-c:v ffv1"));
    ASSERT_TRUE(make_clip(dir.file("bad.mkv"), short_clip,
                          "-c:v ffv1 -metadata timecode=bad\x01" + std::string(50, 'x')));
    ASSERT_TRUE(make_clip(dir.file("d%03d.dpx"), short_clip, "-pix_fmt rgb24"));
    stamp_dpx_timecodes(dir);
    const std::string df = "01:00:00;00 A001C003 01:00:00;00";
    const std::string cases[][4] = {
        // arguments; the file probed: its video stream's and tmcd track's tags, the container's; the line
        {"--timecode df.mov out.mov", "out.mov", df, ""},
        {"--timecode df.mov out.mxf", "out.mxf", "01:00:00;00", ""},
        {"--timecode in.mxf out.mov", "out.mov", "10:11:12:13 B2 10:11:12:13", ""},
        {"--timecode in.mxf out.mkv", "out.mkv", "10:11:12:13", ""},
        {"--timecode in.mkv out.mov", "out.mov", "23:59:59:24 23:59:59:24", ""},
        {"--timecode d%03d.dpx out.mov", "out.mov", "10:11:12:00 10:11:12:00", ""},
        {"--timecode df.mov unused.mov 0 n 0 - snap.rgb", "D:\\temp.mov", df, ""},
        {"df.mov out.mov", "out.mov", "", ""},
        // FFmpeg's MXF writer always has a timecode, and fails on one that is none
        {"--timecode none.mkv out.mxf", "out.mxf", "00:00:00:00",
         "input 'none.mkv' has no timecode: the output has none\n"},
        {"--timecode bad.mkv out.mxf", "out.mxf", "00:00:00:00",
         "input 'bad.mkv': timecode 'bad?" + std::string(36, 'x') +
             "...' is not hh:mm:ss:ff: the output has"},
        {"--timecode pipe:0 out.mov", "out.mov", "", "input 'pipe:0' has no timecode: the output has none\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        // Standard input is a clip for "pipe:0", and read by nothing else.
        Child run = prolut(words(c[0]), dir.path, dir.file("none.mkv"));
        EXPECT_TRUE(run.status == 0 && ends_complete(run.output)) << run.status << run.output;
        // ffprobe 9 also lists the streams of the track reference group, without their tags.
        EXPECT_EQ(probe(dir.file(c[1]), "stream_tags=reel_name,timecode:format_tags=timecode", ""), c[2]);
        EXPECT_EQ(("\n" + run.errors).find("\nprolut: " + c[3]) != std::string::npos, !c[3].empty())
            << run.errors;
    }
}

}  // namespace
