#pragma once
// Words for the user when a run cannot start: one line on standard error each.
extern "C" {
#include <libavutil/error.h>
}

// FFmpeg's own words for a status code; av_err2str cannot be used from C++.
struct ErrorText {
    char text[AV_ERROR_MAX_STRING_SIZE];
};
ErrorText error_text(int status);

// "prolut: " and the message on standard error, as one line. Standard output is left to
// the lines scripts read.
void report_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));
