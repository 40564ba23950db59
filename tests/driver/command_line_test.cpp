#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "end_to_end.h"

namespace {

struct Parsed {
    std::vector<std::string> arguments;  // owns what options points into
    bool accepted;
    RunOptions options;
    std::string console;
};

Parsed parse(std::vector<std::string> arguments) {
    Parsed parsed{std::move(arguments), false, RunOptions{}, ""};
    std::vector<char*> argv;
    for (std::string& argument : parsed.arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    parsed.accepted =
        parse_run_options(static_cast<int>(parsed.arguments.size()), argv.data(), &parsed.options);
    fflush(stdout);
    parsed.console = testing::internal::GetCapturedStdout();
    return parsed;
}

bool shows_usage(const std::string& console) {
    return console.rfind("Usage: prolut input_file output_file cubefile", 0) == 0 &&
           std::count(console.begin(), console.end(), '\n') == 6;
}

TEST(ParseRunOptions, OnlyTwoToSevenArgumentsAreAccepted) {
    const std::vector<std::string> all = {"prolut", "in.mov",     "out.mov",  "3", "n",
                                          "0",      "grade.cube", "shot.rgb", "x"};
    for (size_t count = 1; count <= all.size(); ++count) {
        Parsed parsed = parse(std::vector<std::string>(all.begin(), all.begin() + count));
        bool expected = count >= 3 && count <= 8;
        EXPECT_EQ(parsed.accepted, expected) << "argument count " << count;
        EXPECT_EQ(shows_usage(parsed.console), !expected) << "argument count " << count << ":\n"
                                                          << parsed.console;
    }
}

TEST(ParseRunOptions, TwoArgumentsGiveTheDefaults) {
    Parsed parsed = parse({"prolut", "in.mp4", "out.mov"});
    ASSERT_TRUE(parsed.accepted);
    EXPECT_STREQ(parsed.options.input_path, "in.mp4");
    EXPECT_EQ(parsed.options.profile, 0);
    EXPECT_FALSE(parsed.options.custom_conversion);
    EXPECT_EQ(parsed.options.colour_mode, 0);
    EXPECT_EQ(parsed.options.cube_path, nullptr);
    EXPECT_FALSE(parsed.options.snapshot_enabled);
    apply_snapshot_override(&parsed.options);
    EXPECT_STREQ(parsed.options.output_path, "out.mov");
}

TEST(ParseRunOptions, NumbersAreTheFirstCharactersDigitValue) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"3", 3}, {"3x", 3}, {"12", 1}, {"a", 49}, {"9", 9}, {"0", 0}};
    for (const auto& c : cases) {
        Parsed parsed = parse({"prolut", "in", "out", c.text, "n", c.text});
        ASSERT_TRUE(parsed.accepted) << c.text;
        EXPECT_EQ(parsed.options.profile, c.value) << c.text;
        EXPECT_EQ(parsed.options.colour_mode, c.value) << c.text;
    }
    // No curve has a row below mode 0: '/' is -1 and an empty argument -48.
    for (const char* mode : {"/", ""}) {
        Parsed parsed = parse({"prolut", "in", "out", "2", "y", mode});
        EXPECT_FALSE(parsed.accepted) << '"' << mode << '"';
        EXPECT_TRUE(shows_usage(parsed.console)) << parsed.console;
    }
}

TEST(ParseRunOptions, OnlyALowerCaseYChoosesTheCustomRoad) {
    const std::pair<const char*, bool> cases[] = {{"y", true}, {"yes", true}, {"Y", false}, {"n", false}};
    for (const auto& [text, custom] : cases) {
        Parsed parsed = parse({"prolut", "in", "out", "2", text});
        ASSERT_TRUE(parsed.accepted) << text;
        EXPECT_EQ(parsed.options.custom_conversion, custom) << text;
    }
}

TEST(ParseRunOptions, SevenArgumentsTurnTheSnapshotOnAndMoveTheOutput) {
    Parsed parsed = parse({"prolut", "in", "out.mov", "1", "y", "4", "grade.cube", "shot.rgb"});
    ASSERT_TRUE(parsed.accepted);
    EXPECT_STREQ(parsed.options.cube_path, "grade.cube");
    EXPECT_TRUE(parsed.options.snapshot_enabled);
    EXPECT_STREQ(parsed.options.snapshot_path, "shot.rgb");
    apply_snapshot_override(&parsed.options);
    EXPECT_STREQ(parsed.options.output_path, "file:D:\\temp.mov");
}

TEST(CommandLineEndToEnd, WrongArgumentCountShowsTheUsage) {
    ProcessResult run = run_prolut({"in.mp4"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.output.rfind(std::string("Usage: ") + PROLUT_BINARY + " input_file output_file", 0), 0u)
        << run.output;
}

}  // namespace
