// --audio: every audio stream as PCM, in step with the pictures, cut to them however the run ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "support.h"

namespace {

// So many pictures (unless none are named), and every audio stream ends with the last of them to
// within a millisecond (a packet, a picture's worth of samples, would be allowed).
void expect_sound_covers_pictures(const std::string& path, const std::string& pictures = "") {
    EXPECT_TRUE(pictures.empty() || probe(path, "stream=nb_read_frames") == pictures) << path;
    const double gap = sound_gap(path);
    EXPECT_TRUE(gap >= 0 && gap <= 0.001) << path << ": " << gap;
}

// Where sound louder than `loud` starts after at least `gap` quieter samples (or at the start).
std::vector<long> onsets(const std::string& sound, int loud = 1000, long gap = 4800) {
    const int16_t* samples = reinterpret_cast<const int16_t*>(sound.data());
    std::vector<long> found;
    for (long i = 0, quiet = gap; i < long(sound.size() / 2); ++i, ++quiet) {
        if (std::abs(samples[i]) < loud) continue;
        if (quiet >= gap) found.push_back(i);
        quiet = -1;
    }
    return found;
}

// Four streams in Matroska at 29.97 fps (millisecond stamps that jitter): 16-bit stereo, AAC at
// 44.1 kHz, 24-bit mono, and FLAC whose codec name is made unknown. The three with a decoder
// arrive in order, 16-bit as it was, the rest 24-bit, at 48 kHz in MXF; the fourth is named once
// on standard error. Every picture is kept. The snapshot's 20 pictures get their sound too (see
// below).
TEST(Audio, EveryStreamAsPcmInEachContainer) {
    TempDir dir;
    const std::string input = dir.file("in.mkv");
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=30000/1001:duration=2 "
               "-f lavfi -i sine=sample_rate=48000:duration=2.5 "
               "-f lavfi -i sine=frequency=300:sample_rate=44100:duration=2 "
               "-f lavfi -i sine=frequency=600:sample_rate=48000:duration=1 -map 0 -map 1 -map 2 -map 3 "
               "-map 1 -c:v ffv1 -c:a:0 pcm_s16le -ac:a:0 2 -c:a:1 aac -c:a:2 pcm_s24le -c:a:3 flac " +
               input));
    std::string data = slurp(input);
    ASSERT_EQ(data.find("A_FLAC"), data.rfind("A_FLAC"));
    data.replace(data.find("A_FLAC"), 6, "A_FLAX");
    std::ofstream(input, std::ios::binary) << data;
    for (const std::string kind : {"mov", "mkv", "mxf"}) {
        SCOPED_TRACE(kind);
        const std::string out = dir.file("out." + kind);
        Child run = prolut({"--audio", input, out});
        EXPECT_TRUE(run.status == 0 && ends_complete(run.output)) << run.output;
        EXPECT_TRUE(one_line_of_ours(run.errors, "input '" + input +
                                                     "': this FFmpeg has no decoder for audio stream 4 "
                                                     "(unknown codec); it is left out"))
            << run.errors;
        EXPECT_EQ(probe(out, "stream=codec_name,sample_rate,channels", "a"),
                  "pcm_s16le 48000 2 pcm_s24le " + std::string(kind == "mxf" ? "48000" : "44100") +
                      " 1 pcm_s24le 48000 1");
        expect_sound_covers_pictures(out, "60");
        const std::string sound = decode_sound(out, 0), source = decode_sound(input, 0);
        EXPECT_TRUE(sound.size() < source.size() && source.compare(0, sound.size(), sound) == 0);
    }
    // A transport stream carrying its sound up to 1.2 s behind the pictures: the snapshot's run reads
    // on for it rather than end its 20 pictures in silence.
    ASSERT_TRUE(make_clip(dir.file("late.ts"), "testsrc2=size=64x48:rate=25:duration=2",
                          "-f lavfi -i sine=sample_rate=48000 -t 2 -c:v mpeg2video -c:a mp2 -b:a 384k "
                          "-pes_payload_size 60000 -max_delay 5000000"));
    Child shot = prolut({"--audio", "late.ts", "out.mov", "0", "n", "0", "none.cube", "shot.rgb"}, dir.path);
    EXPECT_EQ(shot.status, 0) << shot.output;
    expect_sound_covers_pictures(dir.file("D:\\temp.mov"), "20");
    EXPECT_EQ(onsets(decode_sound(dir.file("D:\\temp.mov"), 0), 100, 200).size(), 1u) << "no silence";
}

