#pragma once
// 8-bit RGB pictures into the 16-bit BGR working picture, each sample widened exactly.
#include <cstdint>

// Where each of red, green and blue sits in a source picture of 8-bit samples: its plane,
// its byte within a pixel, and how many bytes a pixel takes in that plane. Any further
// bytes of a pixel (alpha, padding) are never read.
struct Rgb8Layout {
    int plane[3];   // red, green, blue
    int offset[3];  // red, green, blue
    int pixel_bytes;
};

// Writes v * 257 for every 8-bit code v, so that the high byte of each working sample is
// the source code itself: the curve and the cube then read exactly what the file holds.
// bgr48: packed B, G, R 16-bit samples, stride in bytes.
void widen_rgb8_to_bgr48(const uint8_t* const planes[], const int strides[], const Rgb8Layout& layout,
                         int width, int height, uint8_t* bgr48, int bgr48_stride);
