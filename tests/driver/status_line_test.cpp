// The status line: only on a terminal on standard error, never in the way of a line of output.
#include "driver/status_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "support.h"

namespace {

TEST(StatusLine, Figures) {
    const std::pair<StatusFigures, std::string> cases[] = {
        {{480, 1440, true, 8.9, 60, false}, "frame 480/~1440  53.9 fps  speed 0.90x  0:08 spent  0:18 left"},
        {{1500, 1440, true, 30, 50, false}, "frame 1500/~1440  50.0 fps  speed 1.00x  0:30 spent"},
        {{90000, 270000, false, 3600, 25, false},
         "frame 90000/270000  25.0 fps  speed 1.00x  1:00:00 spent  2:00:00 left"}};
    char text[128];
    for (const auto& [figures, expected] : cases) {
        EXPECT_EQ(format_status_line(text, sizeof text, figures), int(expected.size()));
        EXPECT_EQ(text, expected);
    }
    EXPECT_EQ(format_status_line(text, 10, cases[0].first), 9);
}

// The status lines on the screen a terminal makes of these bytes (a carriage return goes back to
// the start of the line, ESC [ K clears to its end, other ESC [ sequences show nothing); each
// stands alone on its line. The other lines go to *console.
std::vector<std::string> status_lines(const std::string& bytes, std::string* console) {
    std::vector<std::string> lines(1), found;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes.compare(i, 2, "\033[") == 0) {
            i = std::min(bytes.find_first_of("ABCDEFGHJKSTfmnsu", i), bytes.size() - 1);
            if (bytes[i] == 'K') lines.back().resize(column);
        } else if (bytes[i] == '\r' || bytes[i] == '\n') {
            column = 0;
            if (bytes[i] == '\n') lines.emplace_back();
        } else {
            lines.back().resize(std::max(lines.back().size(), column + 1));
            lines.back()[column++] = bytes[i];
        }
    }
    static const std::regex status(
        "frame \\d+(/~?\\d+)?  \\d+\\.\\d fps  speed \\d+\\.\\d\\dx  \\d+:\\d\\d spent(  .* left)?");
    for (const std::string& line : lines) {
        if (line.find(" fps ") == std::string::npos) {
            *console += line + "\n";
        } else {
            EXPECT_TRUE(std::regex_match(line, status)) << line;
            found.push_back(line);
        }
    }
    return found;
}

// Without the progress lines that the encoder's threads make at their own pace: the repeats of a
// number while no packet comes (a library's message may stand between them), 0 before the first.
std::string squeezed(const std::string& console) {
    std::string kept, line, last;
    for (std::istringstream lines(console); std::getline(lines, line);) {
        const bool number = line.rfind(" frame ", 0) == 0;
        if (!number || (line != last && line != " frame 0")) kept += line + "\n";
        if (number) last = line;
    }
    return kept;
}

// On a terminal of its own the line is drawn with the first picture, rewritten in place, and ends
// with the final figures and a line feed; standard output, a pipe, is what it is without it. On
// the terminal that standard output shares, the error and FFmpeg's messages about a damaged
// picture, every progress line and "Complete" stand on lines of their own. With standard error
// not a terminal, even with standard output one, nothing of it appears. A message of our own, too,
// stands on its own line.
TEST(StatusLine, OnlyOnATerminalAndNeverInTheWay) {
    TempDir dir;
    const std::string source = "testsrc2=size=64x48:rate=25:duration=1", out = dir.file("out.mov");
    ASSERT_TRUE(make_clip(dir.file("in.mov"), source) && make_clip(dir.file("in.mkv"), source) &&
                make_clip(dir.file("in.h264"), source, "-g 1 -bf 0"));
    std::string data = slurp(dir.file("in.h264")), start_code("\0\0\1", 3);
    size_t at = 0;  // the slice of the 20th picture: all but its first bytes flipped
    for (int pictures = 0; pictures < 20 && at != std::string::npos;)
        if ((at = data.find(start_code, at)) != std::string::npos && (data[at += 3] & 0x1F) == 5) ++pictures;
    ASSERT_NE(at, std::string::npos);
    for (size_t i = at + 3; i < std::min(data.find(start_code, at), data.size()); ++i) data[i] ^= '\xA5';
    std::ofstream(dir.file("in.h264"), std::ios::binary) << data;
    for (const auto& [name, total] : {std::pair{"in.mov", "/25 "}, {"in.mkv", "/~25 "}, {"in.h264", "  "}}) {
        SCOPED_TRACE(name);
        const std::string input = dir.file(name), final_figures = "frame 25" + std::string(total);
        const bool damaged = name == std::string("in.h264");  // where its error comes depends on threads
        Child plain = prolut({input, out}), alone = prolut({input, out}, "", "/dev/null", TERMINAL_ERR);
        std::string console;
        std::vector<std::string> drawn = status_lines(alone.errors, &console);
        EXPECT_TRUE(damaged || squeezed(alone.output) == squeezed(plain.output)) << alone.output;
        EXPECT_TRUE(damaged ||
                    (drawn.size() == 1 && alone.errors.find("\r\033[Kframe ") != std::string::npos));
        ASSERT_FALSE(drawn.empty()) << alone.errors;
        EXPECT_EQ(drawn.back().rfind(damaged ? "frame 19  " : final_figures, 0), 0u) << alone.errors;
        EXPECT_NE(alone.errors.find(drawn.back() + "\n"), std::string::npos) << alone.errors;

        const Child shared = prolut({input, out}, "", "", TERMINAL_IN_OUT | TERMINAL_ERR);
        console.clear();
        drawn = status_lines(shared.output, &console);
        EXPECT_EQ(progress(squeezed(console)), progress(squeezed(plain.output))) << shared.output;
        ASSERT_FALSE(drawn.empty()) << shared.output;
        EXPECT_EQ(drawn.back().rfind(damaged ? "frame 19  " : final_figures, 0), 0u) << shared.output;
        EXPECT_EQ(console.substr(console.size() - std::min<size_t>(12, console.size())), "\n\nComplete\n\n");
        EXPECT_EQ(damaged, console.find("\nError decoding video frame\n") != std::string::npos) << console;
        EXPECT_EQ(damaged, shared.output.find("[h264 @ ", shared.output.find(" fps ")) != std::string::npos);

        const Child redirected = prolut({input, out}, "", "", TERMINAL_IN_OUT | ERRORS_PIPED);
        EXPECT_TRUE(damaged || squeezed(redirected.output) == squeezed(plain.output)) << redirected.output;
        for (const std::string& errors : {plain.errors, redirected.errors})
            EXPECT_TRUE(errors.find('\r') == std::string::npos &&
                        errors.find(" fps  speed") == std::string::npos);
    }
    // A message while the line is shown (no scaler to log first: RGB is widened by hand).
    ASSERT_TRUE(make_clip(dir.file("rgb.mkv"), source + ",format=gbrp", "-c:v ffv1"));
    const Child snapshot = prolut({dir.file("rgb.mkv"), out, "0", "n", "0", "", "no/shot.png"}, dir.path, "",
                                  TERMINAL_IN_OUT | TERMINAL_ERR);
    std::string console;
    status_lines(snapshot.output, &console);
    EXPECT_NE(console.find("\nError, could not open snapshot file no/shot.png\n"), std::string::npos)
        << console;
}

}  // namespace
