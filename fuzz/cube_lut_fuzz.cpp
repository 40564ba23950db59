// Any bytes as the text of a cube file. A cube that loads is then used as the custom road
// uses it, so that whatever its lattice holds (nan, inf, 1e30) reaches the float-to-integer
// conversions, which must give clamped 10-bit results and in-range YUV.
#include <cstddef>
#include <cstdint>

#include "colour/cube_lut.h"
#include "colour/tone_map.h"
#include "colour/yuv_convert.h"

namespace {

constexpr int width = 256;
constexpr int height = 4;

CubeLut lut;
TransferCurve curve;
YuvTables tables;
uint16_t picture[3 * width * height];
uint16_t luma[width * height];
uint16_t cb[width / 2 * height];
uint16_t cr[width / 2 * height];

// Every 8-bit code on every axis, with the other axes at fixed and input-driven codes, so
// the last cell of every axis and arbitrary cells are both reached.
void fill_picture(const uint8_t* data, size_t size) {
    for (int x = 0; x < width; ++x) {
        uint16_t* row0 = picture + 3 * x;
        uint16_t* row1 = row0 + 3 * width;
        uint16_t* row2 = row1 + 3 * width;
        uint16_t* row3 = row2 + 3 * width;
        const int other = size > 0 ? data[x % size] : 0;
        row0[0] = row0[1] = row0[2] = uint16_t(x << 8 | x);
        row1[0] = uint16_t(x << 8), row1[1] = uint16_t(other << 8), row1[2] = 0xFFFF;
        row2[0] = 0xFFFF, row2[1] = uint16_t(x << 8), row2[2] = uint16_t(other << 8);
        row3[0] = uint16_t(other << 8), row3[1] = 0, row3[2] = uint16_t(x << 8 | 0xFF);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (init_cube_lut_from_text(&lut, reinterpret_cast<const char*>(data), size) != 0) return 0;
    fill_picture(data, size);
    tone_map_working_picture(reinterpret_cast<uint8_t*>(picture), 6 * width, width, height, 4, &curve, &lut);
    for (uint16_t sample : picture) {
        if (sample & 63) __builtin_trap();
    }
    uint8_t* planes[3] = {reinterpret_cast<uint8_t*>(luma), reinterpret_cast<uint8_t*>(cb),
                          reinterpret_cast<uint8_t*>(cr)};
    const int strides[3] = {2 * width, width, width};
    convert_bgr48_to_yuv422p10(&tables, reinterpret_cast<uint8_t*>(picture), 6 * width, width, height, planes,
                               strides);
    for (uint16_t y : luma) {
        if (y < 64 || y > 941) __builtin_trap();
    }
    for (int i = 0; i < width / 2 * height; ++i) {
        if (cb[i] < 64 || cb[i] > 961 || cr[i] < 64 || cr[i] > 961) __builtin_trap();
    }
    release_cube_lut(&lut);
    return 0;
}
