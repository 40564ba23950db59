#include "driver/output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "end_to_end.h"

namespace {

// What the decoder says of the input, or of the output: range, matrix, primaries, transfer.
struct Colours {
    AVColorRange range;
    AVColorSpace space;
    AVColorPrimaries primaries;
    AVColorTransferCharacteristic transfer;
};

const Colours unspecified = {AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED, AVCOL_PRI_UNSPECIFIED,
                             AVCOL_TRC_UNSPECIFIED};

Colours describe(AVPixelFormat format, const Colours& input, bool custom, int colour_mode = 0) {
    AVCodecContext* decoder = avcodec_alloc_context3(nullptr);
    decoder->pix_fmt = format;
    decoder->color_range = input.range;
    decoder->colorspace = input.space;
    decoder->color_primaries = input.primaries;
    decoder->color_trc = input.transfer;
    RunOptions options{};
    options.custom_conversion = custom;
    options.colour_mode = colour_mode;
    ColourDescription made = describe_output_colours(decoder, &options);
    avcodec_free_context(&decoder);
    return {made.range, made.space, made.primaries, made.transfer};
}

void expect_colours(const Colours& actual, const Colours& expected, const char* what) {
    EXPECT_EQ(actual.range, expected.range) << what;
    EXPECT_EQ(actual.space, expected.space) << what;
    EXPECT_EQ(actual.primaries, expected.primaries) << what;
    EXPECT_EQ(actual.transfer, expected.transfer) << what;
}

TEST(DescribeOutputColours, PlainRoadSaysWhatTheScalerMade) {
    const Colours hd = {AVCOL_RANGE_MPEG, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709};
    expect_colours(describe(AV_PIX_FMT_YUV420P, hd, false), hd, "BT.709");
    // The scaler squeezes full range into limited range and keeps the matrix.
    expect_colours(describe(AV_PIX_FMT_YUV420P,
                            {AVCOL_RANGE_JPEG, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709}, false),
                   hd, "full range");
    expect_colours(describe(AV_PIX_FMT_YUVJ420P, unspecified, false),
                   {AVCOL_RANGE_MPEG, AVCOL_SPC_UNSPECIFIED, AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED},
                   "yuvj");
    expect_colours(describe(AV_PIX_FMT_YUV420P, unspecified, false), unspecified, "untagged");
    // RGB comes out through the scaler's default BT.601 matrix.
    expect_colours(
        describe(AV_PIX_FMT_GBRP, {AVCOL_RANGE_JPEG, AVCOL_SPC_RGB, AVCOL_PRI_BT709, AVCOL_TRC_IEC61966_2_1},
                 false),
        {AVCOL_RANGE_MPEG, AVCOL_SPC_SMPTE170M, AVCOL_PRI_BT709, AVCOL_TRC_IEC61966_2_1}, "RGB");
}

TEST(DescribeOutputColours, CustomRoadSaysWhatItsArithmeticMade) {
    const Colours hd = {AVCOL_RANGE_JPEG, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709};
    const std::pair<int, AVColorTransferCharacteristic> cases[] = {
        {0, AVCOL_TRC_UNSPECIFIED}, {1, AVCOL_TRC_BT709},       {2, AVCOL_TRC_UNSPECIFIED},
        {3, AVCOL_TRC_LINEAR},      {4, AVCOL_TRC_UNSPECIFIED}, {7, AVCOL_TRC_LINEAR}};
    for (const auto& [mode, transfer] : cases) {
        Colours made = describe(AV_PIX_FMT_YUV420P, hd, true, mode);
        EXPECT_EQ(made.space, AVCOL_SPC_SMPTE170M) << "mode " << mode;
        EXPECT_EQ(made.range, AVCOL_RANGE_MPEG) << "mode " << mode;
        EXPECT_EQ(made.transfer, transfer) << "mode " << mode;
    }
}

TEST(SameFile, FollowsTheFileNotItsName) {
    TempDir dir;
    const std::string first = dir.file("a.mov");
    ASSERT_TRUE(write_file(first, "a"));
    ASSERT_TRUE(write_file(dir.file("c.mov"), "a"));
    ASSERT_EQ(link(first.c_str(), dir.file("b.mov").c_str()), 0);

    EXPECT_TRUE(same_file(first.c_str(), first.c_str()));
    EXPECT_TRUE(same_file(first.c_str(), (dir.path + "/./a.mov").c_str()));
    EXPECT_TRUE(same_file(first.c_str(), ("file:" + first).c_str()));
    EXPECT_TRUE(same_file(first.c_str(), dir.file("b.mov").c_str()));
    EXPECT_FALSE(same_file(first.c_str(), dir.file("c.mov").c_str()));
    EXPECT_FALSE(same_file(first.c_str(), dir.file("missing.mov").c_str()));
    EXPECT_FALSE(same_file(dir.file("missing.mov").c_str(), dir.file("missing.mov").c_str()));
}

// Editing applications trust the tag to name the profile, so each profile needs its own.
struct ProfileCase {
    const char* digit;
    const char* tag;
    const char* name;
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.tag; }

class ProfileEndToEnd : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileEndToEnd, OutputIsTenBitProresOfTheInputsShape) {
    TempDir dir;
    ASSERT_TRUE(make_pattern_clip(dir.file("in.mp4")));
    ProcessResult run = run_prolut({dir.file("in.mp4"), dir.file("out.mov"), GetParam().digit});
    EXPECT_EQ(run.exit_status, 0) << run.output;
    KeyValues out =
        probe_video(dir.file("out.mov"),
                    "stream=codec_name,codec_tag_string,profile,pix_fmt,width,height,nb_read_frames,"
                    "avg_frame_rate",
                    true);
    EXPECT_EQ(out["codec_name"], "prores");
    EXPECT_EQ(out["codec_tag_string"], GetParam().tag);
    EXPECT_EQ(out["profile"], GetParam().name);
    EXPECT_EQ(out["pix_fmt"], "yuv422p10le");
    EXPECT_EQ(out["width"], "160");
    EXPECT_EQ(out["height"], "120");
    EXPECT_EQ(out["nb_read_frames"], "50");
    EXPECT_EQ(out["avg_frame_rate"], "25/1");
}

