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

// Before a progress line on standard output: when that is the same terminal, the line is
// wiped; the encoder call's update draws it again below the progress line.
void status_line_make_way();

// Before a message on standard output: when that is the same terminal, the line is ended
// with a line feed, so the message starts a line of its own.
void status_line_break();

// The final figures, ended with a line feed; nothing is shown after it.
void status_line_end(const TranscodeState* state);

// From a signal handler, just before the process ends: a line feed if the line is shown.
void status_line_end_at_once();
