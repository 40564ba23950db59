// Whatever comes, the program ends by itself with a documented status and leaves no broken file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

#include "support.h"

namespace {

namespace fs = std::filesystem;

// No signal (SIGKILL is the hang guard), a documented status, and an output file only when it
// decodes cleanly and holds at least one picture and every packet the progress lines counted.
void expect_orderly(const Child& run, const std::string& output, size_t picture_bytes) {
    const bool documented =
        run.status == 0 ? ends_complete(run.output) : run.status == 1 || run.status == 255;
    EXPECT_TRUE(run.signal == 0 && documented) << run.status << " " << run.signal << ": " << run.output;
    const std::vector<long> counted = progress(run.output);
    const bool kept = fs::exists(output);
    EXPECT_GE(kept ? long(decode(output).size() / picture_bytes) : 0L,
              std::max(counted.empty() ? 0L : counted.back(), long(kept)))
        << run.output;
}

// Refused runs change no file (MPEG transport streams would take ProRes without a word and give
// files nothing finds a picture in) and say why on standard error, in one line of our own. Then
// cuts and flipped bytes before and after where the pictures start (Matroska's first cluster; the
// MP4 keeps its index last), every other case with --audio, which reads the inputs' sound too.
// Status -1: any.
TEST(Hardening, RefusedAndDamagedInputs) {
    TempDir dir;
    const std::string source = "testsrc2=size=160x120:rate=25:duration=1", out = dir.file("out.mov"),
                      a = dir.file("a.mkv"), old = dir.file("old.mp4"),
                      same = "Error, output file is the same",
                      opened = "framenum 25\nwidth=160\nheight=120\n", sound = "-f lavfi -i sine=duration=1 ";
    for (const char* name : {"a.mkv", "a.ts", "a.mp4"}) ASSERT_TRUE(make_clip(dir.file(name), source, sound));
    ASSERT_TRUE(make_clip(dir.file("a.mov"), source, sound + "-movflags +faststart"));
    ASSERT_TRUE(make_clip(dir.file("odd.mkv"), source + ",scale=161:120", "-c:v ffv1 -pix_fmt yuv444p"));
    ASSERT_TRUE(make_clip(dir.file("sound.wav"), "sine=duration=0.2"));
    std::ofstream(old) << "earlier work";
    const std::string mkv_way = dir.path + "/../" + dir.path.substr(dir.path.rfind('/') + 1) + "/a.mkv";
    std::vector<std::tuple<std::string, std::string, int, std::string, std::string>> cases = {
        // input, output, status, what the console holds, the line on standard error
        {a, old, 1, opened + "Error, the mp4 format cannot hold ProRes video\n",
         "output '" + old + "': the mp4 format cannot hold ProRes video; name it .mov, .mkv or .mxf"},
        {a, dir.file("out.ts"), 1, opened, "the mpegts format cannot hold ProRes video"},
        {a, dir.file("missing/out.mov"), 1, opened,
         "cannot create output '" + dir.file("missing/out.mov") + "': No such file or directory"},
        {a, mkv_way, 1, same,
         "output '" + mkv_way + "' is the input file itself: give the output another name"},
        {a, "file:" + a, 1, same, "is the input file itself"},
        {dir.file("sound.wav"), out, 1, "", "input '" + dir.file("sound.wav") + "' has no video stream"},
        {dir.file("odd.mkv"), out, 1, "width=161\n",
         "the ProRes encoder refuses the picture size 161x120: it takes even widths only (any height)"},
        {dir.file("none.mkv"), out, 255, "",
         "cannot open input '" + dir.file("none.mkv") + "': No such file or directory"}};
    auto add = [&](const std::string& name, const std::string& contents, int status,
                   const std::string& console, const std::string& error = "") {
        std::ofstream(dir.file(name), std::ios::binary) << contents;
        cases.emplace_back(dir.file(name), out, status, console, error);
    };
    std::mt19937 random(7);
    auto flipped = [&](std::string data, size_t from, size_t to) {
        for (int i = 0; i < 12; ++i) data[from + random() % (to - from)] ^= '\xFF';
        return data;
    };
    std::string noise(65536, '\0');
    for (char& byte : noise) byte = static_cast<char>(random());
    add("empty", "", 255, "", "cannot open input '" + dir.file("empty") + "': Invalid data found");
    add("noise", noise, -1, "");
    for (const std::string kind : {"mkv", "ts", "mp4", "mov"}) {
        const std::string data = slurp(dir.file("a." + kind));
        const size_t split = kind == "mkv"   ? data.find("\x1F\x43\xB6\x75")
                             : kind == "mp4" ? data.rfind("moov") - 4
                                             : 1000;
        for (int tenths : {1, 5, 9})
            add(kind + "-cut-" + std::to_string(tenths), data.substr(0, data.size() * tenths / 10),
                kind == "mp4" ? 255 : -1, "");
        add(kind + "-flipped-before-" + std::to_string(split), flipped(data, 0, split), -1, "");
        add(kind + "-flipped-after", flipped(data, split, data.size()), -1, "");
        if (kind == "mkv")
            add("mkv-cut-after-cluster-id", data.substr(0, split + 4), 1,
                "Error, the input gave no picture to encode\n", "gave no picture to encode");
    }
    bool audio = true;
    for (const auto& [in, to, status, console, error] : cases) {
        audio = !audio;
        SCOPED_TRACE(in + " to " + to + (audio ? " with --audio" : ""));
        auto contents = [&] { return fs::exists(to) ? slurp(to) : "(none)"; };
        const std::string before = contents();
        Child run = prolut({audio ? "--audio" : "--", in, to});
        EXPECT_TRUE(error.empty() || one_line_of_ours(run.errors, error)) << run.errors;
        EXPECT_TRUE(status < 0 || run.status == status) << run.status << "\n" << run.output;
        EXPECT_NE(run.output.find(console), std::string::npos) << run.output;
        EXPECT_TRUE(status <= 0 || (contents() == before && progress(run.output).empty())) << run.output;
        if (before == "(none)") expect_orderly(run, to, 160 * 120 * 4);
        EXPECT_TRUE(!audio || before != "(none)" || !fs::exists(to) || sound_gap(to) <= 0.001)
            << "the sound ends with the last picture";
        fs::remove(out);
    }
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    // /dev/full refuses every byte and must stay in place. 25 HQ pictures make 370 KB: the limit
    // strikes mid-run, as SIGXFSZ, then EFBIG; a shorter run over what is left replaces it whole.
    EXPECT_EQ(prolut({a, "/dev/full"}).status, 1);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    Child capped = command("prlimit --fsize=204800 " PROLUT_BINARY " " + a + " " + out + " 3");
    EXPECT_TRUE(capped.signal == 0 && capped.status == 1) << capped.signal << " " << capped.status;
    EXPECT_NE(capped.output.find("\n Error while writing video frame: "), std::string::npos) << capped.output;
    EXPECT_EQ(prolut({a, out}).status, 0);
    EXPECT_EQ(prolut({a, dir.file("fresh.mov")}).status, 0);
    EXPECT_TRUE(slurp(out) == slurp(dir.file("fresh.mov"))) << fs::file_size(out);
}

// Each argument in turn empty, 64 KiB long and non-ASCII (the columns of the tables), in a directory
// of its own, where only a successful run leaves a file, and the snapshot "D:\temp.mov" always. What
// stops a run before its first picture is said on standard error.
TEST(Hardening, HostileArguments) {
    TempDir clips;
    const std::string input = clips.file("in.mkv"),
                      usage = "Usage: ", cube = "NivlotosRGB.cube\nFail to read the cube file.\n",
                      snapshot = "Error, could not open snapshot file";
    ASSERT_TRUE(make_clip(input, "testsrc2=size=64x48:rate=25:duration=1"));
    const std::vector<std::string> before = {input, "out.mov", "1", "n", "0", "", "shot.rgb"};
    const char fills[] = "aaay4aa";  // of the long text: the custom road on, colour mode 4
    const int statuses[7][3] = {{255, 255, 255}, {1, 1, 0},       {1, 1, 1}, {0, 0, 0},
                                {1, 255, 1},     {255, 255, 255}, {1, 1, 0}};
    const std::string consoles[7][3] = {
        {}, {}, {}, {}, {usage, cube, usage}, {cube, "", "é\n"}, {snapshot, snapshot, ""}};
    const std::string errors_said[7][3] = {
        {"cannot open input '': No such file", "cannot open input 'aaaa",
         "cannot open input 'é': No such file"},
        {"cannot create output '': No such file", "File name too long", ""},
        {"refuses profile -48: give 0 (Proxy), 1 (LT), 2 (SQ) or 3 (HQ)", "refuses profile 49",
         "profile -109"},
        {},
        {"colour mode '' is not a digit from 0 to 9", "", "colour mode 'é' is not a digit"}};
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
            const std::string& said = errors_said[p][t];
            EXPECT_TRUE(said.empty() || one_line_of_ours(run.errors, said)) << run.errors.substr(0, 300);
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
