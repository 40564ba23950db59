// Writes the fuzz targets' seed corpora into DIR/cube_lut and DIR/command_line: every
// cube text the loader tests use, valid and broken, cubes of several sizes, one holding
// values the float conversions must survive, and a few command lines.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cube_cases.h"

static bool write_file(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

static std::string joined_arguments(const std::vector<std::string>& arguments) {
    std::string bytes;
    for (const std::string& argument : arguments) bytes += argument + '\0';
    bytes.pop_back();
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_fuzz_seeds DIR\n");
        return 1;
    }
    const std::string cubes = std::string(argv[1]) + "/cube_lut/";
    const std::string command_lines = std::string(argv[1]) + "/command_line/";
    mkdir(argv[1], 0755);
    mkdir(cubes.c_str(), 0755);
    mkdir(command_lines.c_str(), 0755);

    bool written = true;
    for (const CubeCase& c : cube_load_cases()) written &= write_file(cubes + c.name, c.text);
    for (int size : {2, 3, 4, 5, 17, 32}) {
        written &= write_file(cubes + "identity" + std::to_string(size), identity_cube(size));
    }
    const float extremes[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 1.0000001f, -1e-7f};
    written &= write_file(cubes + "extremes", make_cube(3, [&extremes](int i, int j, int k) {
                              int e = i + 3 * j + 9 * k;
                              return e == 0 ? CubeEntry{0, 0, 0}
                                            : CubeEntry{extremes[e % 7], extremes[(e + 3) % 7], float(i) / 2};
                          }));

    const std::vector<std::vector<std::string>> lines = {
        {"prolut", "in.mp4", "out.mov"},
        {"prolut", "in.mp4", "out.mov", "3"},
        {"prolut", "in.mp4", "out.mov", "3HQ", "yes", "1"},
        {"prolut", "in.mp4", "out.mov", "0", "y", "4", "grade.cube"},
        {"prolut", "in.mp4", "out.mov", "3", "y", "4", "", "snap.rgb"},
        {"prolut", "in.mp4", "out.mov", "", "", "/"},
        {"prolut", "in.mp4"},
    };
    int n = 0;
    for (const auto& line : lines) written &= write_file(command_lines + "line" + std::to_string(n++), joined_arguments(line));
    return written ? 0 : 1;
}
