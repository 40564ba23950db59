// The command line alone, for every count of arguments and every first byte a shell can pass,
// and the options before the positional arguments.
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

// Read as a signed char, bytes past 127 (the start of "é") are negative; a byte of 0 is the
// empty argument. The encoder, not the parser, refuses a profile; no curve has a negative mode.
TEST(CommandLine, ArgumentsInOrderAndTheFirstByteOfEach) {
    for (int byte = 0; byte < 256; ++byte) {
        const int value = static_cast<signed char>(byte) - '0';
        const std::string text = {static_cast<char>(byte), '7'};
        for (size_t count = 0; count <= 8; ++count) {
            SCOPED_TRACE("byte " + std::to_string(byte) + ", " + std::to_string(count) + " arguments");
            std::vector<std::string> arguments = {"in", "out", text, text, text, "c", "s", "x"};
            arguments.resize(count);
            const Parsed parsed = parse(arguments);
            const bool accepted = parsed.outcome == COMMAND_LINE_RUN;
            EXPECT_EQ(accepted, count >= 2 && count <= 7 && (count <= 4 || value >= 0));
            EXPECT_TRUE(accepted ? parsed.printed.empty()
                                 : parsed.printed.rfind("Usage: prolut input_file", 0) == 0);
            if (!accepted) continue;
            RunOptions o = parsed.options;
            apply_snapshot_override(&o);
            EXPECT_STREQ(o.input_path, "in");
            EXPECT_STREQ(o.output_path, count > 6 ? snapshot_output_path : "out");
            EXPECT_TRUE(o.profile == (count > 2 ? value : 0) &&
                        o.custom_conversion == (count > 3 && byte == 'y') &&
                        o.colour_mode == (count > 4 ? value : 0) && o.snapshot_enabled == (count > 6));
            EXPECT_STREQ(o.cube_path, count > 5 ? "c" : nullptr);
            EXPECT_STREQ(o.snapshot_path, count > 6 ? "s" : nullptr);
            EXPECT_FALSE(o.audio || o.timecode || o.precise);
        }
    }
}

// Options come before the input and end at the first argument that is not one, or at "--";
// an option after the input is an argument like any other. A question is answered whatever else
// is given; an unknown option is named and refused.
TEST(CommandLine, OptionsBeforeTheInput) {
    const std::string usage = "Usage: prolut input_file", guide = "colour_mode    with y: 0 house curve",
                      version = ", libavcodec " + std::to_string(LIBAVCODEC_VERSION_MAJOR) + ".";
    const CommandLineOutcome run = COMMAND_LINE_RUN, refused = COMMAND_LINE_REFUSED,
                             answered = COMMAND_LINE_ANSWERED;
    struct Case {
        std::vector<std::string> arguments;
        CommandLineOutcome outcome;
        // Run: the input and the options taken (a, t, p), the output being "out"; else a part of
        // standard output.
        std::string expected, reported = "";  // standard error
    };
    const Case cases[] = {
        {{"--audio", "--timecode", "--precise", "in", "out"}, run, "in atp"},
        {{"--precise", "--precise", "in", "out", "3", "y", "4"}, run, "in p"},
        {{"--", "--x", "out"}, run, "--x "},
        {{"--timecode", "--", "-x", "out"}, run, "-x t"},
        {{"-", "out"}, run, "- "},
        {{"in", "out", "--audio", "--precise"}, run, "in "},
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
        const RunOptions& o = parsed.options;
        if (c.outcome == run) {
            EXPECT_EQ(o.input_path + std::string(" ") + (o.audio ? "a" : "") + (o.timecode ? "t" : "") +
                          (o.precise ? "p" : ""),
                      c.expected);
            EXPECT_STREQ(o.output_path, "out");
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
