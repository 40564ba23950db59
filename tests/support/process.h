#pragma once
// Runs a program as a child process and collects its standard output. Every child has a
// deadline: past it the child is killed and the result says so, so a hang fails a test
// instead of stalling the suite.
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

enum class ChildInput {
    null_device,  // standard input reads /dev/null
    pipe,         // a pipe the test may write into; kept open until the child is finished
    terminal,     // a new pseudo-terminal: the controlling terminal, standard input and output
};

struct ChildProcess {
    pid_t pid = -1;
    int output_fd = -1;  // read end of the stdout pipe, or the terminal's master side
    int input_fd = -1;   // write end of the stdin pipe (ChildInput::pipe only)
    bool on_terminal = false;
    bool timed_out = false;
    long long deadline_ms = 0;
    std::string output;  // what was read so far; "\r\n" from a terminal becomes "\n"
};

struct ProcessResult {
    int exit_status = -1;  // -1 when a signal ended the child
    bool timed_out = false;
    std::string output;
};

// Standard error stays the test's own, so that what the child reports there (a sanitizer's
// findings, say) lands in the test's log. False when the child could not be started.
bool start_process(ChildProcess* child, const std::vector<std::string>& arguments, ChildInput input,
                   int timeout_seconds = 60);

// Reads standard output until done(output so far) holds; false at end of output or on timeout.
bool read_output_until(ChildProcess* child, const std::function<bool(const std::string&)>& done);

// Reads to the end of the output, closes the input and reaps the child.
ProcessResult finish_process(ChildProcess* child);

// start_process with /dev/null as input, then finish_process.
ProcessResult run_process(const std::vector<std::string>& arguments, int timeout_seconds = 60);
