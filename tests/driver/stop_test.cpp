// Ending a run early: 'q' on a terminal, SIGINT and SIGTERM, a second signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

#include "support.h"

namespace {

// Waits until the test's side has nothing left unread (or, with some, until something
// arrives); at most 10 s, as a hang guard.
bool wait_unread(int fd, bool some) {
    int unread = -1;
    for (int i = 0; i < 5000; ++i, usleep(2000)) {
        if (ioctl(fd, FIONREAD, &unread) == 0 && (unread > 0) == some) return true;
    }
    return false;
}

// Runs the program on 13 y4m frames fed through a named pipe, so that the test knows how far
// it has got. After 10 frames come a few bytes of the 11th; once the program has taken them it
// is past the checks of its 11th turn, waiting in the read. act() runs there; then the rest
// follows. Without a terminal, standard input is that same pipe: reading it for keys would
// take pictures away.
void feed_and_act(const TempDir& dir, Child* child, bool terminal, const std::function<void()>& act) {
    const std::string fifo = dir.file("in.y4m");
    ASSERT_TRUE(make_clip(dir.file("clip.y4m"), "testsrc2=size=64x48:rate=25", "-frames:v 13"));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string clip = slurp(dir.file("clip.y4m"));
    const size_t pause = clip.size() - 3 * (6 + 64 * 48 * 3 / 2);  // "FRAME\n" and a yuv420p picture
    // Opened for reading too, the pipe never waits for the program to open it.
    const int fd = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    bool paused = start(child, {PROLUT_BINARY, fifo, dir.file("out.mov")}, terminal, fifo) &&
                  write(fd, clip.data(), pause) == static_cast<ssize_t>(pause);
    while (paused && progress(child->output).size() < 10) paused = read_more(child);
    paused = paused && write(fd, clip.data() + pause, 100) == 100 && wait_unread(fd, false);
    EXPECT_TRUE(paused) << child->output;
    if (paused) act();
    EXPECT_GT(write(fd, clip.data() + pause + 100, clip.size() - pause - 100), 0);
    close(fd);
    finish(child);
}

bool terminal_given_back(const Child& child) {
    termios settings{};
    return tcgetattr(child.out, &settings) == 0 && (settings.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

TEST(Stop, QOnATerminalEndsTheRunAndGivesTheTerminalBack) {
    TempDir dir;
    Child child;
    feed_and_act(dir, &child, true, [&] {
        EXPECT_EQ(write(child.out, "q", 1), 1);
        // The terminal passes the key on in its own time; the program must find it there.
        const int terminal = open(ptsname(child.out), O_RDONLY | O_NOCTTY | O_CLOEXEC);
        EXPECT_TRUE(wait_unread(terminal, true)) << "keys are read one by one";
        close(terminal);
    });
    EXPECT_EQ(child.status, 0) << child.output;
    EXPECT_TRUE(ends_complete(child.output)) << child.output;
    EXPECT_EQ(child.output.find('q'), std::string::npos) << "the key was echoed";
    EXPECT_TRUE(terminal_given_back(child));
    EXPECT_EQ(decode(dir.file("out.mov")).size(), 11u * 64 * 48 * 4);
}

// A stop signal keeps every frame handed to the encoder and finishes the file.
TEST(Stop, SignalFinishesTheFileAndExits130) {
    for (int stop : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(stop);
        TempDir dir;
        Child child;
        feed_and_act(dir, &child, false, [&] { kill(child.pid, stop); });
        EXPECT_EQ(child.status, 130) << child.output;
        EXPECT_TRUE(ends_complete(child.output)) << child.output;
        EXPECT_EQ(decode(dir.file("out.mov")).size(), 11u * 64 * 48 * 4);
    }
}

// The second signal comes while the first is being honoured: it ends the process at once,
// before the file is finished, and gives the terminal back all the same.
TEST(Stop, SecondSignalEndsAtOnceAndGivesTheTerminalBack) {
    TempDir dir;
    Child child;
    feed_and_act(dir, &child, true, [&] { kill(child.pid, SIGINT), kill(child.pid, SIGTERM); });
    EXPECT_EQ(child.status, 130) << child.output;
    EXPECT_EQ(child.output.find("Complete"), std::string::npos) << child.output;
    EXPECT_TRUE(terminal_given_back(child));
}

}  // namespace
