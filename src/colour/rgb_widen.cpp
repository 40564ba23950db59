#include "colour/rgb_widen.h"

#include <cstddef>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are written in host order");

void widen_rgb8_to_bgr48(const uint8_t* const planes[], const int strides[], const Rgb8Layout& layout,
                         int width, int height, uint8_t* bgr48, int bgr48_stride) {
    const int step = layout.pixel_bytes;
    for (int row = 0; row < height; ++row) {
        const uint8_t* red =
            planes[layout.plane[0]] + ptrdiff_t(row) * strides[layout.plane[0]] + layout.offset[0];
        const uint8_t* green =
            planes[layout.plane[1]] + ptrdiff_t(row) * strides[layout.plane[1]] + layout.offset[1];
        const uint8_t* blue =
            planes[layout.plane[2]] + ptrdiff_t(row) * strides[layout.plane[2]] + layout.offset[2];
        uint16_t* out = reinterpret_cast<uint16_t*>(bgr48 + ptrdiff_t(row) * bgr48_stride);
        for (int x = 0; x < width; ++x, out += 3) {
            const ptrdiff_t at = ptrdiff_t(x) * step;
            out[0] = uint16_t(blue[at] * 257);
            out[1] = uint16_t(green[at] * 257);
            out[2] = uint16_t(red[at] * 257);
        }
    }
}
