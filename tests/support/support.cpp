#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>

// A new terminal that passes line feeds on as they are written.
static bool open_terminal(int* master, int* slave) {
    termios settings{};
    if (openpty(master, slave, nullptr, nullptr, nullptr) != 0 || tcgetattr(*slave, &settings) != 0)
        return false;
    settings.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    return tcsetattr(*slave, TCSANOW, &settings) == 0;
}

bool start(Child* child, const std::vector<std::string>& argv, int terminal, const std::string& input,
           const std::string& cwd) {
    std::vector<char*> args;
    for (const std::string& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    child->deadline = time(nullptr) + 60;
    child->terminal = terminal & TERMINAL_IN_OUT;
    const bool err_alone = terminal == TERMINAL_ERR;
    int in = -1, out[2] = {-1, -1}, slave = -1, err_slave = -1, errors[2] = {-1, -1};
    bool ready = child->terminal
                     ? open_terminal(&child->out, &slave)
                     : (in = open(input.c_str(), O_RDONLY | O_CLOEXEC)) >= 0 && pipe2(out, O_CLOEXEC) == 0;
    if (!child->terminal) child->out = out[0];
    if (ready && err_alone) ready = open_terminal(&child->err, &err_slave);
    if (ready && (terminal & ERRORS_PIPED)) ready = pipe2(errors, O_CLOEXEC) == 0, child->err = errors[0];
    if (ready) child->pid = fork();
    if (child->pid == 0) {  // only async-signal-safe calls from here to exec
        int test_stderr = terminal & ERRORS_PIPED ? errors[1] : fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if ((!cwd.empty() && chdir(cwd.c_str()) != 0) ||
            (child->terminal ? login_tty(slave) != 0 : dup2(in, 0) < 0 || dup2(out[1], 1) < 0))
            _exit(127);
        // A terminal of its own on standard error is the controlling one, as a user's is.
        if (err_alone && (setsid() < 0 || ioctl(err_slave, TIOCSCTTY, 0) < 0)) _exit(127);
        if (!(terminal & TERMINAL_ERR)) dup2(test_stderr, STDERR_FILENO);
        if (err_alone) dup2(err_slave, STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    for (int fd : {in, out[1], slave, err_slave, errors[1]}) close(fd);  // -1 is no descriptor, and harmless
    return child->pid > 0;
}

bool read_more(Child* child) {
    pollfd ready[2] = {{child->out, POLLIN, 0}, {child->err, POLLIN, 0}};  // a negative fd is skipped
    const long long left = (child->deadline - time(nullptr)) * 1000;
    if (left <= 0 || poll(ready, 2, static_cast<int>(left)) <= 0)
        kill(child->pid, SIGKILL), ready[0].revents = 1;
    char buffer[65536];
    ssize_t count = 1;
    if (ready[1].revents && (count = read(child->err, buffer, sizeof buffer)) > 0)
        child->errors.append(buffer, count);
    if (count <= 0) close(child->err), child->err = -1;
    if (ready[0].revents && (count = read(child->out, buffer, sizeof buffer)) > 0)
        child->output.append(buffer, count);
    return ready[0].revents == 0 || count > 0 || child->err >= 0;  // a terminal left by all reads EIO
}

void finish(Child* child) {
    while (child->pid > 0 && read_more(child)) continue;
    int status = 0;
    if (child->pid > 0 && waitpid(child->pid, &status, 0) > 0) {
        child->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        child->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    child->pid = -1;
    if (!child->terminal && child->out >= 0) close(child->out), child->out = -1;  // copies may follow
}

Child::~Child() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    if (out >= 0) close(out);
    if (err >= 0) close(err);
}

Child prolut(std::vector<std::string> arguments, const std::string& cwd, const std::string& input,
             int terminal) {
    arguments.insert(arguments.begin(), PROLUT_BINARY);
    Child child;
    if (start(&child, arguments, terminal, input, cwd)) finish(&child);
    fputs(child.errors.c_str(), stderr);  // for the test's log, as when the program writes there
    return child;
}

Child command(const std::string& text) {
    Child child;
    if (start(&child, words(text))) finish(&child);
    return child;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream split(text);
    return {std::istream_iterator<std::string>(split), std::istream_iterator<std::string>()};
}

bool ffmpeg(const std::string& words) { return command("ffmpeg -v error -y " + words).status == 0; }

bool make_clip(const std::string& path, const std::string& source, const std::string& encoding) {
    return ffmpeg("-f lavfi -i " + source + " " + encoding + " " + path);
}

std::string decode(const std::string& path) {
    Child decoded =
        command("ffmpeg -v error -xerror -i " + path + " -map 0:v:0 -f rawvideo -pix_fmt yuv422p10le -");
    return decoded.status == 0 ? decoded.output : "";
}

std::string decode_sound(const std::string& path, int index) {
    Child decoded = command("ffmpeg -v error -xerror -i " + path + " -map 0:a:" + std::to_string(index) +
                            " -ac 1 -f s16le -c:a pcm_s16le -");
    return decoded.status == 0 ? decoded.output : "";
}

std::string probe(const std::string& path, const std::string& entries, const std::string& streams) {
    const std::string selected = streams.empty() ? "" : "-select_streams " + streams;
    std::string values = command("ffprobe -v error " + selected + " -count_frames -show_entries " + entries +
                                 " -of default=noprint_wrappers=1:nokey=1 " + path)
                             .output;
    std::replace(values.begin(), values.end(), '\n', ' ');
    return values.empty() ? values : values.substr(0, values.size() - 1);
}

double seconds_of_pictures(const std::string& path) {
    std::istringstream video(probe(path, "stream=r_frame_rate,nb_read_frames"));
    long num = 0, den = 0, frames = 0;
    char slash = 0;
    return video >> num >> slash >> den >> frames && num > 0 ? double(frames) * den / num : -1;
}

double sound_gap(const std::string& path) {
    std::istringstream rates(probe(path, "stream=sample_rate", "a"));
    const double pictures = seconds_of_pictures(path);
    double rate = 0, gap = -1;
    for (int a = 0; rates >> rate; ++a)
        gap = std::max(gap, std::abs(decode_sound(path, a).size() / 2 / rate - pictures));
    return gap;
}

std::vector<long> progress(const std::string& console) {
    std::vector<long> numbers;
    for (size_t at = 0; (at = console.find("\n frame ", at)) != std::string::npos; at += 8)
        numbers.push_back(std::stol(console.substr(at + 8)));
    return numbers;
}

bool ends_complete(const std::string& console) {
    return console.size() >= 10 && console.compare(console.size() - 10, 10, "\nComplete\n") == 0;
}

bool one_line_of_ours(const std::string& errors, const std::string& text) {
    const size_t ours = errors.find("prolut: ");
    return ours != std::string::npos && errors.find("prolut: ", ours + 1) == std::string::npos &&
           errors.find(text, ours) < errors.find('\n', ours);
}

std::string slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
