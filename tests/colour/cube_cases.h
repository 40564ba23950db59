#pragma once
// .cube texts built in memory, shared by the loader tests and the fuzzing seed writer.
#include <array>
#include <charconv>
#include <functional>
#include <string>
#include <vector>

using CubeEntry = std::array<float, 3>;

// Red varies fastest, with tabs between the numbers, so an all-zero first entry is the line
// "0\t0\t0" that once alone ended the header.
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
    int result;               // what load_cube_text returns: N^3, or -1 for a text it refuses
    int line = 0;             // the line the refusal points at
    const char* reason = "";  // a part of the reason given
};

// Every text that loads has the eight corners of the unit cube as its lattice, the first line
// "0\t0\t0" as the old rule wanted it or written otherwise. 289 is 33 in 8 bits, and its blank
// lines would fill a 33-point cube.
inline std::vector<CubeCase> cube_load_cases() {
    const std::string first = "LUT_3D_SIZE 2\n0\t0\t0\n",
                      rest = "1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    const char* one_d = "a 1D table (LUT_1D_SIZE)";
    return {
        {"SizeLineWithBlanksAndTab", "  \tLUT_3D_SIZE\t 2\n0\t0\t0\n" + rest, 8},
        {"CrLf", identity_cube(2, "\r\n"), 8},
        {"NoFinalLineFeed", first + rest.substr(0, rest.size() - 1), 8},
        {"BlankLinesAfterLastEntry", first + rest + "\n  \t\r\n\n", 8},
        {"LaterSizeLineWins", "LUT_3D_SIZE 3\n" + first + rest, 8},
        {"SizeReadLikeAtoi", "LUT_3D_SIZE +2x\n0\t0\t0\n" + rest, 8},
        {"BlanksInFirstLatticeLine", "LUT_3D_SIZE 2\n 0 0  0.0 \n" + rest, 8},
        {"BomHeaderKeywordsExponents",
         "\xEF\xBB\xBFTITLE \"t\"\nLUT_1D_INPUT_RANGE 0 1\nDOMAIN_MIN 0.0 -0 0e5\nLUT_3D_SIZE 2\n"
         "DOMAIN_MAX 1 1.000 10e-1\nLUT_3D_INPUT_RANGE .0 1.\n0.0e+0\t-0E-3 +0\n" +
             rest,
         8},
        {"LowerCaseKey", "lut_3d_size 2\n0\t0\t0\n" + rest, -1, 2, "numbers before the LUT_3D_SIZE line"},
        {"DataBeforeSizeLine", "0 0 0\n" + first + rest, -1, 1, "numbers before the LUT_3D_SIZE line"},
        {"Empty", "", -1, 0, "no LUT_3D_SIZE line"},
        {"HeaderOnly", "LUT_3D_SIZE 2\n0,0,0\n0 0 0 0\n0x0 0 0\n", -1, 1,
         "LUT_3D_SIZE 2 is not followed by a line of three numbers"},
        {"SizeMissing", "LUT_3D_SIZE\n", -1, 1, "LUT_3D_SIZE without a size"},
        {"SizeOne", "LUT_3D_SIZE 1\n0\t0\t0\n", -1, 1, "LUT_3D_SIZE 1 is outside 2 to 255"},
        {"Size289", "LUT_3D_SIZE 289\n0\t0\t0\n" + std::string(33 * 33 * 33 - 1, '\n'), -1, 1,
         "LUT_3D_SIZE 289 is outside 2 to 255"},
        {"SizeHuge", "# big\nLUT_3D_SIZE 99999999999\n0\t0\t0\n", -1, 2,
         "LUT_3D_SIZE 99999999999 is outside 2 to 255"},
        {"BadSizeAfterGoodOne", "LUT_3D_SIZE 2\nLUT_3D_SIZE 0\n0\t0\t0\n" + rest, -1, 2,
         "LUT_3D_SIZE 0 is outside 2 to 255"},
        {"TooManyLines", first + rest + "# end\n\n", -1, 10,
         "the lattice has 9 lines where 8 (2^3) were needed"},
        {"TooFewLines", first + rest.substr(6), -1, 0, "the lattice has 7 lines where 8 (2^3) were needed"},
        {"KeywordInLattice", first + "TITLE \"x\"\n" + rest.substr(6), -1, 3,
         "TITLE inside the lattice, which started on line 2"},
        {"OneDimensional", "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n", -1, 1, one_d},
        {"ShaperBeforeCube", "LUT_3D_SIZE 2\nLUT_1D_SIZE 2\nLUT_1D_INPUT_RANGE 0 1\n0 0 0\n1 1 1\n" + rest,
         -1, 2, one_d},
        {"OneDimensionalAfterCube", first + rest + "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n", -1, 10, one_d},
        {"DomainMinOther", "DOMAIN_MIN 0 0 -0.1\n" + first + rest, -1, 1, "DOMAIN_MIN other than 0 0 0"},
        {"DomainMaxOther", "LUT_3D_SIZE 2\nDOMAIN_MAX 1 1 4\n" + rest, -1, 2, "DOMAIN_MAX other than 1 1 1"},
        {"DomainShort", "DOMAIN_MAX 1 1\n" + first + rest, -1, 1, "DOMAIN_MAX other than 1 1 1"},
        {"InputRangeOther", "LUT_3D_INPUT_RANGE 0 1023\n" + first + rest, -1, 1,
         "LUT_3D_INPUT_RANGE other than 0 1; only tables over 0 to 1 can be used"}};
}
