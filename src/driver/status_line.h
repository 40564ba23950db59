#pragma once
// The live status line on standard error, when it is a terminal: pictures encoded, speed,
// time spent and left, rewritten in place a few times a second. Every other standard error
// (a pipe, a file) gets none of it, and standard output never does.
#include <cstddef>

#include "driver/transcode_state.h"

// What one status line shows.
struct StatusFigures {
    int64_t encoded;       // pictures written so far
    int64_t total;         // 0 when unknown
    bool total_estimated;  // from the duration, not counted by the container
    double seconds;        // spent since the loop began
    double frame_rate;     // the input's, for the speed as a multiple of real time
    bool final;            // the summary at the end: no time left
};

// The line's text, without carriage return or line feed, cut to size; its length.
int format_status_line(char* text, size_t size, const StatusFigures& figures);

// Starts the clock; shows the line from here on only when standard error is a terminal.
void status_line_begin();

// After each call of the encoder: a clock read, and a new line when one is due.
void status_line_update(const TranscodeState* state);

// What a line on standard output is to the status line.
enum ConsoleLine {
    CONSOLE_PROGRESS,  // wipes it; the encoder call's update draws it again below
    CONSOLE_MESSAGE,   // ends it with a line feed, so its figures stay above the message
};

// A line on standard output, written whole while FFmpeg's threads hold their messages back, so
// that none lands inside it. What it does to the status line counts only when standard output
// is the terminal the line is drawn on; either way the line stands on a line of its own.
void print_beside_status_line(ConsoleLine kind, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The final figures, ended with a line feed; nothing is shown after it.
void status_line_end(const TranscodeState* state);

// From a signal handler, just before the process ends: a line feed if the line is shown.
void status_line_end_at_once();
