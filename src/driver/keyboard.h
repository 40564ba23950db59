#pragma once
#include <csignal>

// Set by the first SIGINT or SIGTERM; the loop stops at its next turn.
extern volatile sig_atomic_t stop_requested;

// SIGINT and SIGTERM stop the run in order; a second one ends the process at once.
// SIGPIPE and SIGXFSZ are ignored so a closed console pipe or a file size limit is an
// error, not a death.
void install_stop_signals();

// Puts a terminal on standard input into non-canonical, no-echo mode so that 'q' can be
// polled. Without a terminal (pipes, CI) or in the background nothing changes.
void keyboard_begin();

// True when 'q' has been typed; other keys are consumed. Never blocks.
bool keyboard_quit_pressed();

// Gives the terminal its settings back; safe to call more than once.
void keyboard_end();
