// The command line alone: how many arguments it takes, and what the first byte of each flag and
// digit argument gives, for every byte a shell can pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

// Parses arguments (argument 0 included), which the options point into; returns what was printed.
std::string parse(std::vector<std::string>& arguments, RunOptions* options, bool* accepted) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    *accepted = parse_run_options(static_cast<int>(arguments.size()), argv.data(), options);
    return testing::internal::GetCapturedStdout();
}

TEST(CommandLine, TwoToSevenArgumentsFillTheOptionsInOrder) {
    const std::vector<std::string> all = {"prolut", "in.mkv",     "out.mov",  "2",    "yes",
                                          "4th",    "grade.cube", "shot.rgb", "extra"};
    for (size_t count = 1; count <= all.size(); ++count) {
        SCOPED_TRACE(count);
        std::vector<std::string> arguments(all.begin(), all.begin() + count);
        RunOptions options;
        bool accepted = false;
        const std::string printed = parse(arguments, &options, &accepted);
        EXPECT_EQ(accepted, count >= 3 && count <= 8);
        EXPECT_EQ(printed.rfind("Usage: prolut input_file output_file", 0), accepted ? std::string::npos : 0);
        if (!accepted) continue;
        apply_snapshot_override(&options);
        EXPECT_STREQ(options.input_path, "in.mkv");
        EXPECT_STREQ(options.output_path, count > 7 ? snapshot_output_path : "out.mov");
        EXPECT_EQ(options.profile, count > 3 ? 2 : 0);
        EXPECT_EQ(options.custom_conversion, count > 4);
        EXPECT_EQ(options.colour_mode, count > 5 ? 4 : 0);
        EXPECT_STREQ(options.cube_path, count > 6 ? "grade.cube" : nullptr);
        EXPECT_EQ(options.snapshot_enabled, count > 7);
        EXPECT_STREQ(options.snapshot_path, count > 7 ? "shot.rgb" : nullptr);
    }
}

// Read as a signed char, bytes past 127 (the start of "é") are negative; a byte of 0 is the
// empty argument. The encoder, not the parser, refuses a profile.
TEST(CommandLine, FirstByteGivesProfileCustomRoadAndColourMode) {
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const int value = static_cast<signed char>(byte) - '0';
        const std::string text = {static_cast<char>(byte), '7'};
        std::vector<std::string> arguments = {"prolut", "in", "out", text, text, "0"};
        RunOptions options;
        bool accepted = false;
        EXPECT_EQ(parse(arguments, &options, &accepted), "");
        EXPECT_TRUE(accepted && options.profile == value && options.custom_conversion == (byte == 'y'));
        arguments = {"prolut", "in", "out", "0", "y", text};
        EXPECT_EQ(parse(arguments, &options, &accepted).empty(), value >= 0);
        EXPECT_EQ(accepted, value >= 0);
        EXPECT_EQ(accepted ? options.colour_mode : value, value);
    }
}

}  // namespace
