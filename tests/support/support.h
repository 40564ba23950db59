#pragma once
// What the end-to-end tests share: programs run with a deadline (a hang fails a test instead
// of stalling the suite), ffmpeg and ffprobe asked about files, a scratch directory per test.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct Child {
    int pid = -1;
    int out = -1;  // standard output, or the master side of the child's terminal
    bool terminal = false;
    long deadline = 0;    // time() past which the child is killed
    std::string output;   // read so far; "\r\n" from a terminal becomes "\n"
    int status = -1;      // once finished; -1 when a signal or the deadline ended the child
    int signal = 0;       // the signal that ended the child; SIGKILL when the deadline did
    long file_limit = 0;  // when set before start, the largest file the child may write (RLIMIT_FSIZE)
    ~Child();
};

// Standard input is the file input, or a new terminal that is standard output too; standard
// error stays the test's own, so that what the child reports there lands in the test's log.
bool start(Child* child, const std::vector<std::string>& argv, bool terminal = false,
           const std::string& input = "/dev/null", const std::string& cwd = "");
// Reads a chunk of standard output; false at its end, which the deadline brings by killing the child.
bool read_more(Child* child);
// Reads to the end of the output and reaps the child; a terminal stays open until ~Child.
void finish(Child* child);
Child prolut(std::vector<std::string> arguments, const std::string& cwd = "");

// The ffmpeg CLI, quiet and overwriting; true on exit status 0.
bool ffmpeg(std::vector<std::string> arguments);
// ffmpeg -f lavfi -i source, then the encoding arguments (separated by blanks), then path.
bool make_clip(const std::string& path, const std::string& source, const std::string& encoding = "");
// Every picture of the first video stream as raw yuv422p10le; empty after any decoding error.
std::string decode(const std::string& path);
// ffprobe's values, joined by spaces, on the first video stream with its frames counted, for
// entries like "stream=width,height:format=format_name" (in ffprobe's order: packets, stream, format).
std::string probe(const std::string& path, const std::string& entries);
// The numbers of the " frame N" progress lines, in order.
std::vector<long> progress(const std::string& console);
bool ends_complete(const std::string& console);
std::string slurp(const std::string& path);

// A fresh directory, removed with everything in it at scope exit.
struct TempDir {
    std::string path = std::filesystem::temp_directory_path() / "prolut-test-XXXXXX";
    std::error_code ignored;
    TempDir() { path = mkdtemp(&path[0]) != nullptr ? path : ""; }
    ~TempDir() { std::filesystem::remove_all(path, ignored); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};