// A phone-like source: 30 fps with pictures missing (every seventh, and five in a row), averaging
// 24 fps. A flash and a click mark the same four moments; in the output each flash lies within
// half a frame of its click, pictures repeated and dropped are counted on standard error, and
// without --audio every picture is kept as before. Then sound that starts before the pictures
// (cut) and after them (silence first), to the sample.
TEST(Audio, SoundAndPictureInStepOnVariableRateSources) {
    TempDir dir;
    const std::string input = dir.file("vfr.mp4"), out = dir.file("out.mov");
    ASSERT_TRUE(ffmpeg(
        "-f lavfi -i color=c=black:s=64x48:r=30:d=3,geq=lum=if(eq(N\\,15)+eq(N\\,36)+eq(N\\,60)"
        "+eq(N\\,81)\\,235\\,16):cb=128:cr=128,select=not(eq(mod(n\\,7)\\,3))*not(between(n\\,40\\,44)) "
        "-f lavfi -i aevalsrc=0.9*(between(t\\,0.5\\,0.502)+between(t\\,1.2\\,1.202)+between(t\\,2"
        "\\,2.002)+between(t\\,2.7\\,2.702)):s=48000:d=3 -fps_mode:v passthrough -c:v mpeg4 -q:v 2 "
        "-c:a aac " +
        input));
    Child run = prolut({"--audio", input, out});
    EXPECT_EQ(run.status, 0) << run.output;
    std::smatch counts;
    ASSERT_TRUE(
        std::regex_search(run.errors, counts, std::regex("([0-9]+) pictures repeated, ([0-9]+) dropped\n")))
        << run.errors;
    EXPECT_TRUE(std::stoi(counts[1]) > 0 && std::stoi(counts[2]) > 0) << counts[0];
    const std::string pictures = decode(out);
    const double frame = seconds_of_pictures(out) / (pictures.size() / (64 * 48 * 4));  // 1/24 s
    std::vector<double> flashes;
    for (size_t at = 0, n = 0; at < pictures.size(); at += 64 * 48 * 4, ++n) {
        const bool bright = reinterpret_cast<const uint16_t*>(pictures.data() + at)[64 * 24 + 32] > 512;
        if (bright && (flashes.empty() || n * frame - flashes.back() > 0.2)) flashes.push_back(n * frame);
    }
    const std::vector<long> clicks = onsets(decode_sound(out, 0));
    ASSERT_EQ(flashes.size(), 4u);
    ASSERT_EQ(clicks.size(), 4u);
    double worst = 0;
    for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(clicks[k] / 48000.0 - flashes[k]));
    EXPECT_LE(worst, frame / 2);
    expect_sound_covers_pictures(out);
    Child plain = prolut({input, dir.file("plain.mov")});
    EXPECT_EQ(probe(dir.file("plain.mov"), "stream=codec_type,nb_read_frames", ""), "video 72");
    EXPECT_EQ(plain.errors.find("repeated"), std::string::npos);
    // Every picture stamped 0 (a broken file): each keeps its place in line instead of all but one
    // being dropped.
    ASSERT_TRUE(
        ffmpeg("-i " + input + " -c copy -bsf:v setts=ts=0 -fps_mode passthrough " + dir.file("flat.mkv")));
    EXPECT_EQ(prolut({"--audio", dir.file("flat.mkv"), out}).status, 0);
    EXPECT_EQ(probe(out, "stream=nb_read_frames"), "72");

    // Pictures from 0.4 s; one sound from 0 with a click at 0.9 s, one from 0.8 s: a quiet tone with
    // a click at 1.0 s.
    const std::string shifted = dir.file("shifted.mkv");
    ASSERT_TRUE(
        ffmpeg("-copyts -f lavfi -i color=c=black:s=64x48:r=25:d=2,setpts=PTS+0.4/TB "
               "-f lavfi -i aevalsrc=0.9*between(t\\,0.9\\,0.902):s=48000:d=3 "
               "-f lavfi -i aevalsrc=0.01+0.8*between(t\\,0.2\\,0.202):s=48000:d=1,asetpts=PTS+0.8/TB "
               "-map 0 -map 1 -map 2 -fps_mode passthrough -c:v ffv1 -c:a pcm_s16le " +
               shifted));
    EXPECT_EQ(prolut({"--audio", shifted, out}).status, 0);
    EXPECT_EQ(onsets(decode_sound(out, 0)), std::vector<long>{24000});
    const std::string late = decode_sound(out, 1);
    EXPECT_EQ(onsets(late), std::vector<long>{28800});
    EXPECT_EQ(late.find_first_not_of('\0'), 19200u * 2);
    expect_sound_covers_pictures(out);

    // Two recordings joined in one transport stream, whose clock goes back at the join: both are
    // kept whole, with their sound.
    ASSERT_TRUE(make_clip(dir.file("one.ts"), "testsrc2=size=64x48:rate=25:duration=1",
                          "-f lavfi -i sine=duration=1 -c:v mpeg2video -c:a mp2"));
    std::ofstream(dir.file("two.ts"), std::ios::binary)
        << slurp(dir.file("one.ts")) << slurp(dir.file("one.ts"));
    EXPECT_EQ(prolut({"--audio", dir.file("two.ts"), out}).status, 0);
    expect_sound_covers_pictures(out, "50");

    // No picture for 69 s: the picture before stays, and the sound more than a minute ahead of it
    // is let go (and said so) rather than held, whatever its length.
    ASSERT_TRUE(
        ffmpeg("-copyts -f lavfi -i testsrc2=size=64x48:rate=25:duration=2,select=lt(t\\,1)+gte(t\\,1.96),"
               "setpts=PTS+if(gte(T\\,1.9)\\,68/TB\\,0) -f lavfi -i sine=sample_rate=8000:duration=71 "
               "-map 0 -map 1 -fps_mode passthrough -c:v ffv1 -c:a pcm_s16le " +
               dir.file("pause.mkv")));
    Child paused = prolut({"--audio", dir.file("pause.mkv"), out});
    // From the last picture's time, or a little earlier: the decoder may still hold the last ones.
    EXPECT_TRUE(std::regex_search(paused.errors,
                                  std::regex("prolut: audio stream 1 ran more than 60 s ahead of the "
                                             "pictures: from (0\\.[89]|1\\.000)[0-9]* s of the output")))
        << paused.errors;
    expect_sound_covers_pictures(out, "1750");
    const std::vector<long> sound = onsets(decode_sound(out, 0), 100, 800);  // silence from 1 s, for a minute
    EXPECT_TRUE(sound.size() == 2 && sound[1] > 8000 * 60 && sound[1] <= 8000 * 61) << sound.back();
}

