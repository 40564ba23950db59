#pragma once
// The cube's colours, evaluated pixel by pixel fast enough to need no cache: the arithmetic of
// sample_cube_lut and tone_map_cube_pixel in vectors, one lane per output component, rounding
// exactly as they do, so that every colour comes out bit for bit as the scalar road makes it.
// After preparation the record is only read, so any number of threads may share it.
#include <cstddef>
#include <cstdint>

#include "colour/cube_lut.h"

struct CubeKernel;
using CubeKernelRun = void (*)(const CubeKernel& kernel, const uint16_t* pixels, int count,
                               uint32_t* colours);

struct CubeKernel {
    const CubeLut* lut;
    // A pixel's colour word is colour_base plus, per 10-bit red, green, blue, what
    // colour_terms says that value adds (see graded_convert.h).
    const uint32_t (*colour_terms)[1024];
    uint32_t colour_base;
    // The lattice again with every entry padded to four floats (16 bytes), so that one 32-byte
    // load gives a cell's two red neighbours: 575 KB for 33 points, small enough to stay in a
    // core's second-level cache. Null where the estimate is not used.
    float* corners;
    // Per 8-bit code of red, green, blue: its cell's place in the lattice and in corners (in
    // floats), the lower and upper weights of its cell, and whether its offset is 0.
    int32_t lattice_place[3][256];
    ptrdiff_t corner_place[3][256];
    double weights[3][256][2];
    bool on_lattice[3][256];
    double norm;
    double inverse_norm;  // used only when it is exact (a power of two)
    bool norm_is_power_of_two;
    // A first estimate in float, trusted only where it is further from the next change of
    // output code than its error can reach: the exact arithmetic runs for the rest. Used with
    // corners when every lattice value is finite and not huge.
    bool estimate;
    float estimate_margin;      // in output codes
    float red_weights[256][8];  // the lower weight four times, then the upper
    float green_weights[256][2];
    float blue_weights[256][2];  // times 1023 / norm
    CubeKernelRun run;
};

// Fills the tables for a loaded cube and picks the fastest variant the processor runs.
// colour_terms must outlive the kernel. False when memory for the tables cannot be had.
bool prepare_cube_kernel(CubeKernel* kernel, const CubeLut* lut, const uint32_t (*colour_terms)[1024],
                         uint32_t colour_base);
void release_cube_kernel(CubeKernel* kernel);

// The colour word of the 10-bit red, green and blue values v.
inline uint32_t cube_colour_word(const CubeKernel& kernel, const int v[3]) {
    return kernel.colour_base + kernel.colour_terms[0][v[0]] + kernel.colour_terms[1][v[1]] +
           kernel.colour_terms[2][v[2]];
}

// The colour word of each of count pixels (packed B, G, R 16-bit samples; the high bytes count).
inline void cube_kernel_colours(const CubeKernel& kernel, const uint16_t* pixels, int count,
                                uint32_t* colours) {
    kernel.run(kernel, pixels, count, colours);
}

// The variants, for the tests: the plain per-pixel reference, SSE2, and AVX2 (null where the
// processor lacks it).
CubeKernelRun cube_kernel_reference();
CubeKernelRun cube_kernel_sse2();
CubeKernelRun cube_kernel_avx2();

// In its own file, built for AVX2; reached only through cube_kernel_avx2().
void cube_kernel_avx2_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours);
