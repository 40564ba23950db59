// Whole runs of the program, judged by its console and by ffprobe/ffmpeg; and the rules
// for the ways out of the loop.
#include "driver/transcode_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "end_to_end.h"

namespace {

// Every way out keeps the pictures already handed to the encoder except an encoder or
// writer failure; only errors give 1, and a stop signal gives 130 like a shell would.
TEST(LoopEnds, DrainAndExitStatusOfEveryWayOut) {
    const struct {
        LoopEnd end;
        int status;
        bool drains;
    } cases[] = {{LOOP_END_COUNT, 0, true},
                 {LOOP_END_INPUT, 0, true},
                 {LOOP_END_KEY, 0, true},
                 {LOOP_END_SIGNAL, 130, true},
                 {LOOP_END_SNAPSHOT, 0, true},
                 {LOOP_END_READ_ERROR, 1, true},
                 {LOOP_END_DECODE_ERROR, 1, true},
                 {LOOP_END_SCALER_ERROR, 1, true},
                 {LOOP_END_SNAPSHOT_ERROR, 1, true},
                 {LOOP_END_ENCODE_ERROR, 1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(exit_status_for(c.end), c.status) << "way out " << c.end;
        EXPECT_EQ(loop_end_drains(c.end), c.drains) << "way out " << c.end;
    }
}

// 40 frames at 30000/1001: a rate that is not a whole number, and a count the progress
// interval (2) divides.
TEST(TranscodeEndToEnd, NtscRunKeepsRateCountAndTimestamps) {
    TempDir dir;
    ASSERT_TRUE(
        make_clip(dir.file("in.mp4"), "testsrc2=size=160x120:rate=30000/1001",
                  {"-frames:v", "40", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
    ProcessResult run = run_prolut({dir.file("in.mp4"), dir.file("out.mov"), "3"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output.rfind("framenum 40\nwidth=160\nheight=120\n", 0), 0u) << run.output;
    EXPECT_TRUE(ends_complete(run.output)) << run.output;
    std::vector<long> progress = progress_numbers(run.output);
    ASSERT_FALSE(progress.empty()) << run.output;
    EXPECT_EQ(progress.back(), 40) << run.output;
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << run.output;
    EXPECT_TRUE(std::all_of(progress.begin(), progress.end(), [](long n) { return n % 2 == 0; }))
        << run.output;

    KeyValues out =
        probe_video(dir.file("out.mov"), "stream=nb_read_frames,avg_frame_rate,r_frame_rate", true);
    EXPECT_EQ(out["nb_read_frames"], "40");
    EXPECT_EQ(out["avg_frame_rate"], "30000/1001");
    EXPECT_EQ(out["r_frame_rate"], "30000/1001");
    std::vector<std::string> times = probe_packets(dir.file("out.mov"), "pts_time");
    ASSERT_EQ(times.size(), 40u);
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_NEAR(std::atof(times[i].c_str()), i * 1001.0 / 30000.0, 2e-6) << "packet " << i;
    }
}

struct ColourCase {
    const char* name;
    const char* container;
    std::vector<std::string> encoding;
    const char* range;
    const char* space;
    const char* primaries;
    const char* transfer;
};

void PrintTo(const ColourCase& c, std::ostream* out) { *out << c.name; }

class PlainRoad : public testing::TestWithParam<ColourCase> {};

// The plain road must give the very pictures FFmpeg's own scaler gives, and describe them
// as they are: the colour tags that the scaler keeps, and limited range where it made it.
// ProRes pictures are always limited range to a decoder, and a ProRes frame can name the
// BT.601 matrix only as smpte170m.
TEST_P(PlainRoad, MatchesFfmpegAndKeepsTheColourDescription) {
    const ColourCase& c = GetParam();
    TempDir dir;
    const std::string input = dir.file(std::string("in.") + c.container);
    ASSERT_TRUE(make_clip(input, "testsrc2=size=160x120:rate=25:duration=1", c.encoding));
    ProcessResult run = run_prolut({input, dir.file("out.mov"), "2"});
    EXPECT_EQ(run.exit_status, 0);
    ASSERT_TRUE(run_ffmpeg({"-i", input, "-an", "-c:v", "prores", "-profile:v", "2", "-pix_fmt",
                            "yuv422p10le", dir.file("reference.mov")}));

    std::vector<std::string> ours = frame_hashes(dir.file("out.mov"));
    EXPECT_EQ(ours.size(), 25u);
    EXPECT_EQ(ours, frame_hashes(dir.file("reference.mov")));

    KeyValues out =
        probe_video(dir.file("out.mov"), "stream=color_range,color_space,color_primaries,color_transfer");
    EXPECT_EQ(out["color_range"], c.range);
    EXPECT_EQ(out["color_space"], c.space);
    EXPECT_EQ(out["color_primaries"], c.primaries);
    EXPECT_EQ(out["color_transfer"], c.transfer);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PlainRoad,
    testing::Values(
        ColourCase{"Untagged",
                   "mp4",
                   {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"},
                   "tv",
                   "unknown",
                   "unknown",
                   "unknown"},
        ColourCase{"Bt709",
                   "mp4",
                   {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-color_primaries",
                    "bt709", "-color_trc", "bt709", "-colorspace", "bt709", "-color_range", "tv"},
                   "tv",
                   "bt709",
                   "bt709",
                   "bt709"},
        ColourCase{"FullRangeTagged",
                   "mkv",
                   {"-c:v", "ffv1", "-pix_fmt", "yuv420p", "-color_range", "pc", "-colorspace", "bt709"},
                   "tv",
                   "bt709",
                   "unknown",
                   "unknown"},
        ColourCase{"FullRangeJpeg",
                   "mov",
                   {"-c:v", "mjpeg", "-pix_fmt", "yuvj420p"},
                   "tv",
                   "smpte170m",
                   "unknown",
                   "unknown"}),
    [](const testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });

}  // namespace
