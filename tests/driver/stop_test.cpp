// Ending a run early: 'q' on a terminal, SIGINT and SIGTERM, a second signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <random>

#include "support.h"

namespace {

// Waits, 10 s at most, until nothing is left unread there (or, with some, until something is).
bool wait_unread(int fd, bool some) {
    int unread = -1;
    for (int i = 0; i < 5000; ++i, usleep(2000)) {
        if (ioctl(fd, FIONREAD, &unread) == 0 && (unread > 0) == some) return true;
    }
    return false;
}

// 13 y4m frames through a named pipe: after 10 come a few bytes of the 11th; once the program has
// taken them it is past the checks of its 11th turn, waiting in the read, and there the stop
// comes. Every frame handed to the encoder is kept; a second signal ends the process at once and
// gives the terminal back, and ends the status line, all the same. Without a terminal, standard
// input is that same pipe: reading it for keys would take pictures away.
TEST(Stop, KeyOrSignalAtAKnownFrame) {
    TempDir dir;
    const std::string fifo = dir.file("in.y4m"), out = dir.file("out.mov");
    ASSERT_TRUE(make_clip(dir.file("clip.y4m"), "testsrc2=size=64x48:rate=25", "-frames:v 13"));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string clip = slurp(dir.file("clip.y4m"));
    const size_t pause = clip.size() - 3 * (6 + 64 * 48 * 3 / 2);  // "FRAME\n" and a yuv420p picture
    // The signals, and where there is a terminal: 1 standard input and output, 2 standard error.
    const int stops[][3] = {
        {0, 0, 1}, {SIGINT, 0, 0}, {SIGTERM, 0, 1}, {SIGINT, SIGTERM, 1}, {SIGINT, SIGTERM, 2}};
    for (const auto& [stop, second, terminal] : stops) {
        SCOPED_TRACE("signals " + std::to_string(stop) + " " + std::to_string(second));
        std::filesystem::remove(out);
        Child child;
        // Opened for reading too, the pipe never waits for the program to open it.
        const int fd = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        bool paused = start(&child, {PROLUT_BINARY, fifo, out}, terminal, fifo) &&
                      write(fd, clip.data(), pause) == static_cast<ssize_t>(pause);
        while (paused && progress(child.output).size() < 10) paused = read_more(&child);
        paused = paused && write(fd, clip.data() + pause, 100) == 100 && wait_unread(fd, false);
        ASSERT_TRUE(paused) << child.output;
        if (stop != 0) {
            kill(child.pid, stop);
            if (second) kill(child.pid, second);
        } else {
            EXPECT_EQ(write(child.out, "q", 1), 1);
            // The terminal passes the key on in its own time; the program must find it there.
            const int key_side = open(ptsname(child.out), O_RDONLY | O_NOCTTY | O_CLOEXEC);
            EXPECT_TRUE(wait_unread(key_side, true)) << "keys are read one by one";
            close(key_side);
        }
        EXPECT_GT(write(fd, clip.data() + pause + 100, clip.size() - pause - 100), 0);
        close(fd);
        finish(&child);
        EXPECT_EQ(child.status, stop ? 130 : 0) << child.output;
        EXPECT_EQ(ends_complete(child.output), !second) << child.output;
        EXPECT_EQ(child.output.find('q'), std::string::npos) << "the key was echoed";
        termios given_back{};
        EXPECT_TRUE(terminal != 1 || (tcgetattr(child.out, &given_back) == 0 &&
                                      (given_back.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO)));
        EXPECT_TRUE(terminal != 2 ||
                    (child.errors.find(" fps ") != child.errors.npos && child.errors.back() == '\n'))
            << child.errors;
        EXPECT_EQ(decode(out).size(), second ? 0u : 11u * 64 * 48 * 4);
    }
}

// With --audio a picture stamped ten hours after the one before is shown again for the whole gap:
// a signal in the middle of those repeats still ends the run at once, with what was written kept.
TEST(Stop, WhileAPictureIsRepeated) {
    TempDir dir;
    const std::string out = dir.file("out.mov");
    ASSERT_TRUE(make_clip(dir.file("in.mkv"), "testsrc2=size=64x48:rate=25:duration=1",
                          "-f lavfi -i sine=duration=1 -vf setpts=PTS+if(gte(N\\,5)\\,36000/TB\\,0) "
                          "-fps_mode passthrough -c:v ffv1 -c:a pcm_s16le"));
    Child child;
    ASSERT_TRUE(start(&child, {PROLUT_BINARY, "--audio", dir.file("in.mkv"), out}));
    while (child.output.find("height=") == std::string::npos && read_more(&child)) continue;
    usleep(300000);  // the five pictures before the gap take a few milliseconds
    kill(child.pid, SIGINT);
    const time_t stopped = time(nullptr);
    finish(&child);
    EXPECT_LE(time(nullptr) - stopped, 5) << "the stop waited for the repeats";
    EXPECT_EQ(child.status, 130) << child.output;
    EXPECT_GT(decode(out).size() / (64 * 48 * 4), 5u) << child.output;
}

// Stops at random moments, from just after start-up until after the drain: never a signal death,
// and a file, where one is left, decodes and holds every frame reported written. With --audio
// (every other round) the sound ends with the last picture. Replay a failure with the seed it
// prints in PROLUT_STOP_SEED.
TEST(Stop, AtRandomMoments) {
    TempDir dir;
    ASSERT_TRUE(make_clip(dir.file("in.mkv"), "testsrc2=size=320x240:rate=25:duration=3",
                          "-f lavfi -i sine=duration=4 -c:v ffv1 -c:a aac"));
    const char* given = getenv("PROLUT_STOP_SEED");
    const unsigned seed = given ? unsigned(atol(given)) : unsigned(time(nullptr));
    SCOPED_TRACE("PROLUT_STOP_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    for (int round = 0; round < 6; ++round) {
        const std::string out = dir.file("out" + std::to_string(round) + ".mov");
        const bool terminal = round % 2, sound = round / 2 % 2 == 0;
        Child child;
        ASSERT_TRUE(
            start(&child, {PROLUT_BINARY, sound ? "--audio" : "--", dir.file("in.mkv"), out, "0"}, terminal));
        while (child.output.find("height=") == std::string::npos && read_more(&child)) continue;
        usleep(useconds_t(random() % 150000));  // the run takes about 0.1 s
        if (round % 3 == 2 && terminal) {
            EXPECT_EQ(write(child.out, "q", 1), 1);
        } else {
            kill(child.pid, round % 2 ? SIGTERM : SIGINT);
        }
        finish(&child);
        EXPECT_TRUE(child.signal == 0 && (child.status == 0 || child.status == 130)) << child.output;
        const std::vector<long> written = progress(child.output);
        const size_t frames = decode(out).size() / (320 * 240 * 4);
        EXPECT_GE(long(frames), written.empty() ? 0 : written.back()) << child.output;
        EXPECT_EQ(frames > 0, std::filesystem::exists(out)) << child.output;
        if (sound && frames > 0) {
            EXPECT_LE(sound_gap(out), 0.001);
        }
    }
}

}  // namespace
