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
    // core's second-level cache. Null where the estimate is not used. With proofs, an entry's
    // pad tells, for the cell whose lowest corner it is, which outputs have one code wherever a
    // pixel falls in the cell (see cell_proof_bits).
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
    // output code than its error can reach, or where both ends of its margin clamp to the same
    // code. Used with corners when every lattice value is finite and not huge.
    bool estimate;
    float estimate_margin;  // in output codes
    // Where the estimate cannot tell, an output lies on or next to a code: white clipped to 1.0,
    // or a LUT whose values are k / 1023. The cell's corners then settle most pixels (see
    // proven_cube_code) and the exact arithmetic the rest. Used where the cell width is a power
    // of two and every lattice value is 0 or of a magnitude from 2^-40 to 2^20, so that scaling
    // by the width never rounds.
    bool proofs;
    float inverse_width;
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

// The pad of a lattice entry in corners, as bits: for output c, bit 2c is set where every
// pixel of the entry's cell has one code there, and bit 2c + 1 is that code's lowest bit. Every
// step of the reference is a rounded weighted mean, so its value never leaves the range of the
// cell's corners: corners whose codes agree give that code. An uncertain estimate spans two
// neighbouring codes, so the lowest bit picks the one. Bit cell_varies_bit + 3c + axis is set
// where the cell's corners differ in output c along that axis (0 red, 1 green, 2 blue). Bit 30
// keeps the pad a normal float, which the estimate's arithmetic carries along in a lane of its
// own at no extra cost.
constexpr uint32_t cell_proof_marker = 1u << 30;
constexpr int cell_varies_bit = 8;
inline uint32_t cell_proof_bits(const CubeKernel& kernel, ptrdiff_t corner_place) {
    uint32_t bits;
    __builtin_memcpy(&bits, kernel.corners + corner_place + 3, sizeof bits);
    return bits;
}

// The code of output channel (0 red, 1 green, 2 blue) of a pixel, where the corners of its cell
// prove it without the trilinear arithmetic; -1 where they do not. Only with kernel.proofs.
int proven_cube_code(const CubeKernel& kernel, const uint16_t* pixel, int channel);

// How many pixels each step settled: the estimate alone, with the cell's proof, with
// proven_cube_code, and the exact arithmetic. For benchmarks and tests; the program never
// counts.
struct CubeKernelTally {
    long estimated, cell_proven, corner_proven, exact;
};

// In its own file, built for AVX2; reached only through cube_kernel_avx2().
void cube_kernel_avx2_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours);
// The same colours, counted into tally; null where the processor lacks AVX2.
using CubeKernelTallyRun = void (*)(const CubeKernel& kernel, const uint16_t* pixels, int count,
                                    uint32_t* colours, CubeKernelTally* tally);
CubeKernelTallyRun cube_kernel_avx2_tally();
void cube_kernel_avx2_tally_run(const CubeKernel& kernel, const uint16_t* pixels, int count,
                                uint32_t* colours, CubeKernelTally* tally);
