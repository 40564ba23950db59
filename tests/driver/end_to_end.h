#pragma once
// What the end-to-end tests share: the built program and the small clip most of them feed it.
#include <string>
#include <vector>

#include "media.h"
#include "process.h"
#include "temp_dir.h"

inline std::vector<std::string> prolut_command(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {PROLUT_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

inline ProcessResult run_prolut(const std::vector<std::string>& arguments) {
    return run_process(prolut_command(arguments));
}

// 160x120 H.264 test pattern at 25 frames a second; 2 s gives 50 frames.
inline bool make_pattern_clip(const std::string& path, const std::string& seconds = "2") {
    return make_clip(path, "testsrc2=size=160x120:rate=25:duration=" + seconds,
                     {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
}

inline bool ends_complete(const std::string& console) {
    const std::string tail = "\nComplete\n";
    return console.size() >= tail.size() &&
           console.compare(console.size() - tail.size(), tail.size(), tail) == 0;
}
