// Writes the fuzz targets' seed corpora into DIR/cube_lut and DIR/command_line: every
// cube text the loader tests use, valid and broken, small cubes of several sizes, one holding
// values the float conversions must survive, one in an application's style, and a few
// command lines.
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

    // The cube target reads at most 4 KiB.
    bool written = true;
    for (const CubeCase& c : cube_load_cases()) {
        if (c.text.size() <= 4096) written &= write_file(cubes + c.name, c.text);
    }
    for (int size : {2, 3, 4, 5}) {
        written &= write_file(cubes + "identity" + std::to_string(size), identity_cube(size));
    }
    const float extremes[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 1.0000001f, -1e-7f};
    written &= write_file(cubes + "extremes", make_cube(3, [&extremes](int i, int j, int k) {
                              int e = i + 3 * j + 9 * k;
                              // The lattice starts at the first line of three plain numbers.
                              return e == 0 ? CubeEntry{0, 0, 0}
                                            : CubeEntry{extremes[e % 7], extremes[(e + 3) % 7], float(i) / 2};
                          }));
    // A lifted black as a script on Windows might write it: byte order mark, CR LF, domain
    // lines, exponents, tabs and blanks.
    std::string styled =
        "\xEF\xBB\xBFTITLE \"lifted\"\r\n# graded\r\nDOMAIN_MIN 0.0 0.0 0.0\r\n"
        "DOMAIN_MAX 1.0 1.0 1.0\r\nLUT_3D_INPUT_RANGE 0 1\r\nLUT_3D_SIZE 3\r\n\r\n";
    for (int e = 0; e < 27; ++e) {
        char line[96];
        std::snprintf(line, sizeof line, "%.6e\t%.6E  %g\r\n", 0.05 + 0.45 * (e % 3),
                      0.03 + 0.47 * (e / 3 % 3), 0.02 + 0.48 * (e / 9));
        styled += line;
    }
    written &= write_file(cubes + "styled", styled);

    const std::vector<std::vector<std::string>> lines = {
        {"prolut", "in.mp4", "out.mov"},
        {"prolut", "in.mp4", "out.mov", "3"},
        {"prolut", "in.mp4", "out.mov", "3HQ", "yes", "1"},
        {"prolut", "in.mp4", "out.mov", "0", "y", "4", "grade.cube"},
        {"prolut", "in.mp4", "out.mov", "3", "y", "4", "", "snap.rgb"},
        {"prolut", "in.mp4", "out.mov", "", "", "/"},
        {"prolut", "in.mp4"},
        {"prolut", "--audio", "--timecode", "in.mxf", "out.mov", "3", "y", "4", "show.cube"},
        {"prolut", "--precise", "--", "-in.mov", "out.mov"},
        {"prolut", "--aud", "-hx", "--version", "in.mp4", "out.mov"},
        {"prolut", "--audio=1", "--bogus", "in.mp4", "out.mov"},
    };
    int n = 0;
    for (const auto& line : lines)
        written &= write_file(command_lines + "line" + std::to_string(n++), joined_arguments(line));
    return written ? 0 : 1;
}
