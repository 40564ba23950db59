// The status line: only on a terminal on standard error, never in the way of a line of output.
#include "driver/status_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "support.h"

namespace {

TEST(StatusLine, Figures) {
    const struct {
        StatusFigures figures;
        const char* text;
    } cases[] = {
        {{480, 1440, false, 8.0, 25, false}, "frame 480/1440  60.0 fps  speed 2.40x  0:08 spent  0:16 left"},
        {{480, 1440, true, 8.9, 60, false}, "frame 480/~1440  53.9 fps  speed 0.90x  0:08 spent  0:18 left"},
        {{1500, 1440, true, 30, 50, false}, "frame 1500/~1440  50.0 fps  speed 1.00x  0:30 spent"},
        {{7, 0, false, 2, 25, false}, "frame 7  3.5 fps  speed 0.14x  0:02 spent"},
        {{90000, 270000, false, 3600, 25, false},
         "frame 90000/270000  25.0 fps  speed 1.00x  1:00:00 spent  2:00:00 left"},
        {{100, 200, false, 4, 25, true}, "frame 100/200  25.0 fps  speed 1.00x  0:04 spent"},
        {{0, 200, false, 0, 25, false}, "frame 0/200  0.0 fps  speed 0.00x  0:00 spent"},
    };
    char text[128];
    for (const auto& c : cases) {
        EXPECT_EQ(format_status_line(text, sizeof text, c.figures), int(strlen(c.text)));
        EXPECT_STREQ(text, c.text);
    }
    EXPECT_EQ(format_status_line(text, 10, cases[0].figures), 9);
    EXPECT_STREQ(text, "frame 480");
}

// What a terminal shows of these bytes: a carriage return goes back to the start of the line,
// ESC [ K clears to its end, characters overwrite.
std::vector<std::string> screen(const std::string& bytes) {
    std::vector<std::string> lines(1);
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string& line = lines.back();
        if (bytes.compare(i, 3, "\033[K") == 0) {
            line.resize(column), i += 2;
        } else if (bytes[i] == '\r' || bytes[i] == '\n') {
            column = 0;
            if (bytes[i] == '\n') lines.emplace_back();
        } else {
            line.resize(std::max(line.size(), column + 1));
            line[column++] = bytes[i];
        }
    }
    return lines;
}

// Without the progress lines that the encoder's threads make at their own pace: the repeats of a
// number while no packet comes, 0 before the first.
std::string squeezed(const std::string& console) {
    std::string kept, line, last;
    for (std::istringstream lines(console); std::getline(lines, line); last = line)
        if (line.rfind(" frame ", 0) != 0 || (line != last && line != " frame 0")) kept += line + "\n";
    return kept;
}

const std::regex status_line(
    "frame \\d+(/~?\\d+)?  \\d+\\.\\d fps  speed \\d+\\.\\d\\dx  \\d+:\\d\\d spent(  .* left)?");

