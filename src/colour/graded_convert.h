#pragma once
// Tone mapping and the YUV conversion in one pass over the working picture. Both are pure
// functions of a pixel's three 8-bit codes, so the 10-bit 4:2:2 result can come from
// tables made once: in the curve modes, what each code contributes once through the
// curve; with the cube, a cache of every colour met so far. The planes come out bit for
// bit as tone_map_working_picture followed by convert_bgr48_to_yuv422p10 make them; the
// working picture itself is left as the scaler wrote it.
#include <cstdint>

#include "colour/cube_lut.h"
#include "colour/transfer_curve.h"
#include "colour/yuv_convert.h"

struct GradedConvert {
    bool ready;
    int colour_mode;
    const CubeLut* lut;
    const YuvTables* yuv;
    // Curve modes: what an 8-bit code of red, green or blue adds to a pixel's luma << 20 |
    // Cb << 10 | Cr once through the curve. The colour-difference terms are stored shifted
    // up so that no field of the sum ever borrows from or carries into another.
    uint32_t colour_terms[3][256];
    // Cube mode: the colours met so far, as luma << 20 | Cb << 10 | Cr under the top bit
    // (0 until first met). Colour space is cut into 4x4x4 blocks, stored in the order they
    // are first met, so memory follows the colours a film actually holds and colours met
    // together lie together. One reservation holds the block index and every block there
    // can be; the system gives it pages only as they are touched.
    void* reservation;
    uint32_t* block_of;       // per block of colour space: its place among colour_blocks, 0 for none
    uint32_t* colour_blocks;  // block 0 stays empty: "none" in block_of
    uint32_t block_count;
};

// Makes the tables for colour_mode (building the curve and the YUV tables where they are
// not built yet). Leaves ready false when the cache cannot be had; the two-pass road then
// serves.
void prepare_graded_convert(GradedConvert* graded, int colour_mode, TransferCurve* curve, YuvTables* yuv,
                            const CubeLut* lut);

void release_graded_convert(GradedConvert* graded);

// The working picture (packed B, G, R 16-bit samples) into the Y, Cb, Cr planes.
void convert_graded_bgr48_to_yuv422p10(GradedConvert* graded, const uint8_t* bgr48, int bgr48_stride,
                                       int width, int height, uint8_t* const yuv_planes[3],
                                       const int yuv_strides[3]);
