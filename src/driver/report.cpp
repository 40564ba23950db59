#include "driver/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

ErrorText error_text(int status) {
    ErrorText words{};
    if (av_strerror(status, words.text, sizeof words.text) < 0) {
        snprintf(words.text, sizeof words.text, "error %d", status);
    }
    return words;
}

void report_failure(const char* format, ...) {
    // Built whole and written at once, so that nothing lands in the middle of the line,
    // however long the path it names.
    static const char name[] = "prolut: ";
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    char* line = length < 0 ? nullptr : static_cast<char*>(malloc(sizeof name + size_t(length) + 1));
    if (line != nullptr) {
        memcpy(line, name, sizeof name - 1);
        vsnprintf(line + sizeof name - 1, size_t(length) + 1, format, again);
        line[sizeof name - 1 + size_t(length)] = '\n';
        fflush(stdout);
        fwrite(line, 1, sizeof name + size_t(length), stderr);
        free(line);
    }
    va_end(again);
}
