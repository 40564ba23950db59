#pragma once
// Tone mapping and the YUV conversion in one pass over the working picture. Both are pure
// functions of a pixel's three 8-bit codes: in the curve modes the 10-bit 4:2:2 result
// comes from what each code contributes once through the curve, with the cube from the
// vector kernel. The planes come out bit for bit as tone_map_working_picture followed by
// convert_bgr48_to_yuv422p10 make them; the working picture itself is left as the scaler
// wrote it. Rows are converted independently and the record is only read while converting,
// so horizontal slices of one picture may be converted at once on several threads.
#include <cstdint>

#include "colour/cube_kernel.h"
#include "colour/cube_lut.h"
#include "colour/transfer_curve.h"
#include "colour/yuv_convert.h"

struct GradedConvert {
    bool ready;
    int colour_mode;
    // What a 10-bit red, green or blue value adds to a pixel's luma << 20 | Cb << 10 | Cr. The
    // colour-difference terms are stored shifted up so that no field of the sum ever borrows
    // from or carries into another.
    uint32_t colour_terms[3][1024];
    // Curve modes: the same per 8-bit code, once through the curve.
    uint32_t curve_terms[3][256];
    // Cube mode: every pixel evaluated afresh, so the cost does not grow with the colours a
    // picture holds and threads can share the record.
    CubeKernel cube;
};

// Makes the tables for colour_mode (building the curve and the YUV tables where they are
// not built yet). Leaves ready false when the cube's tables cannot be had; the two-pass
// road then serves.
void prepare_graded_convert(GradedConvert* graded, int colour_mode, TransferCurve* curve, YuvTables* yuv,
                            const CubeLut* lut);

void release_graded_convert(GradedConvert* graded);

// The working picture (packed B, G, R 16-bit samples) into the Y, Cb, Cr planes.
void convert_graded_bgr48_to_yuv422p10(const GradedConvert* graded, const uint8_t* bgr48, int bgr48_stride,
                                       int width, int height, uint8_t* const yuv_planes[3],
                                       const int yuv_strides[3]);
