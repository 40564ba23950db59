#include "driver/keyboard.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "driver/status_line.h"

volatile sig_atomic_t stop_requested = 0;

static struct termios saved_terminal;
static volatile sig_atomic_t terminal_changed = 0;

static void restore_terminal() {
    if (terminal_changed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
        terminal_changed = 0;
    }
}

static void on_stop_signal(int) {
    if (stop_requested) {
        status_line_end_at_once();
        restore_terminal();
        _exit(130);
    }
    stop_requested = 1;
}

void install_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A file size limit then shows as a write error instead of killing the run.
    signal(SIGXFSZ, SIG_IGN);
}

void keyboard_begin() {
    // A background job that touched the terminal would be stopped by SIGTTOU.
    if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
    struct termios polled = saved_terminal;
    polled.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    polled.c_cc[VMIN] = 0;
    polled.c_cc[VTIME] = 0;
    terminal_changed = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &polled) != 0) terminal_changed = 0;
}

bool keyboard_quit_pressed() {
    if (!terminal_changed) return false;
    struct pollfd input {
        STDIN_FILENO, POLLIN, 0
    };
    while (poll(&input, 1, 0) > 0 && (input.revents & POLLIN)) {
        char key = 0;
        if (read(STDIN_FILENO, &key, 1) != 1) return false;
        if (key == 'q') return true;
    }
    return false;
}

void keyboard_end() { restore_terminal(); }
