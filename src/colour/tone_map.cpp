#include "colour/tone_map.h"

#include <cassert>
#include <cstddef>

#include "colour/cube_sampler.h"

// Samples are accessed as native uint16_t: the host is little-endian, like BGR48LE.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are read in host order");

// A lattice value a hair above 1.0 must stay white rather than wrap to black once shifted
// into 16 bits, and a NaN from a broken cube must not become an arbitrary code.
int cube_output_code(float value) {
    const double scaled = double(value) * 1023.0;
    if (scaled >= 1023.0) return 1023;
    return scaled > 0.0 ? int(scaled) : 0;
}

void tone_map_cube_pixel(const CubeLut* lut, uint8_t red, uint8_t green, uint8_t blue, int out[3]) {
    float sampled[3];
    sample_cube_lut(lut, red, green, blue, sampled);
    for (int n = 0; n < 3; ++n) out[n] = cube_output_code(sampled[n]);
}

void tone_map_working_picture(uint8_t* bgr48, int stride, int width, int height, int colour_mode,
                              TransferCurve* curve, const CubeLut* lut) {
    // The command line rejects negative modes; should one slip through, leave the picture.
    assert(colour_mode >= 0);
    if (colour_mode < 0) return;

    if (colour_mode == 4) {
        assert(lut && lut->lattice);
        for (int row = 0; row < height; ++row) {
            uint16_t* pixel = reinterpret_cast<uint16_t*>(bgr48 + ptrdiff_t(row) * stride);
            for (int x = 0; x < width; ++x, pixel += 3) {
                int out[3];
                tone_map_cube_pixel(lut, uint8_t(pixel[2] >> 8), uint8_t(pixel[1] >> 8),
                                    uint8_t(pixel[0] >> 8), out);
                pixel[2] = uint16_t(out[0] << 6);
                pixel[1] = uint16_t(out[1] << 6);
                pixel[0] = uint16_t(out[2] << 6);
            }
        }
        return;
    }

    if (!curve->transfer_curve_built) build_transfer_curve(curve, 1.0f, colour_mode);
    uint16_t words[256];
    for (int code = 0; code < 256; ++code) words[code] = uint16_t(int(curve->entries[code]) << 6);
    for (int row = 0; row < height; ++row) {
        uint16_t* sample = reinterpret_cast<uint16_t*>(bgr48 + ptrdiff_t(row) * stride);
        for (int k = 0; k < 3 * width; ++k) sample[k] = words[sample[k] >> 8];
    }
}
