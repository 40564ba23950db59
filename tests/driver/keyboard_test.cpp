// Stopping a run early: 'q' on a terminal, SIGINT and SIGTERM; and no polling without a
// terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "end_to_end.h"

namespace {

// The program on a clip long enough (500 frames) to be still busy when the test acts, past
// its first progress line that counts a written frame.
bool start_long_run(const TempDir& dir, ChildProcess* child, ChildInput input) {
    auto past_zero = [](const std::string& console) {
        std::vector<long> progress = progress_numbers(console);
        return !progress.empty() && progress.back() > 0;
    };
    return make_clip(dir.file("in.mp4"), "testsrc2=size=640x360:rate=25:duration=20",
                     {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}) &&
           start_process(child, prolut_command({dir.file("in.mp4"), dir.file("out.mov")}), input) &&
           read_output_until(child, past_zero);
}

int counted_frames(const std::string& path) {
    std::string count = probe_video(path, "stream=nb_read_frames", true)["nb_read_frames"];
    return count.empty() ? -1 : std::atoi(count.c_str());
}

// Every test terminal starts with these.
termios new_terminal_settings() {
    termios settings{};
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
        tcgetattr(master, &settings);
        close(master);
        close(slave);
    }
    return settings;
}

bool same_settings(const termios& first, const termios& second) {
    return first.c_iflag == second.c_iflag && first.c_oflag == second.c_oflag &&
           first.c_cflag == second.c_cflag && first.c_lflag == second.c_lflag &&
           std::memcmp(first.c_cc, second.c_cc, sizeof first.c_cc) == 0;
}

TEST(KeyboardEndToEnd, QOnATerminalStopsEarlyAndRestoresTheTerminal) {
    TempDir dir;
    ChildProcess child;
    ASSERT_TRUE(start_long_run(dir, &child, ChildInput::terminal)) << child.output;
    termios during{}, after{};
    ASSERT_EQ(tcgetattr(child.output_fd, &during), 0);
    ASSERT_EQ(write(child.output_fd, "q", 1), 1);
    ASSERT_TRUE(read_output_until(&child, ends_complete)) << child.output;
    ASSERT_EQ(tcgetattr(child.output_fd, &after), 0);
    ProcessResult run = finish_process(&child);

    EXPECT_EQ(run.exit_status, 0) << run.output;
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u) << "keys are read one by one, without echo";
    EXPECT_EQ(run.output.find('q'), std::string::npos) << "the key was echoed:\n" << run.output;
    EXPECT_TRUE(same_settings(new_terminal_settings(), after));
    int frames = counted_frames(dir.file("out.mov"));
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 500);
    EXPECT_EQ(static_cast<int>(frame_hashes(dir.file("out.mov")).size()), frames);
}

class StopSignal : public testing::TestWithParam<int> {};

TEST_P(StopSignal, FinishesTheFileAndExits130) {
    TempDir dir;
    ChildProcess child;
    ASSERT_TRUE(start_long_run(dir, &child, ChildInput::null_device)) << child.output;
    ASSERT_EQ(kill(child.pid, GetParam()), 0);
    ProcessResult run = finish_process(&child);

    EXPECT_EQ(run.exit_status, 130) << run.output;
    EXPECT_TRUE(ends_complete(run.output)) << run.output;
    std::vector<long> progress = progress_numbers(run.output);
    int frames = counted_frames(dir.file("out.mov"));
    EXPECT_GE(frames, progress.empty() ? 1 : progress.back());
    EXPECT_LT(frames, 500);
    EXPECT_EQ(static_cast<int>(frame_hashes(dir.file("out.mov")).size()), frames);
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, StopSignal, testing::Values(SIGINT, SIGTERM),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT ? "Sigint" : "Sigterm");
                         });

// SIGTERM right after SIGINT: the second arrives while the first is still being honoured,
// so it ends the process before the file is finished, and the terminal is restored all the same.
TEST(KeyboardEndToEnd, SecondSignalEndsAtOnceAndRestoresTheTerminal) {
    TempDir dir;
    ChildProcess child;
    ASSERT_TRUE(start_long_run(dir, &child, ChildInput::terminal)) << child.output;
    ASSERT_EQ(kill(child.pid, SIGINT), 0);
    ASSERT_EQ(kill(child.pid, SIGTERM), 0);
    read_output_until(&child, [](const std::string&) { return false; });
    termios after{};
    ASSERT_EQ(tcgetattr(child.output_fd, &after), 0);
    ProcessResult run = finish_process(&child);

    EXPECT_EQ(run.exit_status, 130) << run.output;
    EXPECT_EQ(run.output.find("Complete"), std::string::npos) << run.output;
    EXPECT_TRUE(same_settings(new_terminal_settings(), after));
}

// Without a terminal nothing is polled: a 'q' waiting in a pipe that stays open neither
// stops the run nor makes it wait for more.
TEST(KeyboardEndToEnd, WithoutATerminalNothingIsRead) {
    TempDir dir;
    ASSERT_TRUE(make_pattern_clip(dir.file("in.mp4")));
    ChildProcess child;
    ASSERT_TRUE(
        start_process(&child, prolut_command({dir.file("in.mp4"), dir.file("out.mov")}), ChildInput::pipe));
    ASSERT_EQ(write(child.input_fd, "q", 1), 1);
    ProcessResult run = finish_process(&child);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(ends_complete(run.output)) << run.output;
    EXPECT_EQ(counted_frames(dir.file("out.mov")), 50);
}

}  // namespace
