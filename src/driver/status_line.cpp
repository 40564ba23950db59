#include "driver/status_line.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/time.h>
}

// Often enough to watch it move, seldom enough to cost nothing.
static const int64_t redraw_interval = 250000;  // microseconds

static const char wipe[] = "\r\033[K";  // back to the start of the line, cleared to its end

static bool line_active;
static bool stdout_shares_terminal;
static int64_t started, next_draw;

// FFmpeg logs from its own threads too, so the line and its state are changed under a lock.
// A signal handler only reads line_shown.
static std::mutex line_lock;
static volatile sig_atomic_t line_shown = 0;
static bool log_line_open;  // a library message not yet ended with its line feed

static void format_duration(char* text, size_t size, int64_t seconds) {
    if (seconds >= 3600) {
        snprintf(text, size, "%" PRId64 ":%02d:%02d", seconds / 3600, static_cast<int>(seconds / 60 % 60),
                 static_cast<int>(seconds % 60));
    } else {
        snprintf(text, size, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    }
}

int format_status_line(char* text, size_t size, const StatusFigures& figures) {
    char total[32] = "", speed[32] = "", spent[32], left[48] = "";
    if (figures.total > 0) {
        snprintf(total, sizeof total, "/%s%" PRId64, figures.total_estimated ? "~" : "", figures.total);
    }
    const double rate = figures.seconds > 0 ? figures.encoded / figures.seconds : 0;
    if (figures.frame_rate > 0) snprintf(speed, sizeof speed, "  speed %.2fx", rate / figures.frame_rate);
    format_duration(spent, sizeof spent, static_cast<int64_t>(figures.seconds));
    if (!figures.final && rate > 0 && figures.total > figures.encoded) {
        char duration[32];
        format_duration(duration, sizeof duration,
                        static_cast<int64_t>(std::ceil((figures.total - figures.encoded) / rate)));
        snprintf(left, sizeof left, "  %s left", duration);
    }
    int length = snprintf(text, size, "frame %" PRId64 "%s  %.1f fps%s  %s spent%s", figures.encoded, total,
                          rate, speed, spent, left);
    if (length < 0) return 0;
    return static_cast<size_t>(length) < size ? length : static_cast<int>(size) - 1;
}

static void end_shown_line() {
    if (line_shown) {
        fputc('\n', stderr);
        line_shown = 0;
    }
}

// Library messages at a level that is printed start a line of their own; the line comes
// back at its next turn.
static void log_beside_status_line(void* context, int level, const char* format, va_list arguments) {
    if ((level & 0xff) > av_log_get_level()) return;
    char text[1024];
    int print_prefix = 1;
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(context, level, format, copy, text, sizeof text, &print_prefix);
    va_end(copy);
    const size_t length = strlen(text);
    std::lock_guard<std::mutex> hold(line_lock);
    end_shown_line();
    av_log_default_callback(context, level, format, arguments);
    if (length > 0) log_line_open = text[length - 1] != '\n';
}

void status_line_begin() {
    if (!isatty(STDERR_FILENO)) return;
    struct stat out = {}, err = {};
    stdout_shares_terminal = fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
                             S_ISCHR(out.st_mode) && out.st_rdev == err.st_rdev;
    started = av_gettime_relative();
    next_draw = started;  // the first picture shows it
    line_active = true;
    av_log_set_callback(log_beside_status_line);
}

// A background job keeps the terminal's current line to the shell.
static bool in_background() {
    const pid_t foreground = tcgetpgrp(STDERR_FILENO);
    return foreground > 0 && foreground != getpgrp();
}

static void draw_status_line(const TranscodeState* state, int64_t now, bool final) {
    next_draw = now + redraw_interval;
    if (!final && in_background()) return;
    const StatusFigures figures{state->written_packets,          state->total_frames,
                                state->frame_limit == 0,         (now - started) / 1e6,
                                av_q2d(state->input_frame_rate), final};
    char text[256];
    const size_t prefix = sizeof wipe - 1;
    memcpy(text, wipe, prefix);
    int length = format_status_line(text + prefix, sizeof text - prefix - 1, figures);
    // A line longer than the terminal would wrap, and the carriage return would no longer
    // reach its start.
    struct winsize window {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 1 && length >= window.ws_col) {
        length = window.ws_col - 1;
    }
    length += static_cast<int>(prefix);
    if (final) text[length++] = '\n';
    std::lock_guard<std::mutex> hold(line_lock);
    if (log_line_open) {
        if (!final) return;
        fputc('\n', stderr);
        log_line_open = false;
    }
    const char* start = line_shown ? text : text + prefix;
    line_shown = !final;
    fwrite(start, 1, text + length - start, stderr);
}

void status_line_update(const TranscodeState* state) {
    if (!line_active) return;
    const int64_t now = av_gettime_relative();
    if (now >= next_draw) draw_status_line(state, now, false);
}

void print_beside_status_line(ConsoleLine kind, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::lock_guard<std::mutex> hold(line_lock);
    if (line_active && stdout_shares_terminal) {
        if (log_line_open) {
            fputc('\n', stderr);
            log_line_open = false;
        } else if (line_shown && kind == CONSOLE_PROGRESS) {
            fputs(wipe, stderr);
            line_shown = 0;
            next_draw = 0;
        }
        end_shown_line();
        vprintf(format, arguments);
        fflush(stdout);
    } else {
        vprintf(format, arguments);
    }
    va_end(arguments);
}

void status_line_end(const TranscodeState* state) {
    if (!line_active) return;
    draw_status_line(state, av_gettime_relative(), true);
    line_active = false;
}

void status_line_end_at_once() {
    if (line_shown) {
        const ssize_t ignored = write(STDERR_FILENO, "\n", 1);
        (void)ignored;
    }
}
