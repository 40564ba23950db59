// The command line: the positional arguments, the options before them, and the exit statuses
// they lead to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"
#include "support.h"

namespace {

struct Parsed {
    CommandLineOutcome outcome;
    RunOptions options;             // pointing into the arguments
    std::string printed, reported;  // standard output, standard error
};

// The arguments get the program's name in front and must outlive the options.
Parsed parse(std::vector<std::string>& arguments) {
    arguments.insert(arguments.begin(), "prolut");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    Parsed parsed{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.outcome = parse_run_options(static_cast<int>(arguments.size()), argv.data(), &parsed.options);
    parsed.reported = testing::internal::GetCapturedStderr();
    parsed.printed = testing::internal::GetCapturedStdout();
    return parsed;
}

// The positional arguments in order: only the first byte of profile, custom and colour mode
// counts, read as a signed char, so that bytes past 127 (the start of "é") are negative and an
// empty argument is -48. The encoder, not the parser, refuses a profile; no curve has a negative
// mode. Options come before the input and end at the first argument that is not one, or at "--";
// an option after the input is an argument like any other. A question is answered whatever else
// is given; an unknown option is named and refused.
TEST(CommandLine, ArgumentsInOrderAndOptionsBeforeThem) {
    const std::string usage = "Usage: prolut input_file", guide = "colour_mode    with y: 0 house curve",
                      version = ", libavcodec " + std::to_string(LIBAVCODEC_VERSION_MAJOR) + ".";
    const CommandLineOutcome run = COMMAND_LINE_RUN, refused = COMMAND_LINE_REFUSED,
                             answered = COMMAND_LINE_ANSWERED;
    struct Case {
        std::vector<std::string> arguments;
        CommandLineOutcome outcome;
        // Run: input, output (with the snapshot's in its place), profile, custom, colour mode, cube
        // and snapshot (- for none) and the options taken (a, t, p); else a part of standard output.
        std::string expected, reported = "";  // standard error
    };
    const Case cases[] = {
        {{"in", "out"}, run, "in out 0 n 0 - - "},
        {{"in", "out", "3HQ", "yes", "1", "c", "s"}, run, "in file:D:\\temp.mov 3 y 1 c s "},
        {{"in", "out", "", "Y", "97", ""}, run, "in out -48 n 9  - "},
        {{"in", "out", "é", "y", "0"}, run, "in out -109 y 0 - - "},
        {{"--audio", "--timecode", "--precise", "in", "out"}, run, "in out 0 n 0 - - atp"},
        {{"--precise", "--precise", "in", "out", "3", "y", "4"}, run, "in out 3 y 4 - - p"},
        {{"--", "--x", "out"}, run, "--x out 0 n 0 - - "},
        {{"--timecode", "--", "-x", "out"}, run, "-x out 0 n 0 - - t"},
        {{"-", "out"}, run, "- out 0 n 0 - - "},
        {{"in", "out", "--audio", "--precise"}, run, "in out -3 n 0 - - "},
        {{"in", "out", "0", "y", "é"},
         refused,
         usage,
         "prolut: colour mode 'é' is not a digit from 0 to 9\n"},
        {{"in", "out", "0", "y", "1", "c", "s", "x"}, refused, usage},
        {{"--bogus", "in", "out"}, refused, usage, "prolut: unknown option '--bogus'\n"},
        {{"--audio", "-x", "in", "out"}, refused, usage, "prolut: unknown option '-x'\n"},
        {{"--audio=1", "--also-bad", "in", "out"}, refused, usage, "prolut: unknown option '--audio=1'\n"},
        {{"--audio", "in"}, refused, usage},
        {{"--audio", "--", "--help"}, refused, usage},
        {{"--bogus", "--audio", "-hx", "in"}, answered, guide},
        {{"-help"}, answered, guide},  // -h and three more letters
        {{"--version", "--help", "a", "b", "c", "d", "e", "f", "g", "h"}, answered, version},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        const Parsed parsed = parse(arguments);
        SCOPED_TRACE(arguments[1] + " " + std::to_string(arguments.size()));
        EXPECT_EQ(parsed.outcome, c.outcome);
        EXPECT_EQ(parsed.reported, c.reported);
        RunOptions o = parsed.options;
        apply_snapshot_override(&o);
        if (c.outcome == run) {
            EXPECT_EQ(o.input_path + (" " + std::string(o.output_path)) + " " + std::to_string(o.profile) +
                          (o.custom_conversion ? " y " : " n ") + std::to_string(o.colour_mode) + " " +
                          (o.cube_path ? o.cube_path : "-") + " " +
                          (o.snapshot_enabled ? o.snapshot_path : "-") + " " + (o.audio ? "a" : "") +
                          (o.timecode ? "t" : "") + (o.precise ? "p" : ""),
                      c.expected);
        }
        EXPECT_TRUE(c.outcome == run ? parsed.printed.empty()
                                     : parsed.printed.find(c.expected) != c.expected.npos)
            << parsed.printed;
    }
}

// A question ends the run with success, an unknown option with status 1 before any file is
// touched; the usage names the program as it was called.
TEST(CommandLine, ExitStatusesEndToEnd) {
    TempDir dir;
    const std::string out = dir.file("out.mov");
    const std::vector<std::string> runs[] = {
        {"-h"}, {"--timecode", "--version", "--audio", "x"}, {"--audio", "-q", "/dev/null", out}};
    for (int r = 0; r < 3; ++r) {
        const Child run = prolut(runs[r]);
        EXPECT_EQ(run.status, r == 2 ? 1 : 0) << runs[r][0];
        EXPECT_EQ(run.output.rfind(r == 1 ? "prolut 0." : "Usage: " PROLUT_BINARY " input_file", 0), 0u)
            << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
