// Any bytes as a command line: the NUL-separated pieces are the arguments, the program's
// name first. The parser must never read past an argument, must take as options exactly the
// leading arguments that look like options, and must accept exactly 2..7 positional arguments
// with a colour mode that is not negative.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/command_line.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The usage text would drown the fuzzer's own output.
    return freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

namespace {

const char* const long_names[] = {"audio", "timecode", "precise", "help", "version"};

// What getopt_long makes of one leading argument: the long option it names (an exact name or
// the start of exactly one), -1 for an unknown one. Short options are only "h".
int long_option(const std::string& argument) {
    const std::string name = argument.substr(2);
    int found = -1, matches = 0;
    for (int i = 0; i < 5; ++i) {
        if (name == long_names[i]) return i;
        if (strncmp(long_names[i], name.c_str(), name.size()) == 0) found = i, ++matches;
    }
    return matches == 1 ? found : -1;
}

struct Expected {
    bool question = false, unknown = false, flags[3] = {false, false, false};
    size_t first_positional = 1;
};

Expected expect(const std::vector<std::string>& arguments) {
    Expected e;
    size_t a = 1;
    for (; a < arguments.size(); ++a) {
        const std::string& argument = arguments[a];
        if (argument.size() < 2 || argument[0] != '-') break;
        if (argument == "--") {
            ++a;
            break;
        }
        if (argument[1] == '-') {
            const int option = argument.find('=') != std::string::npos ? -1 : long_option(argument);
            if (option < 0) e.unknown = true;
            else if (option < 3) e.flags[option] = true;
            else e.question = true;
            continue;
        }
        for (size_t c = 1; c < argument.size(); ++c) {
            if (argument[c] == 'h') e.question = true;
            else e.unknown = true;
        }
    }
    e.first_positional = a;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size && arguments.size() <= 12; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += char(data[i]);
        }
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int argc = int(arguments.size());
    const Expected e = expect(arguments);
    const size_t count = arguments.size() - e.first_positional;

    RunOptions options;
    const CommandLineOutcome outcome = parse_run_options(argc, argv.data(), &options);
    if ((outcome == COMMAND_LINE_ANSWERED) != e.question) __builtin_trap();
    if (e.question) return 0;
    const bool countable = count >= 2 && count <= 7;
    const char* mode = count >= 5 ? argv[e.first_positional + 4] : "0";
    const bool accepted = !e.unknown && countable && static_cast<signed char>(mode[0]) >= '0';
    if ((outcome == COMMAND_LINE_RUN) != accepted) __builtin_trap();
    if (!accepted) return 0;
    apply_snapshot_override(&options);
    const bool snapshot = count == 7;
    if (options.snapshot_enabled != snapshot || options.colour_mode < 0) __builtin_trap();
    if (options.output_path != (snapshot ? snapshot_output_path : argv[e.first_positional + 1])) __builtin_trap();
    if (options.input_path != argv[e.first_positional]) __builtin_trap();
    if (options.audio != e.flags[0] || options.timecode != e.flags[1] || options.precise != e.flags[2])
        __builtin_trap();
    return 0;
}