// Bytes flipped in three AAC packets: the tone stops three times, one line on standard error, the
// run goes on. A file whose every audio packet is damaged still gives its pictures, with silence.
// A picture that does not decode ends the run there, with the sound of the pictures before it.
TEST(Audio, DamagedSoundBecomesSilence) {
    TempDir dir;
    const std::string clean = dir.file("clean.mkv");
    ASSERT_TRUE(make_clip(clean, "testsrc2=size=64x48:rate=25:duration=2",
                          "-f lavfi -i sine=frequency=500:duration=2 -c:v ffv1 -c:a aac"));
    const std::vector<std::string> packets = words(probe(clean, "packet=size,pos", "a"));  // size first
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all);
        std::string data = slurp(clean);
        long damaged = 0;
        for (size_t p = 0; p + 1 < packets.size(); p += 2) {
            if (!all && p != 40 && p != 100 && p != 160) continue;
            for (long at = 4; at < std::stol(packets[p]); at += 5)
                data[std::stol(packets[p + 1]) + at] ^= 0x5A;
            ++damaged;
        }
        const std::string input = dir.file("damaged.mkv"), out = dir.file("out.mov");
        std::ofstream(input, std::ios::binary) << data;
        Child run = prolut({"--audio", input, out});
        EXPECT_TRUE(run.status == 0 && ends_complete(run.output)) << run.output;
        EXPECT_TRUE(one_line_of_ours(
            run.errors, "audio stream 1: " + std::to_string(damaged) + " damaged packets became silence"))
            << run.errors;
        expect_sound_covers_pictures(out, "50");
        EXPECT_EQ(onsets(decode_sound(out, 0), 100, 900).size(), all ? 0u : 4u) << "the tone starts again";
    }
    const std::string png = dir.file("png.mkv"), out = dir.file("png.mov");
    ASSERT_TRUE(make_clip(png, "testsrc2=size=64x48:rate=25:duration=2", "-f lavfi -i sine -t 2 -c:v png"));
    const std::vector<std::string> pictures = words(probe(png, "packet=size,pos"));
    ASSERT_GT(pictures.size(), 61u);
    std::string data = slurp(png);
    for (long at = 40; at < std::stol(pictures[60]); at += 3) data[std::stol(pictures[61]) + at] ^= 0x55;
    std::ofstream(png, std::ios::binary) << data;
    Child run = prolut({"--audio", png, out});
    EXPECT_TRUE(run.status == 1 && run.output.find("\nError decoding video frame\n") != std::string::npos);
    expect_sound_covers_pictures(out, "30");
}

}  // namespace
