#pragma once
// For the end-to-end tests: programs run with a deadline (a hang fails a test instead of stalling
// the suite), ffmpeg and ffprobe asked about files, a scratch directory per test.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct Child {
    int pid = -1, out = -1;  // out: standard output, or the master side of the child's terminal
    int err = -1;            // the master side of a terminal on standard error alone
    bool terminal = false;
    long deadline = 0;   // time() past which the child is killed
    std::string output;  // read so far, as written: the terminals here leave line feeds alone
    std::string errors;  // read so far from err
    int status = -1;     // once finished; -1 when a signal ended the child
    int signal = 0;      // that signal; SIGKILL when the deadline did
    ~Child();
};

// Standard input is the file input, or a new terminal that is standard output too; standard
// error stays the test's, so that what the child reports there lands in the test's log. With
// TERMINAL_ERR standard error is a terminal too: the same one, or, alone, one of its own; with
// ERRORS_PIPED it is a pipe read into errors.
enum { TERMINAL_IN_OUT = 1, TERMINAL_ERR = 2, ERRORS_PIPED = 4 };
bool start(Child* child, const std::vector<std::string>& argv, int terminal = 0,
           const std::string& input = "/dev/null", const std::string& cwd = "");
bool read_more(Child* child);  // a chunk of standard output or err; false at the end of both
void finish(Child* child);     // the rest of the output, and the status; a terminal stays open
// The program run to its end, what it writes on standard error in errors (and the test's log)
// unless given terminals.
Child prolut(std::vector<std::string> arguments, const std::string& cwd = "",
             const std::string& input = "/dev/null", int terminal = ERRORS_PIPED);
Child command(const std::string& text);  // its words as arguments (no path here holds a blank)
std::vector<std::string> words(const std::string& text);

bool ffmpeg(const std::string& words);  // true on exit status 0
bool make_clip(const std::string& path, const std::string& source, const std::string& encoding = "");
std::string decode(const std::string& path);  // the first video stream as yuv422p10le; "" on error
// ffprobe's values, joined by blanks, of the first video stream (or the streams named, "" for all)
// with its frames counted, in its order.
std::string probe(const std::string& path, const std::string& entries, const std::string& streams = "v:0");
// Audio stream `index` as 16-bit samples at its own rate, its channels mixed into one; "" on error.
std::string decode_sound(const std::string& path, int index);
double seconds_of_pictures(const std::string& path);  // frames counted, at the stream's rate
// The most any audio stream's length differs from the pictures', in seconds; -1 without sound.
double sound_gap(const std::string& path);
std::vector<long> progress(const std::string& console);  // the numbers of the " frame N" lines
bool ends_complete(const std::string& console);
// Whether standard error holds one line of the program's own ("prolut: ..."), and text in it.
bool one_line_of_ours(const std::string& errors, const std::string& text);
std::string slurp(const std::string& path);

struct TempDir {  // a fresh directory, removed with everything in it at scope exit
    std::string path = std::filesystem::temp_directory_path() / "prolut-test-XXXXXX";
    std::error_code ignored;
    TempDir() { path = mkdtemp(&path[0]) != nullptr ? path : ""; }
    ~TempDir() { std::filesystem::remove_all(path, ignored); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};
