#include "driver/input.h"

#include <gtest/gtest.h>

#include "end_to_end.h"

namespace {

TEST(ProgressInterval, IsATwentiethOfTheCountAndNeverZero) {
    EXPECT_EQ(progress_interval_for(0), 1);
    EXPECT_EQ(progress_interval_for(19), 1);
    EXPECT_EQ(progress_interval_for(40), 2);
    EXPECT_EQ(progress_interval_for(1000), 50);
    EXPECT_EQ(progress_interval_for(1019), 50);
}

// A container with one stream whose timing fields each test sets.
struct ProbedStream {
    AVFormatContext* context = avformat_alloc_context();
    AVStream* stream = avformat_new_stream(context, nullptr);
    ~ProbedStream() { avformat_free_context(context); }
};

// The encoder's time base is the rate's inverse, so the rate must never be 0/0 or 0/1.
TEST(UsableFrameRate, FallsBackToTheBaseRateThenTo25) {
    ProbedStream probed;
    ASSERT_NE(probed.stream, nullptr);
    probed.stream->avg_frame_rate = AVRational{30000, 1001};
    probed.stream->r_frame_rate = AVRational{60, 1};
    EXPECT_EQ(av_q2d(usable_frame_rate(probed.stream)), 30000 / 1001.0);
    probed.stream->avg_frame_rate = AVRational{0, 0};
    EXPECT_EQ(av_q2d(usable_frame_rate(probed.stream)), 60);
    probed.stream->avg_frame_rate = AVRational{0, 1};
    probed.stream->r_frame_rate = AVRational{0, 0};
    EXPECT_EQ(av_q2d(usable_frame_rate(probed.stream)), 25);
}

TEST(EstimateFrameCount, StreamDurationThenContainerDurationThenNothing) {
    ProbedStream probed;
    ASSERT_NE(probed.stream, nullptr);
    const AVRational pal = {25, 1};
    probed.stream->time_base = AVRational{1, 1000};
    probed.stream->duration = 2000;
    probed.context->duration = 3 * AV_TIME_BASE;
    EXPECT_EQ(estimate_frame_count(probed.context, probed.stream, pal), 50);
    // 10.009 s of 30000/1001 is 299.97 frames; rounding, not truncation, gets there.
    probed.stream->duration = 10009;
    EXPECT_EQ(estimate_frame_count(probed.context, probed.stream, AVRational{30000, 1001}), 300);

    probed.stream->duration = AV_NOPTS_VALUE;
    EXPECT_EQ(estimate_frame_count(probed.context, probed.stream, pal), 75);

    probed.context->duration = AV_NOPTS_VALUE;
    EXPECT_EQ(estimate_frame_count(probed.context, probed.stream, pal), 0);
}

// Matroska keeps no frame count: the run must go to the end of the input, not stop at 0.
TEST(InputEndToEnd, MatroskaInputKeepsEveryFrame) {
    TempDir dir;
    ASSERT_TRUE(make_clip(dir.file("in.mkv"), "testsrc2=size=160x120:rate=25:duration=2",
                          {"-c:v", "libx264", "-preset", "ultrafast"}));
    ProcessResult run = run_prolut({dir.file("in.mkv"), dir.file("out.mov")});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output.rfind("framenum 50\nwidth=160\nheight=120\n", 0), 0u) << run.output;
    EXPECT_TRUE(ends_complete(run.output)) << run.output;
    EXPECT_EQ(probe_video(dir.file("out.mov"), "stream=nb_read_frames", true)["nb_read_frames"], "50");
}

// The audio (stream 0) is shorter and counts other frames than the video (stream 1).
TEST(InputEndToEnd, AudioFirstInputKeepsEveryVideoFrame) {
    TempDir dir;
    const std::string input = dir.file("in.mov");
    ASSERT_TRUE(run_ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-f", "lavfi", "-i",
                            "testsrc2=size=160x120:rate=25:duration=2", "-map", "0:a", "-map", "1:v", "-c:a",
                            "aac", "-c:v", "libx264", "-preset", "ultrafast", input}));
    ASSERT_EQ(probe_video(input, "stream=index")["index"], "1");
    ProcessResult run = run_prolut({input, dir.file("out.mov")});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output.rfind("framenum 50\nwidth=160\nheight=120\n", 0), 0u) << run.output;
    EXPECT_EQ(probe_video(dir.file("out.mov"), "stream=nb_read_frames", true)["nb_read_frames"], "50");
}

TEST(InputEndToEnd, InputsWithoutPicturesMakeNoOutput) {
    TempDir dir;
    ProcessResult missing = run_prolut({dir.file("missing.mp4"), dir.file("out.mov")});
    EXPECT_EQ(missing.exit_status, 255);
    EXPECT_EQ(missing.output.find("Complete"), std::string::npos) << missing.output;
    EXPECT_FALSE(file_exists(dir.file("out.mov")));

    ASSERT_TRUE(make_clip(dir.file("sound.wav"), "sine=duration=1", {}));
    ProcessResult sound_only = run_prolut({dir.file("sound.wav"), dir.file("out.mov")});
    EXPECT_EQ(sound_only.exit_status, 1);
    EXPECT_FALSE(file_exists(dir.file("out.mov")));
}

}  // namespace
