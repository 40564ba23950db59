// Damaged inputs, failing outputs, stops at any moment and hostile arguments: whatever comes,
// the program ends by itself with a status it documents and never leaves a broken file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

#include "support.h"

namespace {

namespace fs = std::filesystem;

// What every run must show: no signal (SIGKILL is the hang guard), a documented status, and an
// output file only when it decodes cleanly and holds at least one picture and every packet the
// progress lines counted (none when there is no file: a written frame was lost).
void expect_orderly(const Child& run, const std::string& output, size_t picture_bytes) {
    EXPECT_EQ(run.signal, 0) << run.output;
    EXPECT_TRUE(run.status == 0 || run.status == 1 || run.status == 130 || run.status == 255) << run.status;
    EXPECT_TRUE(run.status != 0 || ends_complete(run.output)) << run.output;
    const std::vector<long> counted = progress(run.output);
    const long last = counted.empty() ? 0 : counted.back();
    const bool kept = fs::exists(output);
    const long pictures = kept ? static_cast<long>(decode(output).size() / picture_bytes) : 0;
    EXPECT_GE(pictures, kept ? std::max(last, 1L) : last) << run.output;
}

// Cuts and flipped bytes at fixed places; a status of -1 means any documented one. A status
// other than 0 from a deterministic case must leave no file. The MP4 keeps its index last (cut, it
// cannot be opened), the MOV first (cut, it ends in mid-picture).
TEST(Hardening, DamagedInputs) {
    TempDir dir;
    const std::string source = "testsrc2=size=160x120:rate=25:duration=1", in = dir.file("in"),
                      out = dir.file("out.mov");
    for (const char* name : {"a.mkv", "a.ts", "a.mp4"}) ASSERT_TRUE(make_clip(dir.file(name), source));
    ASSERT_TRUE(make_clip(dir.file("a.mov"), source, "-movflags +faststart"));
    ASSERT_TRUE(make_clip(dir.file("a.wav"), "sine=duration=0.5"));
    ASSERT_TRUE(make_clip(dir.file("odd.mkv"), source + ",scale=161:120", "-c:v ffv1 -pix_fmt yuv444p"));
    std::mt19937 random(7);
    auto flipped = [&](std::string data, size_t from, size_t to) {
        for (int i = 0; i < 12; ++i) data[from + random() % (to - from)] ^= '\xFF';
        return data;
    };
    std::string noise(65536, '\0');
    for (char& byte : noise) byte = static_cast<char>(random());
    std::vector<std::tuple<std::string, std::string, int, std::string>> cases = {
        {"empty", "", 255, ""},
        {"random bytes", noise, -1, ""},
        {"audio only", slurp(dir.file("a.wav")), 1, ""},
        {"odd width", slurp(dir.file("odd.mkv")), 1, "width=161\n"}};
    for (const std::string kind : {"mkv", "ts", "mp4", "mov"}) {
        const std::string data = slurp(dir.file("a." + kind));
        // Where the pictures start in Matroska (the first cluster); the MP4's index is last.
        const size_t split = kind == "mkv"   ? data.find("\x1F\x43\xB6\x75")
                             : kind == "mp4" ? data.rfind("moov") - 4
                                             : 1000;
        for (int tenths : {1, 5, 9}) {
            cases.emplace_back(kind + " cut at " + std::to_string(tenths) + "/10",
                               data.substr(0, data.size() * tenths / 10), kind == "mp4" ? 255 : -1, "");
        }
        cases.emplace_back(kind + " flipped before byte " + std::to_string(split), flipped(data, 0, split),
                           -1, "");
        cases.emplace_back(kind + " flipped after it", flipped(data, split, data.size()), -1, "");
        if (kind != "mkv") continue;
        cases.emplace_back("mkv cut after its first cluster id", data.substr(0, split + 4), 1,
                           "Error, the input gave no picture to encode\n");
    }
    for (const auto& [name, contents, status, console] : cases) {
        SCOPED_TRACE(name);
        std::ofstream(in, std::ios::binary) << contents;
        Child run = prolut({in, out});
        EXPECT_TRUE(status < 0 || run.status == status) << run.status << "\n" << run.output;
        EXPECT_FALSE(status > 0 && fs::exists(out));
        EXPECT_NE(run.output.find(console), std::string::npos) << run.output;
        expect_orderly(run, out, 160 * 120 * 4);
        fs::remove(out);
    }
}

TEST(Hardening, OutputFaults) {
    TempDir dir;
    const std::string input = dir.file("in.mkv"), out = dir.file("out.mov"), fresh = dir.file("fresh.mov");
    ASSERT_TRUE(make_clip(input, "testsrc2=size=160x120:rate=25:duration=2"));
    // The device takes the file's creation and refuses every byte; it must stay in place.
    EXPECT_EQ(prolut({input, "/dev/full"}).status, 1);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    // 50 HQ pictures make about 750 KB: the limit strikes mid-run, as SIGXFSZ, then EFBIG.
    Child limited;
    limited.file_limit = 300 * 1024;
    EXPECT_TRUE(start(&limited, {PROLUT_BINARY, input, out, "3"}));
    finish(&limited);
    EXPECT_TRUE(limited.signal == 0 && limited.status == 1) << limited.signal << " " << limited.status;
    EXPECT_NE(limited.output.find("\n Error while writing video frame: "), std::string::npos)
        << limited.output;
    // Names no file can be made under: refused before the loop, nothing created.
    std::ofstream(dir.file("file.txt")) << "text";
    for (const std::string& name : {dir.file("missing/out.mov"), dir.file("file.txt/out.mov")}) {
        Child run = prolut({input, name});
        EXPECT_TRUE(run.status == 1 && run.output.find(" frame") == std::string::npos) << run.output;
    }
    EXPECT_EQ(slurp(dir.file("file.txt")), "text");
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    // A short run over the longer file the limited run left replaces it whole.
    ASSERT_TRUE(make_clip(input, "testsrc2=size=160x120:rate=25:duration=0.4"));
    EXPECT_EQ(prolut({input, out}).status, 0);
    EXPECT_EQ(prolut({input, fresh}).status, 0);
    EXPECT_TRUE(slurp(out) == slurp(fresh)) << fs::file_size(out) << " bytes, " << fs::file_size(fresh);
}

// From the first line on (the signal handlers are in place), SIGINT, SIGTERM or 'q' after a random
// delay up to a whole run's length, so that some land during the drain. Replay a failure with
// PROLUT_STOP_SEED.
TEST(Hardening, StopsAtRandomMomentsKeepEveryWrittenFrame) {
    using namespace std::chrono;
    TempDir dir;
    const std::string input = dir.file("in.mkv"), out = dir.file("out.mov");
    ASSERT_TRUE(make_clip(input, "testsrc2=size=160x120:rate=25:duration=2"));
    const char* given = getenv("PROLUT_STOP_SEED");
    const unsigned seed = given ? std::stoul(given) : std::random_device{}();
    std::mt19937 random(seed);
    const int stops[] = {0, SIGINT, SIGTERM};  // 0: 'q' on a terminal
    long whole_run = 0;                        // microseconds; the first run, left alone, measures it
    for (int i = 0; i < 9; ++i) {
        const int stop = stops[i % 3];
        const bool terminal = stop == 0 || i % 2;
        const long delay = i == 0 ? -1 : i == 1 ? 0 : random() % (whole_run + 1);
        SCOPED_TRACE("PROLUT_STOP_SEED=" + std::to_string(seed) + ", run " + std::to_string(i) + ", " +
                     std::to_string(delay) + " us");
        fs::remove(out);
        Child run;
        ASSERT_TRUE(start(&run, {PROLUT_BINARY, input, out}, terminal));
        while (run.output.empty() && read_more(&run)) continue;
        const auto begun = steady_clock::now();
        if (delay >= 0) usleep(delay), stop ? kill(run.pid, stop) : write(run.out, "q", 1);
        finish(&run);
        // A key typed after the terminal was given back is echoed by the terminal itself.
        if (stop == 0 && !run.output.empty() && run.output.back() == 'q') run.output.pop_back();
        if (i == 0) whole_run = duration_cast<microseconds>(steady_clock::now() - begun).count() * 11 / 10;
        expect_orderly(run, out, 160 * 120 * 4);
        EXPECT_TRUE(run.status == 0 || (stop != 0 && run.status == 130)) << run.status;
        termios settings{};
        EXPECT_TRUE(!terminal || (tcgetattr(run.out, &settings) == 0 &&
                                  (settings.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO)));
    }
}

// Each argument in turn empty, 64 KiB long and non-ASCII, in a directory of its own. Colour mode 4
// only where the cube file is tried; the snapshot sends the output to "D:\temp.mov". Only a
// successful run leaves a file, and the snapshot's output file always.
TEST(Hardening, HostileArguments) {
    TempDir clips;
    const std::string input = clips.file("in.mkv"), usage = "Usage: ", cube = "NivlotosRGB.cube\n",
                      snapshot = "Error, could not open snapshot file";
    ASSERT_TRUE(make_clip(input, "testsrc2=size=64x48:rate=25:duration=1"));
    const std::vector<std::string> before = {input, "out.mov", "1", "n", "0", "", "shot.rgb"};
    const char fills[] = "aaay4aa";  // of the long text: the custom road on, colour mode 4
    // For each argument: the empty, the long and the non-ASCII text.
    const int statuses[7][3] = {{255, 255, 255}, {1, 1, 0},       {1, 1, 1}, {0, 0, 0},
                                {1, 255, 1},     {255, 255, 255}, {1, 1, 0}};
    const std::string consoles[7][3] = {
        {}, {}, {}, {}, {usage, cube, usage}, {cube, "", "é\n"}, {snapshot, snapshot, ""}};
    for (size_t p = 0; p < 7; ++p) {
        for (int t = 0; t < 3; ++t) {
            const std::string text = t == 0 ? "" : t == 1 ? std::string(65536, fills[p]) : "é";
            SCOPED_TRACE("argument " + std::to_string(p + 1) + ", " + text.substr(0, 8));
            std::vector<std::string> arguments(before.begin(), before.begin() + std::max<size_t>(p + 1, 2));
            if (p == 5) arguments[4] = "4";
            arguments[p] = text;
            TempDir cwd;
            Child run = prolut(arguments, cwd.path);
            const int status = statuses[p][t];
            EXPECT_EQ(run.status, status) << run.output.substr(0, 200);
            const std::string console = p == 5 && t == 1 ? text + "\n" : consoles[p][t];
            EXPECT_NE(run.output.find(console), std::string::npos) << run.output.substr(0, 200);
            const std::string output = p == 6 ? "D:\\temp.mov" : p == 1 && t == 2 ? text : "out.mov";
            expect_orderly(run, cwd.file(output), 64 * 48 * 4);
            EXPECT_EQ(std::distance(fs::directory_iterator(cwd.path), fs::directory_iterator()),
                      (status == 0) + (p == 6));
            EXPECT_TRUE(p != 6 || decode(cwd.file(output)).size() == 20u * 64 * 48 * 4);
        }
    }
}

}  // namespace
