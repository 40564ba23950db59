#pragma once
// The grade and the YUV conversion in one pass over the working picture. By default both are
// pure functions of a pixel's three 8-bit codes: in the curve modes the 10-bit 4:2:2 result
// comes from what each code contributes once through the curve, with the cube from the vector
// kernel, and the planes come out bit for bit as tone_map_working_picture followed by
// convert_bgr48_to_yuv422p10 make them. Precise, every bit of every sample counts (see
// precise_grade.h). The working picture itself is left as the scaler wrote it. Rows are
// converted independently and the record is only read while converting, so horizontal slices
// of one picture may be converted at once on several threads.
#include <cstdint>

#include "colour/cube_kernel.h"
#include "colour/cube_lut.h"
#include "colour/precise_grade.h"
#include "colour/transfer_curve.h"
#include "colour/yuv_convert.h"

struct GradedConvert {
    bool ready;
    int colour_mode;
    bool precise;
    const CubeLut* lut;
    // What a 10-bit red, green or blue value adds to a pixel's luma << 20 | Cb << 10 | Cr. The
    // colour-difference terms are stored shifted up so that no field of the sum ever borrows
    // from or carries into another.
    uint32_t colour_terms[3][1024];
    // Curve modes: the same per 8-bit code, once through the curve.
    uint32_t curve_terms[3][256];
    uint8_t curve_bytes[256];  // the snapshot's byte for each 8-bit code
    // Cube mode: every pixel evaluated afresh, so the cost does not grow with the colours a
    // picture holds and threads can share the record.
    CubeKernel cube;
    PreciseGrade precise_grade;
};

// Makes the tables for colour_mode, precise or not (building the curve and the YUV tables
// where they are not built yet). Leaves ready false when memory for them cannot be had.
void prepare_graded_convert(GradedConvert* graded, int colour_mode, bool precise, TransferCurve* curve,
                            YuvTables* yuv, const CubeLut* lut);

void release_graded_convert(GradedConvert* graded);

// The working picture (packed B, G, R 16-bit samples) into the Y, Cb, Cr planes.
void convert_graded_bgr48_to_yuv422p10(const GradedConvert* graded, const uint8_t* bgr48, int bgr48_stride,
                                       int width, int height, uint8_t* const yuv_planes[3],
                                       const int yuv_strides[3]);

// The graded working picture as 8-bit R, G, B (rgb24: three bytes a pixel, stride in bytes): by
// default each 10-bit result as code_byte shows it, precise each graded value times 255,
// rounded.
void convert_graded_bgr48_to_rgb24(const GradedConvert* graded, const uint8_t* bgr48, int bgr48_stride,
                                   int width, int height, uint8_t* rgb24, int rgb24_stride);

// The byte a 10-bit code shows as in an 8-bit picture: scaled to 0..255, rounded.
uint8_t code_byte(int code);
