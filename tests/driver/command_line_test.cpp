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
    RunOptions options;
    std::string printed, reported;  // standard output, standard error
    std::string input, output;      // copied: the options point into the arguments
};

Parsed parse(std::vector<std::string> arguments) {
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
    if (parsed.outcome == COMMAND_LINE_RUN) {
        parsed.input = parsed.options.input_path;
        parsed.output = parsed.options.output_path;
    }
    return parsed;
}

// Read as a signed char, bytes past 127 (the start of "é") are negative; a byte of 0 is the
// empty argument. The encoder, not the parser, refuses a profile; no curve has a negative mode.
TEST(CommandLine, ArgumentsInOrderAndTheFirstByteOfEach) {
    for (int byte = 0; byte < 256; ++byte) {
        const int value = static_cast<signed char>(byte) - '0';
        const std::string text = {static_cast<char>(byte), '7'};
        for (size_t count = 1; count <= 9; ++count) {
            SCOPED_TRACE("byte " + std::to_string(byte) + ", " + std::to_string(count) + " arguments");
            std::vector<std::string> arguments = {"prolut", "in", "out", text, text, text, "c", "s", "x"};
            std::vector<char*> argv;
            for (size_t a = 0; a < count; ++a) argv.push_back(&arguments[a][0]);
            argv.push_back(nullptr);
            RunOptions o;
            testing::internal::CaptureStdout();
            const bool accepted =
                parse_run_options(static_cast<int>(count), argv.data(), &o) == COMMAND_LINE_RUN;
            const std::string printed = testing::internal::GetCapturedStdout();
            EXPECT_EQ(accepted, count >= 3 && count <= 8 && (count <= 5 || value >= 0));
            EXPECT_TRUE(accepted ? printed.empty() : printed.rfind("Usage: prolut input_file", 0) == 0);
            if (!accepted) continue;
            apply_snapshot_override(&o);
            EXPECT_STREQ(o.input_path, "in");
            EXPECT_STREQ(o.output_path, count > 7 ? snapshot_output_path : "out");
            EXPECT_TRUE(o.profile == (count > 3 ? value : 0) &&
                        o.custom_conversion == (count > 4 && byte == 'y') &&
                        o.colour_mode == (count > 5 ? value : 0) && o.snapshot_enabled == (count > 7));
            EXPECT_STREQ(o.cube_path, count > 6 ? "c" : nullptr);
            EXPECT_STREQ(o.snapshot_path, count > 7 ? "s" : nullptr);
            EXPECT_FALSE(o.audio || o.timecode || o.precise);
        }
    }
}