// On a terminal of its own the line is drawn with the first picture, rewritten in place and
// ended with the final figures; standard output, a pipe, is what it is without it. On the
// terminal that standard output shares, every progress line and "Complete" stand on lines of their
// own. With standard error a file, even with standard output a terminal, nothing of it appears.
TEST(StatusLine, OnlyOnATerminalAndNeverInTheWay) {
    TempDir dir;
    const std::string out = dir.file("out.mov");
    for (const std::string name : {"in.mov", "in.mkv"}) {  // a counted total, an estimated one
        SCOPED_TRACE(name);
        const std::string input = dir.file(name);
        ASSERT_TRUE(make_clip(input, "testsrc2=size=64x48:rate=25:duration=1"));
        const std::string total = name == "in.mov" ? "25" : "~25";
        Child plain = prolut({input, out});
        ASSERT_TRUE(plain.status == 0 && ends_complete(plain.output)) << plain.output;

        Child alone;
        ASSERT_TRUE(start(&alone, {PROLUT_BINARY, input, out}, TERMINAL_ERR));
        finish(&alone);
        EXPECT_EQ(alone.status, 0);
        EXPECT_EQ(squeezed(alone.output), squeezed(plain.output));
        const size_t first = alone.errors.find("frame ");
        ASSERT_NE(first, std::string::npos) << alone.errors;
        const std::string drawn = alone.errors.substr(first);
        EXPECT_NE(drawn.find("\r\033[Kframe "), std::string::npos) << "rewritten in place: " << drawn;
        const std::vector<std::string> shown = screen(drawn);  // every line drawn over the first
        EXPECT_TRUE(std::regex_match(shown[0], status_line)) << drawn;
        EXPECT_EQ(shown[0].rfind("frame 25/" + total + " ", 0), 0u) << drawn;
        EXPECT_EQ(drawn.back(), '\n');
        for (size_t i = 1; i < shown.size(); ++i)
            EXPECT_EQ(shown[i].find(" fps "), std::string::npos) << drawn;

        Child shared;
        ASSERT_TRUE(start(&shared, {PROLUT_BINARY, input, out}, TERMINAL_IN_OUT | TERMINAL_ERR));
        finish(&shared);
        EXPECT_EQ(shared.status, 0);
        const std::vector<std::string> lines = screen(shared.output);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
                  (std::vector<std::string>{"", "Complete", ""}));
        std::string progress_lines, last_status;
        for (const std::string& line : lines) {
            if (line.find(" fps ") != std::string::npos) {
                EXPECT_TRUE(std::regex_match(line, status_line)) << line;
                last_status = line;
            } else if (line.rfind(" frame ", 0) == 0) {
                progress_lines += "\n" + line;
            }
        }
        EXPECT_EQ(progress(squeezed(progress_lines + "\n")), progress(squeezed(plain.output)))
            << shared.output;
        EXPECT_EQ(last_status.rfind("frame 25/" + total + " ", 0), 0u) << shared.output;

        Child redirected;
        ASSERT_TRUE(start(
            &redirected,
            {"sh", "-c", "exec \"$0\" \"$1\" \"$2\" 2>\"$3\"", PROLUT_BINARY, input, out, dir.file("errors")},
            TERMINAL_IN_OUT));
        finish(&redirected);
        EXPECT_EQ(squeezed(redirected.output), squeezed(plain.output));
        const std::string errors = slurp(dir.file("errors"));
        EXPECT_TRUE(errors.find(" fps ") == std::string::npos && errors.find('\r') == std::string::npos)
            << errors;
    }
}

// A damaged picture late in the input: FFmpeg's messages about it on standard error and the error
// on standard output each stand on a line of their own.
TEST(StatusLine, MessagesStandOnLinesOfTheirOwn) {
    TempDir dir;
    const std::string input = dir.file("in.h264"), start_code("\0\0\1", 3);
    ASSERT_TRUE(make_clip(input, "testsrc2=size=64x48:rate=25:duration=1", "-g 1 -bf 0"));
    std::string data = slurp(input);
    size_t at = 0;  // the slice of the 20th picture: all but its first bytes flipped
    for (int pictures = 0; pictures < 20 && at != std::string::npos;)
        if ((at = data.find(start_code, at)) != std::string::npos && (data[at += 3] & 0x1F) == 5) ++pictures;
    ASSERT_NE(at, std::string::npos);
    for (size_t i = at + 3; i < std::min(data.find(start_code, at), data.size()); ++i) data[i] ^= '\xA5';
    std::ofstream(input, std::ios::binary) << data;
    Child run;
    ASSERT_TRUE(start(&run, {PROLUT_BINARY, input, dir.file("out.mov")}, TERMINAL_IN_OUT | TERMINAL_ERR));
    finish(&run);
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = screen(run.output);
    bool drawn = false, logged = false, reported = false;
    for (const std::string& line : lines) {
        if (line.find(" fps ") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(line, status_line)) << line;
            drawn = true;
        }
        logged = logged || (drawn && line.find("[h264 @ ") != std::string::npos);
        reported = reported || line == "Error decoding video frame";
    }
    EXPECT_TRUE(logged && reported) << run.output;
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"", "Complete", ""}));
}

// A second signal ends the process at once, in the middle of a read that waits for more input:
// the line is ended all the same.
TEST(StatusLine, EndedBeforeASecondSignalEndsTheProcess) {
    TempDir dir;
    const std::string fifo = dir.file("in.y4m");
    ASSERT_TRUE(make_clip(dir.file("clip.y4m"), "testsrc2=size=64x48:rate=25", "-frames:v 13"));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string clip = slurp(dir.file("clip.y4m"));
    const int fd = open(fifo.c_str(), O_RDWR | O_CLOEXEC);  // never waits for the program to open it
    Child child;
    ASSERT_TRUE(start(&child, {PROLUT_BINARY, fifo, dir.file("out.mov")}, TERMINAL_ERR) &&
                write(fd, clip.data(), clip.size() - 100) == ssize_t(clip.size() - 100));
    while (child.errors.find(" fps ") == std::string::npos && read_more(&child)) continue;
    kill(child.pid, SIGINT);
    kill(child.pid, SIGTERM);
    finish(&child);
    close(fd);
    EXPECT_EQ(child.status, 130);
    EXPECT_TRUE(!child.errors.empty() && child.errors.back() == '\n') << child.errors;
}

}  // namespace
