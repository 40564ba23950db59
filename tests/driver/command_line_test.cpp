// The command line alone, for every count of arguments and every first byte a shell can pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"
#include "support.h"

namespace {

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
            const bool accepted = parse_run_options(static_cast<int>(count), argv.data(), &o);
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
        }
    }
}

// The two questions a user may ask alone are answered with success; anything else alone is a
// wrong count. The versions are those of the libraries the program runs with.
TEST(CommandLine, HelpAndVersion) {
    for (const std::string asked : {"--help", "-h", "--version", "--bogus", "-help"}) {
        SCOPED_TRACE(asked);
        const Child run = prolut({asked});
        const bool help = asked == "--help" || asked == "-h", version = asked == "--version";
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
    }
}

}  // namespace
