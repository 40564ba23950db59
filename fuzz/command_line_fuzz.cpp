// Any bytes as a command line: the NUL-separated pieces are the arguments, the program's
// name first. The parser must never read past an argument, and must accept exactly the
// counts 3..8 with a colour mode that is not negative.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/command_line.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The usage text would drown the fuzzer's own output.
    return freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size && arguments.size() <= 10; ++i) {
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

    RunOptions options;
    const bool accepted = parse_run_options(argc, argv.data(), &options);
    const bool countable = argc >= 3 && argc <= 8;
    const bool mode_usable = argc < 6 || static_cast<signed char>(argv[5][0]) >= '0';
    if (accepted != (countable && mode_usable)) __builtin_trap();
    if (!accepted) return 0;
    apply_snapshot_override(&options);
    const bool snapshot = argc == 8;
    if (options.snapshot_enabled != snapshot || options.colour_mode < 0) __builtin_trap();
    if (options.output_path != (snapshot ? snapshot_output_path : argv[2])) __builtin_trap();
    if (options.input_path != argv[1]) __builtin_trap();
    return 0;
}
