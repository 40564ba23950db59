#pragma once
// .cube texts built in memory, shared by the loader tests and the fuzzing seed writer.
#include <array>
#include <charconv>
#include <functional>
#include <string>
#include <vector>

using CubeEntry = std::array<float, 3>;

// Red varies fastest; tabs between the numbers make an all-zero first entry the line that ends
// the header.
inline std::string make_cube(int n, const std::function<CubeEntry(int i, int j, int k)>& value,
                             const std::string& line_end = "\n") {
    std::string text = "TITLE \"generated\"" + line_end + "# comment" + line_end + "LUT_3D_SIZE " +
                       std::to_string(n) + line_end + "DOMAIN_MIN 0 0 0" + line_end;
    for (int e = 0; e < n * n * n; ++e) {
        const CubeEntry v = value(e % n, e / n % n, e / (n * n));
        for (int c = 0; c < 3; ++c) {
            char digits[32];
            text.append(digits, std::to_chars(digits, digits + sizeof digits, v[c]).ptr);
            text += c < 2 ? "\t" : line_end;
        }
    }
    return text;
}

inline std::string identity_cube(int n, const std::string& line_end = "\n") {
    const float t = float(n - 1);
    return make_cube(
        n,
        [t](int i, int j, int k) {
            return CubeEntry{i / t, j / t, k / t};
        },
        line_end);
}

struct CubeCase {
    const char* name;
    std::string text;
    int result;  // what load_cube_text returns: N^3, or -1 for a text it refuses
};

// Only the exact line "0\t0\t0" ends the header. 289 is 33 in 8 bits, and its blank lines would
// fill a 33-point cube.
inline std::vector<CubeCase> cube_load_cases() {
    const std::string first = "LUT_3D_SIZE 2\n0\t0\t0\n",
                      rest = "1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    return {{"SizeLineWithBlanksAndTab", "  \tLUT_3D_SIZE\t 2\n0\t0\t0\n" + rest, 8},
            {"CrLf", identity_cube(2, "\r\n"), 8},
            {"NoFinalLineFeed", first + rest.substr(0, rest.size() - 1), 8},
            {"BlankLinesAfterLastEntry", first + rest + "\n  \t\r\n\n", 8},
            {"LaterSizeLineWins", "LUT_3D_SIZE 3\n" + first + rest, 8},
            {"SizeReadLikeAtoi", "LUT_3D_SIZE +2x\n0\t0\t0\n" + rest, 8},
            {"LowerCaseKey", "lut_3d_size 2\n0\t0\t0\n" + rest, -1},
            {"BlanksInFirstLatticeLine", "LUT_3D_SIZE 2\n0 0 0\n" + rest, -1},
            {"TrailingBlankOnFirstLatticeLine", "LUT_3D_SIZE 2\n0\t0\t0 \n" + rest, -1},
            {"Empty", "", -1},
            {"HeaderOnly", "LUT_3D_SIZE 2\n", -1},
            {"SizeOne", "LUT_3D_SIZE 1\n0\t0\t0\n", -1},
            {"Size289", "LUT_3D_SIZE 289\n0\t0\t0\n" + std::string(33 * 33 * 33 - 1, '\n'), -1},
            {"SizeHuge", "LUT_3D_SIZE 99999999999\n0\t0\t0\n", -1},
            {"BadSizeAfterGoodOne", "LUT_3D_SIZE 2\nLUT_3D_SIZE 0\n0\t0\t0\n" + rest, -1},
            {"DataBeforeSizeLine", "0\t0\t0\n" + first + rest, -1},
            {"TooManyLines", first + rest + "# end\n", -1},
            {"TooFewLines", first + rest.substr(6), -1}};
}
