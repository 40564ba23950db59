#pragma once
// .cube texts built in memory, shared by the loader tests and the fuzzing seed writer.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using CubeEntry = std::array<float, 3>;

// Red varies fastest, with tabs between the numbers, so an all-zero first entry is the line
// "0\t0\t0" that once alone ended the header.
inline std::string make_cube(int n, const std::function<CubeEntry(int i, int j, int k)>& value) {
    std::string text =
        "TITLE \"generated\"\n# comment\nLUT_3D_SIZE " + std::to_string(n) + "\nDOMAIN_MIN 0 0 0\n";
    for (int e = 0; e < n * n * n; ++e) {
        const CubeEntry v = value(e % n, e / n % n, e / (n * n));
        for (int c = 0; c < 3; ++c) {
            char digits[32];
            text.append(digits, std::to_chars(digits, digits + sizeof digits, v[c]).ptr);
            text += c < 2 ? '\t' : '\n';
        }
    }
    return text;
}

inline std::string identity_cube(int n) {
    return make_cube(n, [t = float(n - 1)](int i, int j, int k) { return CubeEntry{i / t, j / t, k / t}; });
}

// The unit cube's corners, red fastest, each line written by printf with `format`.
inline std::string corners(const char* format) {
    std::string text;
    for (int e = 0; e < 8; ++e) {
        char line[96];
        text.append(line, std::snprintf(line, sizeof line, format, double(e & 1), double(e >> 1 & 1),
                                        double(e >> 2 & 1)));
        text += '\n';
    }
    return text;
}

// Line ends as Windows writes them.
inline std::string with_cr(std::string text) {
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
    return text;
}

// A twisted grade with values beyond 0..1 (and, with `broken`, a NaN and a huge value, which a
// grade must survive and which keep the cube kernel's float estimate away).
inline std::string twisted_cube(int n, bool broken) {
    return make_cube(n, [n, broken](int i, int j, int k) {
        const float r = float(i) / float(n - 1), g = float(j) / float(n - 1), b = float(k) / float(n - 1);
        if (i + j + k == 0) return CubeEntry{0, 0, 0};
        if (broken && i == 1 && j == 0 && k == 1) return CubeEntry{NAN, 1.5f, 1e25f};
        return CubeEntry{std::pow(r, 0.7f) * 1.02f, g * (0.9f + 0.1f * b), b * b - 0.01f * r};
    });
}

struct CubeCase {
    const char* name;
    std::string text;
    int result;               // what load_cube_text returns: N^3, or -1 for a text it refuses
    int line = 0;             // the line the refusal points at
    const char* reason = "";  // a part of the reason given
};

// Every text that loads has the unit cube's corners as its lattice, its first line "0\t0\t0" as
// the old rule wanted it or written otherwise, some in the styles of applications. 289 is 33 in
// 8 bits, and its blank lines would fill a 33-point cube.
inline std::vector<CubeCase> cube_load_cases() {
    const std::string first = "LUT_3D_SIZE 2\n0\t0\t0\n",
                      rest = "1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    const std::string domain = "DOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n";
    const char* one_d = "a 1D table (LUT_1D_SIZE)";
    return {
        {"SizeLineWithBlanksAndTab", "  \tLUT_3D_SIZE\t 2\n0\t0\t0\n" + rest, 8},
        {"CrLf", with_cr(identity_cube(2)), 8},
        {"NoFinalLineFeed", first + rest.substr(0, rest.size() - 1), 8},
        {"BlankLinesAfterLastEntry", first + rest + "\n  \t\r\n\n", 8},
        {"LaterSizeLineWins", "LUT_3D_SIZE 3\n" + first + rest, 8},
        {"SizeReadLikeAtoi", "LUT_3D_SIZE +2x\n0\t0\t0\n" + rest, 8},
        {"BlanksInFirstLatticeLine", "LUT_3D_SIZE 2\n 0 0  0.0 \n" + rest, 8},
        {"Photoshop", "TITLE \"Look\"\nLUT_3D_SIZE 2\n" + domain + "\n" + corners("%.6f %.6f %.6f"), 8},
        {"Resolve", "LUT_3D_SIZE 2\nLUT_3D_INPUT_RANGE 0.0000000000 1.0\n" + corners("%.10f %.10f %.10f"), 8},
        {"WindowsEditor",
         "\xEF\xBB\xBF" + with_cr("TITLE \"x\"\nLUT_3D_SIZE\t2\n\n" + corners("%f\t%f\t%f ")), 8},
        {"Script", "# numpy\n" + domain + "LUT_3D_SIZE 2\n" + corners("  %.18e %.6E  %g"), 8},
        {"LowerCaseKey", "lut_3d_size 2\n0\t0\t0\n" + rest, -1, 2, "numbers before the LUT_3D_SIZE"},
        {"DataBeforeSizeLine", "0 0 0\n" + first + rest, -1, 1, "numbers before"},
        {"Empty", "", -1, 0, "no LUT_3D_SIZE line"},
        {"HeaderOnly", "LUT_3D_SIZE 2\n0,0,0\n0 0 0 0\n0x0 0 0\n", -1, 1, "2 is not followed by"},
        {"SizeOne", "LUT_3D_SIZE 1\n0\t0\t0\n", -1, 1, "LUT_3D_SIZE 1 is outside 2 to 255"},
        {"Size289", "LUT_3D_SIZE 289\n0\t0\t0\n" + std::string(33 * 33 * 33 - 1, '\n'), -1, 1, "289 is"},
        {"SizeHuge", "# big\nLUT_3D_SIZE 99999999999\n0\t0\t0\n", -1, 2, "99999999999 is outside"},
        {"BadSizeAfterGoodOne", "LUT_3D_SIZE 2\nLUT_3D_SIZE 0\n0\t0\t0\n" + rest, -1, 2, "0 is outside"},
        {"TooManyLines", first + rest + "# end\n\n", -1, 10, "has 9 lines where 8 (2^3) were needed"},
        {"TooFewLines", first + rest.substr(6), -1, 0, "has 7 lines where 8"},
        {"Size255CutShort", "LUT_3D_SIZE 255\n0 0 0\n1 1 1\n", -1, 0, "has 2 lines where 16581375 (255^3)"},
        {"KeywordInLattice", first + "TITLE \"x\"\n" + rest.substr(6), -1, 3, "TITLE inside the lattice"},
        {"OneDimensional", "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n", -1, 1, one_d},
        {"ShaperBeforeCube", "LUT_3D_SIZE 2\nLUT_1D_SIZE 2\n0 0 0\n1 1 1\n" + rest, -1, 2, one_d},
        {"OneDimensionalAfterCube", first + rest + "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n", -1, 10, one_d},
        {"DomainMinOther", "DOMAIN_MIN 0 0 -0.1\n" + first + rest, -1, 1, "DOMAIN_MIN other than 0 0 0"},
        {"DomainMaxOther", "LUT_3D_SIZE 2\nDOMAIN_MAX 1 1 4\n" + rest, -1, 2, "DOMAIN_MAX other than 1 1 1"},
        {"InputRangeOther", "LUT_3D_INPUT_RANGE 0 1023\n" + first + rest, -1, 1, "RANGE other than 0 1"}};
}
