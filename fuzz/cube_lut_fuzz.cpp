// Any bytes as the text of a cube file, up to 4 KiB: enough for every rule of the format and
// for cubes of up to 15 points, while longer texts only repeat lattice lines and slow the
// search. The report must agree with the result. A cube that loads is then used as the custom
// road uses it on a sample of codes, so that whatever its lattice holds (nan, inf, 1e30)
// reaches the float-to-integer conversions, which must give clamped 10-bit results and
// in-range YUV; the one-pass road (the cube kernel, its estimate and proofs) must give the very
// planes the two passes give; and the precise grade of the same samples, in float or, for a
// lattice like that, in double, must give in-range YUV.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "colour/cube_lut.h"
#include "colour/graded_convert.h"
#include "colour/precise_grade.h"
#include "colour/tone_map.h"
#include "colour/yuv_convert.h"

namespace {

constexpr size_t max_text_size = 4096;
constexpr int width = 16;
constexpr int height = 2;

CubeLut lut;
TransferCurve curve;
YuvTables tables;
uint16_t picture[3 * width * height];
uint16_t luma[width * height];
uint16_t cb[width / 2 * height];
uint16_t cr[width / 2 * height];
GradedConvert graded;
uint16_t one_pass[2 * width * height];  // luma, then Cb and Cr

// The first pixels put the ends of the axes, the two sides of a cell's edge and the codes past
// the last full cell (when N - 1 does not divide 256) on every channel; the others take their
// codes from the input. The low byte, which the grade ignores, varies.
void fill_picture(const uint8_t* data, size_t size) {
    const int cell = cube_cell_width(lut.grid_size), last = (lut.grid_size - 1) * cell;
    const int edges[6] = {
        0, 255, std::min(cell, 256) - 1, std::min(cell, 255), std::min(last - 1, 255), std::min(last, 255)};
    for (int p = 0; p < width * height; ++p) {
        for (int c = 0; c < 3; ++c) {
            const int i = 3 * p + c;
            const int code = p < 12 ? edges[(p + c * (1 + p / 6)) % 6] : data[size_t(i) % size];
            picture[i] = uint16_t(code << 8 | (i * 37 & 0xFF));
        }
    }
}

bool report_agrees(int result, const CubeLoadReport& report, const uint8_t* data, size_t size) {
    const size_t reason_length = strnlen(report.reason, sizeof report.reason);
    if (reason_length == sizeof report.reason || (result == 0) != (reason_length == 0)) return false;
    const long lines = std::count(data, data + size, '\n') + (size > 0 && data[size - 1] != '\n');
    return report.line >= 0 && report.line <= lines && (result != 0 || report.line == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > max_text_size) return 0;
    CubeLoadReport report;
    std::memset(&report, 0x5A, sizeof report);
    const int result = init_cube_lut_from_text(&lut, reinterpret_cast<const char*>(data), size, &report);
    if (!report_agrees(result, report, data, size)) __builtin_trap();
    if (result != 0) return 0;
    fill_picture(data, size);
    const int strides[3] = {2 * width, width, width};
    uint8_t* one_pass_planes[3] = {
        reinterpret_cast<uint8_t*>(one_pass), reinterpret_cast<uint8_t*>(one_pass + width * height),
        reinterpret_cast<uint8_t*>(one_pass + width * height + width / 2 * height)};
    prepare_graded_convert(&graded, 4, false, &curve, &tables, &lut);
    if (graded.ready) {
        convert_graded_bgr48_to_yuv422p10(&graded, reinterpret_cast<uint8_t*>(picture), 6 * width, width,
                                          height, one_pass_planes, strides);
    }
    PreciseGrade precise{};
    if (prepare_precise_grade(&precise, 4, &lut)) {
        for (int row = 0; row < height; ++row) {
            precise.run(precise, picture + 3 * width * row, width, luma + width * row, cb + width / 2 * row,
                        cr + width / 2 * row);
        }
        for (uint16_t y : luma) {
            if (y < 64 || y > 940) __builtin_trap();
        }
        for (int i = 0; i < width / 2 * height; ++i) {
            if (cb[i] < 64 || cb[i] > 960 || cr[i] < 64 || cr[i] > 960) __builtin_trap();
        }
    }
    release_precise_grade(&precise);
    tone_map_working_picture(reinterpret_cast<uint8_t*>(picture), 6 * width, width, height, 4, &curve, &lut);
    for (uint16_t sample : picture) {
        if (sample & 63) __builtin_trap();
    }
    uint8_t* planes[3] = {reinterpret_cast<uint8_t*>(luma), reinterpret_cast<uint8_t*>(cb),
                          reinterpret_cast<uint8_t*>(cr)};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<uint8_t*>(picture), 6 * width, width, height, planes,
                               strides);
    for (uint16_t y : luma) {
        if (y < 64 || y > 941) __builtin_trap();
    }
    for (int i = 0; i < width / 2 * height; ++i) {
        if (cb[i] < 64 || cb[i] > 961 || cr[i] < 64 || cr[i] > 961) __builtin_trap();
    }
    if (graded.ready && (std::memcmp(one_pass, luma, sizeof luma) != 0 ||
                         std::memcmp(one_pass + width * height, cb, sizeof cb) != 0 ||
                         std::memcmp(one_pass + width * height + width / 2 * height, cr, sizeof cr) != 0))
        __builtin_trap();
    release_graded_convert(&graded);
    release_cube_lut(&lut);
    return 0;
}