INSTANTIATE_TEST_SUITE_P(AllProfiles, ProfileEndToEnd,
                         testing::Values(ProfileCase{"0", "apco", "Proxy"}, ProfileCase{"1", "apcs", "LT"},
                                         ProfileCase{"2", "apcn", "Standard"},
                                         ProfileCase{"3", "apch", "HQ"}),
                         [](const testing::TestParamInfo<ProfileCase>& info) {
                             return std::string(info.param.tag);
                         });

TEST(OutputEndToEnd, UnknownExtensionFallsBackToMovAndUnknownProfileIsRefused) {
    TempDir dir;
    ASSERT_TRUE(make_pattern_clip(dir.file("in.mp4"), "0.4"));
    ProcessResult run = run_prolut({dir.file("in.mp4"), dir.file("out.xyz")});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("Error, could not deduce output format from file extension: using MOV.\n"),
              std::string::npos)
        << run.output;
    KeyValues out =
        probe_video(dir.file("out.xyz"), "stream=codec_name,nb_read_frames:format=format_name", true);
    EXPECT_EQ(out["format_name"].rfind("mov,", 0), 0u) << out["format_name"];
    EXPECT_EQ(out["codec_name"], "prores");
    EXPECT_EQ(out["nb_read_frames"], "10");

    ProcessResult profile = run_prolut({dir.file("in.mp4"), dir.file("out.mov"), "9"});
    EXPECT_EQ(profile.exit_status, 1);
    EXPECT_EQ(profile.output.find("Complete"), std::string::npos) << profile.output;
    EXPECT_FALSE(file_exists(dir.file("out.mov")));
}

// Refused before the file is created or truncated. MPEG program and transport streams take
// ProRes without a word and give files in which nothing finds a picture.
TEST(OutputEndToEnd, ContainersThatCannotHoldProresAreRefused) {
    TempDir dir;
    ASSERT_TRUE(make_pattern_clip(dir.file("in.mp4"), "0.2"));
    for (const char* name : {"out.mp4", "out.m4v", "out.mpg", "out.ts"}) {
        ProcessResult run = run_prolut({dir.file("in.mp4"), dir.file(name)});
        EXPECT_EQ(run.exit_status, 1) << name;
        EXPECT_FALSE(file_exists(dir.file(name))) << name;
        if (name == std::string("out.mp4")) {
            EXPECT_NE(run.output.find("Error, the mp4 format cannot hold ProRes video\n"), std::string::npos)
                << run.output;
        }
    }
    ASSERT_TRUE(write_file(dir.file("old.mp4"), "earlier work"));
    EXPECT_EQ(run_prolut({dir.file("in.mp4"), dir.file("old.mp4")}).exit_status, 1);
    EXPECT_EQ(read_file(dir.file("old.mp4")), "earlier work");
}

TEST(OutputEndToEnd, OutputNamingTheInputIsRefused) {
    TempDir dir;
    const std::string input = dir.file("in.mov");
    ASSERT_TRUE(make_pattern_clip(input, "0.2"));
    const std::string before = read_file(input);
    const std::string folder = dir.path.substr(dir.path.rfind('/') + 1);
    for (const std::string& output : {input, dir.path + "/../" + folder + "/in.mov", "file:" + input}) {
        ProcessResult run = run_prolut({input, output});
        EXPECT_EQ(run.exit_status, 1) << output;
        EXPECT_EQ(run.output, "Error, output file is the same as the input file\n") << output;
    }
    EXPECT_EQ(read_file(input), before);
}

}  // namespace
