#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>

bool start(Child* child, const std::vector<std::string>& argv, bool terminal, const std::string& input,
           const std::string& cwd, const std::string& errors) {
    std::vector<char*> args;
    for (const std::string& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    child->deadline = time(nullptr) + 60;
    child->terminal = terminal;
    int in = -1, out[2] = {-1, -1}, slave = -1;
    bool ready = terminal
                     ? openpty(&child->out, &slave, nullptr, nullptr, nullptr) == 0
                     : (in = open(input.c_str(), O_RDONLY | O_CLOEXEC)) >= 0 && pipe2(out, O_CLOEXEC) == 0;
    if (!terminal) child->out = out[0];
    if (ready) child->pid = fork();
    if (child->pid == 0) {  // only async-signal-safe calls from here to exec
        int test_stderr = errors.empty()
                              ? fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3)
                              : open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if ((!cwd.empty() && chdir(cwd.c_str()) != 0) ||
            (terminal ? login_tty(slave) != 0 : dup2(in, 0) < 0 || dup2(out[1], 1) < 0))
            _exit(127);
        dup2(test_stderr, STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    for (int fd : {in, out[1], slave}) close(fd);  // -1 is no descriptor, and harmless
    return child->pid > 0;
}

bool read_more(Child* child) {
    pollfd ready{child->out, POLLIN, 0};
    const long long left = (child->deadline - time(nullptr)) * 1000;
    if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) kill(child->pid, SIGKILL);
    char buffer[65536];
    const ssize_t count = read(child->out, buffer, sizeof buffer);
    for (ssize_t i = 0; i < count; ++i)
        if (!(child->terminal && buffer[i] == '\r')) child->output += buffer[i];
    return count > 0;  // a terminal whose last user has gone reads EIO
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
}

Child prolut(std::vector<std::string> arguments, const std::string& cwd) {
    arguments.insert(arguments.begin(), PROLUT_BINARY);
    Child child;
    if (start(&child, arguments, false, "/dev/null", cwd)) finish(&child);
    return child;
}

Child prolut(std::vector<std::string> arguments, std::string* errors, const std::string& cwd) {
    char path[] = "/tmp/prolut-stderr-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    arguments.insert(arguments.begin(), PROLUT_BINARY);
    Child child;
    if (fd >= 0 && start(&child, arguments, false, "/dev/null", cwd, path)) finish(&child);
    *errors = slurp(path);
    unlink(path);
    return child;
}

static Child run(const std::string& words) {  // the scratch paths hold no blanks
    std::istringstream split(words);
    Child child;
    if (start(&child, {std::istream_iterator<std::string>(split), {}})) finish(&child);
    return child;
}

bool ffmpeg(const std::string& words) { return run("ffmpeg -v error -y " + words).status == 0; }

bool make_clip(const std::string& path, const std::string& source, const std::string& encoding) {
    return ffmpeg("-f lavfi -i " + source + " " + encoding + " " + path);
}

std::string decode(const std::string& path) {
    Child decoded =
        run("ffmpeg -v error -xerror -i " + path + " -map 0:v:0 -f rawvideo -pix_fmt yuv422p10le -");
    return decoded.status == 0 ? decoded.output : "";
}

std::string probe(const std::string& path, const std::string& entries) {
    std::string values = run("ffprobe -v error -select_streams v:0 -count_frames -show_entries " + entries +
                             " -of default=noprint_wrappers=1:nokey=1 " + path)
                             .output;
    std::replace(values.begin(), values.end(), '\n', ' ');
    return values.empty() ? values : values.substr(0, values.size() - 1);
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

std::string slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
