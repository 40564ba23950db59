#include "media.h"

#include <cstdlib>
#include <sstream>

#include "process.h"

static std::vector<std::string> ffmpeg_command(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"ffmpeg", "-nostdin", "-hide_banner", "-v", "error", "-y"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

bool run_ffmpeg(const std::vector<std::string>& arguments) {
    ProcessResult result = run_process(ffmpeg_command(arguments));
    return result.exit_status == 0;
}

bool make_clip(const std::string& path, const std::string& source, const std::vector<std::string>& encoding) {
    std::vector<std::string> arguments = {"-f", "lavfi", "-i", source};
    arguments.insert(arguments.end(), encoding.begin(), encoding.end());
    arguments.push_back(path);
    return run_ffmpeg(arguments);
}

static std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

KeyValues probe_video(const std::string& path, const std::string& entries, bool count_frames) {
    std::vector<std::string> command = {"ffprobe", "-v", "error", "-select_streams", "v:0"};
    if (count_frames) command.push_back("-count_frames");
    command.insert(command.end(), {"-show_entries", entries, "-of", "default=noprint_wrappers=1", path});
    ProcessResult result = run_process(command);
    KeyValues values;
    if (result.exit_status != 0) return values;
    for (const std::string& line : lines_of(result.output)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

std::vector<std::string> probe_packets(const std::string& path, const std::string& entry) {
    ProcessResult result = run_process({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                        "packet=" + entry, "-of", "csv=p=0", path});
    if (result.exit_status != 0) return {};
    return lines_of(result.output);
}

std::vector<std::string> frame_hashes(const std::string& path) {
    ProcessResult result =
        run_process(ffmpeg_command({"-xerror", "-i", path, "-map", "0:v:0", "-f", "framemd5", "-"}));
    std::vector<std::string> hashes;
    if (result.exit_status != 0) return hashes;
    for (const std::string& line : lines_of(result.output)) {
        if (line[0] == '#') continue;
        size_t comma = line.rfind(',');
        hashes.push_back(line.substr(line.find_first_not_of(' ', comma + 1)));
    }
    return hashes;
}

std::vector<long> progress_numbers(const std::string& console) {
    std::vector<long> numbers;
    for (const std::string& line : lines_of(console)) {
        if (line.compare(0, 7, " frame ") == 0) numbers.push_back(strtol(line.c_str() + 7, nullptr, 10));
    }
    return numbers;
}