// Options come before the input and end at the first argument that is not one, or at "--";
// a question is answered whatever else is given; an unknown option is named and refused.
TEST(CommandLine, OptionsBeforeTheInput) {
    struct Case {
        std::vector<std::string> arguments;
        CommandLineOutcome outcome;
        const char* input;  // when run: the input, and the output is "out"
        bool audio, timecode, precise;
        const char* reported;  // standard error
    };
    const Case cases[] = {
        {{"--audio", "--timecode", "--precise", "in", "out"}, COMMAND_LINE_RUN, "in", true, true, true, ""},
        {{"--precise", "--precise", "in", "out", "3", "y", "4"}, COMMAND_LINE_RUN, "in", false, false, true, ""},
        {{"--", "--x", "out"}, COMMAND_LINE_RUN, "--x", false, false, false, ""},
        {{"--timecode", "--", "-x", "out"}, COMMAND_LINE_RUN, "-x", false, true, false, ""},
        {{"-", "out"}, COMMAND_LINE_RUN, "-", false, false, false, ""},
        {{"--bogus", "in", "out"}, COMMAND_LINE_REFUSED, nullptr, false, false, false,
         "prolut: unknown option '--bogus'\n"},
        {{"--audio", "-x", "in", "out"}, COMMAND_LINE_REFUSED, nullptr, false, false, false,
         "prolut: unknown option '-x'\n"},
        {{"--audio=1", "--also-bad", "in", "out"}, COMMAND_LINE_REFUSED, nullptr, false, false, false,
         "prolut: unknown option '--audio=1'\n"},
        {{"--audio", "in"}, COMMAND_LINE_REFUSED, nullptr, false, false, false, ""},
        {{"--audio", "--", "--help"}, COMMAND_LINE_REFUSED, nullptr, false, false, false, ""},
        {{"--bogus", "--audio", "-hx", "in"}, COMMAND_LINE_ANSWERED, nullptr, false, false, false, ""},
        {{"--version", "--help", "a", "b", "c", "d", "e", "f", "g", "h"}, COMMAND_LINE_ANSWERED, nullptr, false,
         false, false, ""},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& argument : c.arguments) joined += argument + " ";
        SCOPED_TRACE(joined);
        const Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.outcome, c.outcome);
        EXPECT_EQ(parsed.reported, c.reported);
        if (c.outcome == COMMAND_LINE_REFUSED) {
            EXPECT_EQ(parsed.printed.rfind("Usage: prolut input_file", 0), 0u);
        }
        if (c.outcome == COMMAND_LINE_ANSWERED) {
            const bool version = c.arguments[0] == "--version";
            EXPECT_EQ(parsed.printed.rfind(version ? "prolut 0." : "Usage: prolut input_file", 0), 0u);
        }
        if (c.outcome != COMMAND_LINE_RUN) continue;
        EXPECT_TRUE(parsed.printed.empty()) << parsed.printed;
        EXPECT_EQ(parsed.input, c.input);
        EXPECT_EQ(parsed.output, "out");
        EXPECT_EQ(parsed.options.audio, c.audio);
        EXPECT_EQ(parsed.options.timecode, c.timecode);
        EXPECT_EQ(parsed.options.precise, c.precise);
    }
    // An option after the input is an argument like any other.
    std::vector<std::string> arguments = {"prolut", "in", "--audio", "--precise"};
    std::vector<char*> argv = {&arguments[0][0], &arguments[1][0], &arguments[2][0], &arguments[3][0], nullptr};
    RunOptions o;
    ASSERT_EQ(parse_run_options(4, argv.data(), &o), COMMAND_LINE_RUN);
    EXPECT_STREQ(o.input_path, "in");
    EXPECT_STREQ(o.output_path, "--audio");
    EXPECT_FALSE(o.audio || o.precise);
    EXPECT_STREQ(o.input_path, argv[1]);
}

// The questions a user may ask are answered with success; an unknown option fails before any
// file is touched. The versions are those of the libraries the program runs with.
TEST(CommandLine, HelpVersionAndUnknownOptionsEndToEnd) {
    TempDir dir;
    const std::string out = dir.file("out.mov");
    const std::vector<std::vector<std::string>> runs = {
        {"--help"}, {"-h"}, {"--version"}, {"--bogus"}, {"-help"}, {"--audio", "-q", "/dev/null", out},
        {"--timecode", "--version", "--audio", "x"}};
    for (const std::vector<std::string>& arguments : runs) {
        SCOPED_TRACE(arguments[0] + " " + std::to_string(arguments.size()));
        std::string errors;
        const Child run = prolut(arguments, &errors);
        // "-help" is -h with three more letters: a question, answered.
        const bool help = arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "-help";
        const bool version = arguments.size() > 1 ? arguments[1] == "--version" : arguments[0] == "--version";
        EXPECT_EQ(run.status, help || version ? 0 : 1);
        EXPECT_EQ(
            run.output.rfind(version ? "prolut 0." : "Usage: " PROLUT_BINARY " input_file output_file", 0),
            0u)
            << run.output;
        EXPECT_EQ(run.output.find("colour_mode    with y: 0 house curve") != std::string::npos, help);
        EXPECT_EQ(run.output.find(", libavcodec " + std::to_string(LIBAVCODEC_VERSION_MAJOR) + ".") !=
                      std::string::npos,
                  version)
            << run.output;
        if (!help && !version) {
            EXPECT_NE(errors.find("prolut: unknown option '-"), std::string::npos) << errors;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
