// Whole runs on the plain road, judged by the console and by what ffmpeg and ffprobe find.
// Clips are H.264, ffmpeg's choice for MP4, Matroska and MOV.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support.h"

namespace {

// Each profile on another input, and pictures identical to the ffmpeg CLI's. Editing
// applications trust the tag to name the profile. The output describes its colours as they
// are: the tags the scaler keeps, limited range where it made it; a ProRes frame names the
// BT.601 matrix only as smpte170m. 40 frames at 30000/1001 try a rate that is not a whole
// number and a count the progress interval (2) divides, with the audio first (stream 0,
// holding another number of frames). Matroska keeps no frame count: the run must not stop at
// 0. An unknown extension gives MOV.
TEST(Transcode, ProfilesAndInputsGiveFfmpegsPicturesAndTags) {
    const std::string second = "testsrc2=size=160x120:rate=25:duration=1";
    const struct {
        std::string name, source, encoding;
        int frames;
        std::string rate;
        double frame_seconds;
        std::string profile, tags;  // name and tag; range, matrix, transfer, primaries
    } cases[] = {
        {"in.mov", "testsrc2=size=160x120:rate=30000/1001:duration=1.4",
         "-f lavfi -i sine=duration=1.5 -map 1:a -map 0:v -frames:v 40", 40, "30000/1001", 1001 / 30000.0,
         "Proxy apco", "tv unknown unknown unknown"},
        {"in.mp4", second, "-color_primaries bt709 -color_trc bt709 -colorspace bt709", 25, "25/1", 0.04,
         "LT apcs", "tv bt709 bt709 bt709"},
        {"in.mkv", second, "-c:v ffv1 -pix_fmt yuv420p -color_range pc -colorspace bt709", 25, "25/1", 0.04,
         "Standard apcn", "tv bt709 unknown unknown"},
        {"in.mov", second, "-c:v mjpeg -pix_fmt yuvj420p", 25, "25/1", 0.04, "HQ apch",
         "tv smpte170m unknown unknown"},
    };
    for (int profile = 0; profile < 4; ++profile) {
        const auto& c = cases[profile];
        SCOPED_TRACE(c.profile);
        TempDir dir;
        const std::string input = dir.file(c.name), ours = dir.file(profile ? "out.mov" : "out.xyz");
        ASSERT_TRUE(make_clip(input, c.source, c.encoding));
        Child run = prolut({input, ours, std::to_string(profile)});
        EXPECT_EQ(run.status, 0);
        const std::string frames = std::to_string(c.frames);
        const std::string fallback =
            profile ? "" : "Error, could not deduce output format from file extension: using MOV.\n";
        EXPECT_EQ(run.output.rfind("framenum " + frames + "\nwidth=160\nheight=120\n" + fallback, 0), 0u)
            << run.output;
        EXPECT_EQ(run.output.find("using MOV") != std::string::npos, profile == 0) << run.output;
        EXPECT_TRUE(ends_complete(run.output)) << run.output;
        std::vector<long> numbers = progress(run.output);
        EXPECT_TRUE(
            !numbers.empty() && numbers.back() == c.frames &&
            std::all_of(numbers.begin(), numbers.end(), [&](long n) { return n % (c.frames / 20) == 0; }))
            << run.output;
        EXPECT_EQ(
            probe(ours,
                  "stream=codec_name,profile,codec_tag_string,width,height,pix_fmt,color_range,color_space,"
                  "color_transfer,color_primaries,avg_frame_rate,nb_read_frames:format=format_name"),
            "prores " + c.profile + " 160 120 yuv422p10le " + c.tags + " " + c.rate + " " + frames +
                " mov,mp4,m4a,3gp,3g2,mj2");
        std::istringstream times(probe(ours, "packet=pts_time"));
        int packet = 0;
        for (double time; times >> time; ++packet) EXPECT_NEAR(time, packet * c.frame_seconds, 2e-6);
        EXPECT_EQ(packet, c.frames);
        ASSERT_TRUE(ffmpeg({"-i", input, "-an", "-c:v", "prores", "-profile:v", std::to_string(profile),
                            "-pix_fmt", "yuv422p10le", dir.file("ffmpeg.mov")}));
        const std::string pictures = decode(ours);
        EXPECT_EQ(pictures.size(), c.frames * 160u * 120 * 4);
        EXPECT_TRUE(pictures == decode(dir.file("ffmpeg.mov")));
    }
}

// Refused runs change no file. MPEG program and transport streams would take ProRes without
// a word and give files in which nothing finds a picture.
TEST(Transcode, RefusedRunsChangeNoFile) {
    TempDir dir;
    const std::string input = dir.file("in.mov"), output = dir.file("out.mov");
    ASSERT_TRUE(make_clip(input, "testsrc2=size=64x48:rate=25:duration=0.2"));
    ASSERT_TRUE(make_clip(dir.file("sound.wav"), "sine=duration=0.2"));
    std::ofstream(dir.file("old.mp4")) << "earlier work";
    const std::string opened = "framenum 5\nwidth=64\nheight=48\n", same = "Error, output file is the same";
    const std::string usage = std::string("Usage: ") + PROLUT_BINARY + " input_file output_file";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string console;  // its start
    } refused[] = {
        {{input, dir.file("out.mp4")}, 1, opened + "Error, the mp4 format cannot hold ProRes video\n"},
        {{input, dir.file("out.ts")}, 1, opened},
        {{input, dir.file("out.mpg")}, 1, opened},
        {{input, dir.file("old.mp4")}, 1, opened},
        {{input, output, "9"}, 1, opened},
        {{dir.file("missing.mov"), output}, 255, ""},
        {{dir.file("sound.wav"), output}, 1, ""},
        {{input, input}, 1, same},
        {{input, dir.path + "/../" + dir.path.substr(dir.path.rfind('/') + 1) + "/in.mov"}, 1, same},
        {{input, "file:" + input}, 1, same},
        {{input}, 1, usage},
        {{input, output, "2", "y", "4", "a.cube", "a.rgb", "extra"}, 1, usage},
        {{input, output, "2", "y", "/"}, 1, usage},  // a colour mode below 0
    };
    for (const auto& r : refused) {
        const std::string target = r.arguments[r.arguments.size() > 1];
        auto contents = [&] { return std::filesystem::exists(target) ? slurp(target) : "(none)"; };
        const std::string before = contents();
        Child run = prolut(r.arguments);
        EXPECT_EQ(run.status, r.status) << target;
        EXPECT_EQ(run.output.rfind(r.console, 0), 0u) << run.output;
        EXPECT_TRUE(contents() == before) << target;
    }
}

}  // namespace
