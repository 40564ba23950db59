#pragma once
// .cube texts built in memory, shared by the loader tests and the fuzzing seed writer.
#include <array>
#include <charconv>
#include <functional>
#include <string>
#include <vector>

using CubeEntry = std::array<float, 3>;

// Red varies fastest; the numbers are tab-separated so an all-zero first entry is the
// exact line that ends the header.
inline std::string make_cube(int n, const std::function<CubeEntry(int i, int j, int k)>& value,
                             const std::string& line_end = "\n") {
    std::string text = "TITLE \"generated\"" + line_end + "# comment" + line_end + "LUT_3D_SIZE " +
                       std::to_string(n) + line_end + "DOMAIN_MIN 0 0 0" + line_end;
    for (int e = 0; e < n * n * n; ++e) {
        const CubeEntry v = value(e % n, e / n % n, e / (n * n));
        for (int c = 0; c < 3; ++c) {
            char digits[32];
            text.append(digits, std::to_chars(digits, digits + sizeof digits, v[c]).ptr);
            text += c < 2 ? std::string("\t") : line_end;
        }
    }
    return text;
}

inline std::string identity_cube(int n, const std::string& line_end = "\n") {
    const float t = float(n - 1);
    const auto value = [t](int i, int j, int k) { return CubeEntry{i / t, j / t, k / t}; };
    return make_cube(n, value, line_end);
}

struct CubeCase {
    const char* name;
    std::string text;
    int result;  // what load_cube_text returns: N^3, or -1 for a text it refuses
};

inline std::vector<CubeCase> cube_load_cases() {
    const std::string first = "LUT_3D_SIZE 2\n0\t0\t0\n";
    const std::string rest = "1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";  // a 2-point cube
    return {{"SizeLineWithBlanksAndTab", "  \tLUT_3D_SIZE\t 2\n0\t0\t0\n" + rest, 8},
            {"NoFinalLineFeed", first + rest.substr(0, rest.size() - 1), 8},
            {"BlankLinesAfterLastEntry", first + rest + "\n  \t\r\n\n", 8},
            {"LaterSizeLineWins", "LUT_3D_SIZE 3\n" + first + rest, 8},
            {"SizeReadLikeAtoi", "LUT_3D_SIZE +2x\n0\t0\t0\n" + rest, 8},
            {"LowerCaseKey", "lut_3d_size 2\n0\t0\t0\n" + rest, -1},
            // Only the exact line "0\t0\t0" ends the header.
            {"BlanksInFirstLatticeLine", "LUT_3D_SIZE 2\n0 0 0\n" + rest, -1},
            {"DecimalsInFirstLatticeLine", "LUT_3D_SIZE 2\n0.0\t0.0\t0.0\n" + rest, -1},
            {"TrailingBlankOnFirstLatticeLine", "LUT_3D_SIZE 2\n0\t0\t0 \n" + rest, -1},
            {"Empty", "", -1},
            {"HeaderOnly", "LUT_3D_SIZE 2\n", -1},
            {"SizeOne", "LUT_3D_SIZE 1\n0\t0\t0\n", -1},
            {"SizeMissing", "LUT_3D_SIZE\n0\t0\t0\n" + rest, -1},
            {"SizeNotANumber", "LUT_3D_SIZE two\n0\t0\t0\n" + rest, -1},
            {"Size256", "LUT_3D_SIZE 256\n0\t0\t0\n", -1},
            // 289 is 33 in 8 bits, and the blank lines would fill a 33-point cube.
            {"Size289", "LUT_3D_SIZE 289\n0\t0\t0\n" + std::string(33 * 33 * 33 - 1, '\n'), -1},
            {"SizeNegative", "LUT_3D_SIZE -3\n0\t0\t0\n", -1},
            {"SizeHuge", "LUT_3D_SIZE 99999999999\n0\t0\t0\n", -1},
            {"BadSizeAfterGoodOne", "LUT_3D_SIZE 2\nLUT_3D_SIZE 0\n0\t0\t0\n" + rest, -1},
            {"DataBeforeSizeLine", "0\t0\t0\n" + first + rest, -1},
            {"TooManyLines", first + rest + "1 1 1\n", -1},
            {"CommentAfterLastEntry", first + rest + "# end\n", -1},
            {"TooFewLines", first + rest.substr(6), -1}};
}
