#pragma once
// Fixed-point BT.601 studio-range conversion of the 16-bit BGR working picture into
// 10-bit 4:2:2 planes. Every multiplication lives in nine tables indexed by a 10-bit
// component, so a pixel costs only table reads and additions.
#include <cstdint>

struct YuvTables {
    int32_t y_from_r[1024];
    int32_t y_from_g[1024];
    int32_t y_from_b[1024];
    int32_t u_from_r[1024];
    int32_t u_from_g[1024];
    int32_t u_from_b[1024];
    int32_t v_from_r[1024];
    int32_t v_from_g[1024];
    int32_t v_from_b[1024];
    bool yuv_tables_built;
};

void build_yuv_tables(YuvTables* tables);

// One pixel's luma, Cb and Cr from its 10-bit components; no result needs clamping.
inline int luma_from(const YuvTables& t, int r, int g, int b) {
    return t.y_from_r[r] + t.y_from_g[g] + t.y_from_b[b] + 64;
}
inline int cb_from(const YuvTables& t, int r, int g, int b) {
    return t.u_from_b[b] - t.u_from_g[g] - t.u_from_r[r] + 512;
}
inline int cr_from(const YuvTables& t, int r, int g, int b) {
    return t.v_from_r[r] - t.v_from_g[g] - t.v_from_b[b] + 512;
}

// bgr48: packed B, G, R unsigned 16-bit little-endian samples; only the top 10 bits of
// each sample count. yuv_planes: Y, Cb, Cr planes of 16-bit words holding 0..1023, with
// their line strides in bytes. Builds the tables on first use.
void convert_bgr48_to_yuv422p10(YuvTables* tables, const uint8_t* bgr48, int bgr48_stride, int width,
                                int height, uint8_t* const yuv_planes[3], const int yuv_strides[3]);
