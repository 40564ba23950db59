#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>

static long long now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

static void kill_on_deadline(ChildProcess* child) {
    if (child->timed_out || now_ms() < child->deadline_ms) return;
    kill(child->pid, SIGKILL);
    child->timed_out = true;
}

bool start_process(ChildProcess* child, const std::vector<std::string>& arguments, ChildInput input,
                   int timeout_seconds) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    *child = ChildProcess{};
    child->deadline_ms = now_ms() + timeout_seconds * 1000LL;
    child->on_terminal = input == ChildInput::terminal;
    // A test writing into a pipe whose reader has gone must see EPIPE, not die.
    signal(SIGPIPE, SIG_IGN);

    int child_in = -1, child_out = -1, terminal = -1;
    int out_pipe[2] = {-1, -1}, in_pipe[2] = {-1, -1};
    bool ready = false;
    if (child->on_terminal) {
        ready = openpty(&child->output_fd, &terminal, nullptr, nullptr, nullptr) == 0;
        if (ready) fcntl(child->output_fd, F_SETFD, FD_CLOEXEC);
    } else {
        ready = pipe2(out_pipe, O_CLOEXEC) == 0 &&
                (input == ChildInput::pipe ? pipe2(in_pipe, O_CLOEXEC) == 0
                                           : (in_pipe[0] = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0);
        child->output_fd = out_pipe[0];
        child->input_fd = in_pipe[1];
        child_in = in_pipe[0];
        child_out = out_pipe[1];
    }
    if (ready) child->pid = fork();
    if (child->pid == 0) {
        // Only async-signal-safe calls from here to exec.
        signal(SIGPIPE, SIG_DFL);
        if (terminal >= 0) {
            int test_stderr = dup(STDERR_FILENO);
            if (login_tty(terminal) != 0) _exit(127);
            dup2(test_stderr, STDERR_FILENO);
            close(test_stderr);
        } else {
            dup2(child_in, STDIN_FILENO);
            dup2(child_out, STDOUT_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    for (int fd : {terminal, child_in, child_out}) {
        if (fd >= 0) close(fd);
    }
    return child->pid > 0;
}

// One chunk of output, or false at its end or on timeout.
static bool read_chunk(ChildProcess* child) {
    for (;;) {
        kill_on_deadline(child);
        if (child->timed_out) return false;
        pollfd ready{child->output_fd, POLLIN, 0};
        int waiting = poll(&ready, 1, static_cast<int>(child->deadline_ms - now_ms()) + 1);
        if (waiting < 0 && errno != EINTR) return false;
        if (waiting <= 0) continue;
        char buffer[4096];
        ssize_t count = read(child->output_fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;  // a terminal whose last user closed it reads EIO
        for (ssize_t i = 0; i < count; ++i) {
            if (!(child->on_terminal && buffer[i] == '\r')) child->output += buffer[i];
        }
        return true;
    }
}

bool read_output_until(ChildProcess* child, const std::function<bool(const std::string&)>& done) {
    while (!done(child->output)) {
        if (!read_chunk(child)) return false;
    }
    return true;
}

ProcessResult finish_process(ChildProcess* child) {
    while (read_chunk(child)) {
    }
    int status = 0;
    bool reaped = false;
    while (!reaped) {
        pid_t pid = waitpid(child->pid, &status, WNOHANG);
        reaped = pid == child->pid;
        if (pid < 0 && errno != EINTR) break;
        kill_on_deadline(child);
        if (!reaped) usleep(5000);
    }
    for (int fd : {child->output_fd, child->input_fd}) {
        if (fd >= 0) close(fd);
    }
    ProcessResult result;
    if (reaped && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    result.timed_out = child->timed_out;
    result.output = child->output;
    *child = ChildProcess{};
    return result;
}

ProcessResult run_process(const std::vector<std::string>& arguments, int timeout_seconds) {
    ChildProcess child;
    if (!start_process(&child, arguments, ChildInput::null_device, timeout_seconds)) return ProcessResult{};
    return finish_process(&child);
}
