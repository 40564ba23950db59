// Whole runs on the plain road, judged by the console and by what ffmpeg and ffprobe find.
#include <gtest/gtest.h>

#include "stored_colours.h"
#include "support.h"

namespace {

// Each profile on another input, with the ffmpeg CLI's pictures and the tag that editing
// applications trust to name the profile. The colours are judged by what the file itself stores
// (the container's, then the frame header's): the input's description, under the names ProRes
// frames know (smpte170m for the BT.601 matrix), limited range where the scaler made it. 40
// frames at 30000/1001, with audio as stream 0, and Matroska, which keeps no frame count (the run
// must not stop at 0).
TEST(Transcode, ProfilesAndInputsGiveFfmpegsPicturesAndTags) {
    const std::string size = "testsrc2=size=160x120:rate=", second = size + "25:duration=1";
    const std::string cases[4][5] = {
        // input, source, encoding; profile name and tag; the output's stored colours
        {"in.mov", size + "30000/1001:duration=1.4",
         "-f lavfi -i sine=duration=1.5 -map 1:a -map 0:v -frames:v 40", "Proxy apco",
         "unknown unknown unknown / unknown unknown unknown"},
        {"in.mp4", second, "-vf setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709", "LT apcs",
         "bt709 bt709 bt709 / bt709 bt709 bt709"},
        {"in.mkv", second, "-c:v ffv1 -pix_fmt yuv420p -color_range pc -colorspace bt709", "Standard apcn",
         "unknown unknown bt709 / unknown unknown bt709"},
        {"in.mov", second, "-c:v mjpeg -pix_fmt yuvj420p", "HQ apch",
         "unknown unknown smpte170m / unknown unknown smpte170m"}};
    for (int profile = 0; profile < 4; ++profile) {
        const std::string* c = cases[profile];
        SCOPED_TRACE(c[3]);
        TempDir dir;
        const std::string input = dir.file(c[0]), ours = dir.file(profile ? "out.mov" : "out.xyz");
        const int frames = profile ? 25 : 40;
        ASSERT_TRUE(make_clip(input, c[1], c[2]));
        Child run = prolut({input, ours, std::to_string(profile)});
        EXPECT_TRUE(run.status == 0 && ends_complete(run.output)) << run.status << run.output;
        const std::string head = "framenum " + std::to_string(frames) + "\nwidth=160\nheight=120\n";
        const std::string next =
            profile ? " frame" : "Error, could not deduce output format from file extension: using MOV.\n";
        EXPECT_EQ(run.output.rfind(head + next, 0), 0u) << run.output;
        const std::vector<long> numbers = progress(run.output);
        EXPECT_EQ(numbers.empty() ? 0 : numbers.back(), frames) << run.output;
        for (long n : numbers) EXPECT_EQ(n % (frames / 20), 0) << run.output;
        EXPECT_EQ(probe(ours,
                        "stream=codec_name,profile,codec_tag_string,width,height,pix_fmt,avg_frame_rate,"
                        "nb_read_frames:format=format_name"),
                  "prores " + c[3] + " 160 120 yuv422p10le" + (profile ? " 25/1 25" : " 30000/1001 40") +
                      " mov,mp4,m4a,3gp,3g2,mj2");
        EXPECT_EQ(stored_colours(ours), c[4]);
        if (profile == 2) {  // Matroska keeps the range as well: the full-range input came out limited
            EXPECT_EQ(prolut({input, dir.file("out.mkv"), "2"}).status, 0);
            EXPECT_EQ(stored_colours(dir.file("out.mkv")),
                      "unknown unknown bt709 tv / unknown unknown bt709");
        }
        const std::vector<std::string> pts = words(probe(ours, "packet=pts"));  // from 0, one frame apart
        ASSERT_EQ(pts.size(), size_t(frames));
        for (size_t k = 0; k < pts.size(); ++k)
            EXPECT_EQ(std::stol(pts[k]), long(k) * std::stol(pts[1])) << k;
        ASSERT_TRUE(ffmpeg("-i " + input + " -an -c:v prores -profile:v " + std::to_string(profile) +
                           " -pix_fmt yuv422p10le " + dir.file("ffmpeg.mov")));
        const std::string pictures = decode(ours);
        EXPECT_TRUE(!pictures.empty() && pictures == decode(dir.file("ffmpeg.mov")));
    }
}

}  // namespace
