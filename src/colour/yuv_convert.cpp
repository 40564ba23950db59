#include "colour/yuv_convert.h"

#include <cstddef>

// Samples are read and written as native uint16_t: the host is little-endian, like the
// BGR48LE and YUV422P10LE pixel formats.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are read in host order");

namespace {

struct YuvWeight {
    int32_t weight;  // coefficient in 1/65536
    int32_t factor;  // studio-range scale over 255
};

// Dividing by 255 before scaling, and truncating each table on its own, is what puts full
// scale at luma 941 and colour difference 961; changing the order would shift every pixel.
void fill_table(int32_t table[1024], YuvWeight w) {
    for (int32_t i = 0; i < 1024; ++i) table[i] = ((i * w.weight) / 255 * w.factor) >> 16;
}

}  // namespace

void build_yuv_tables(YuvTables* tables) {
    fill_table(tables->y_from_r, {19595, 219});
    fill_table(tables->y_from_g, {38470, 219});
    fill_table(tables->y_from_b, {7471, 219});
    fill_table(tables->u_from_r, {11076, 224});
    fill_table(tables->u_from_g, {21692, 224});
    fill_table(tables->u_from_b, {32768, 224});
    fill_table(tables->v_from_r, {32768, 224});
    fill_table(tables->v_from_g, {27460, 224});
    fill_table(tables->v_from_b, {5308, 224});
    tables->yuv_tables_built = true;
}

void convert_bgr48_to_yuv422p10(YuvTables* tables, const uint8_t* bgr48, int bgr48_stride, int width,
                                int height, uint8_t* const yuv_planes[3], const int yuv_strides[3]) {
    if (!tables->yuv_tables_built) build_yuv_tables(tables);
    const YuvTables& t = *tables;

    for (int row = 0; row < height; ++row) {
        const uint16_t* src = reinterpret_cast<const uint16_t*>(bgr48 + ptrdiff_t(row) * bgr48_stride);
        uint16_t* luma = reinterpret_cast<uint16_t*>(yuv_planes[0] + ptrdiff_t(row) * yuv_strides[0]);
        uint16_t* cb = reinterpret_cast<uint16_t*>(yuv_planes[1] + ptrdiff_t(row) * yuv_strides[1]);
        uint16_t* cr = reinterpret_cast<uint16_t*>(yuv_planes[2] + ptrdiff_t(row) * yuv_strides[2]);

        for (int x = 0; x < width; ++x) {
            const int b = src[3 * x] >> 6;
            const int g = src[3 * x + 1] >> 6;
            const int r = src[3 * x + 2] >> 6;
            luma[x] = uint16_t(luma_from(t, r, g, b));
            // No chroma filtering: Cr comes from the first pixel of a pair and Cb from the
            // second. A lone last pixel has no partner, so it supplies both.
            if ((x & 1) == 0) {
                cr[x >> 1] = uint16_t(cr_from(t, r, g, b));
                if (x + 1 == width) cb[x >> 1] = uint16_t(cb_from(t, r, g, b));
            } else {
                cb[x >> 1] = uint16_t(cb_from(t, r, g, b));
            }
        }
    }
}
