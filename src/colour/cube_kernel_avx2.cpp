// The cube kernel with 256-bit vectors. Built with -mavx2 -mfma -ffp-contract=off and called
// only where the processor has both. The exact arithmetic holds one pixel's three components
// (and a pad) in a vector of doubles and fuses no product with its sum, or the roundings would
// differ from the reference; only the estimate, whose error is bounded, uses fused products.
#include <cstddef>

#include <immintrin.h>

#include "colour/cube_kernel.h"
#include "colour/tone_map.h"

namespace {

// Kept here rather than taken from the header: an inline function compiled in this file could
// be the copy the linker keeps for every caller, AVX2 instructions and all.
uint32_t colour_word(const CubeKernel& kernel, const int v[3]) {
    return kernel.colour_base + kernel.colour_terms[0][v[0]] + kernel.colour_terms[1][v[1]] +
           kernel.colour_terms[2][v[2]];
}

__m256d blend(__m256d lower, __m256d upper, __m256d lower_weight, __m256d upper_weight) {
    return _mm256_add_pd(_mm256_mul_pd(lower, lower_weight), _mm256_mul_pd(upper, upper_weight));
}
__m256d to_float(__m256d value) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(value)); }

__m256d lattice_entry(const float* entry) {
    // Entries are 12 bytes apart, so the first two floats are loaded without any alignment.
    const __m128 low = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(entry)));
    return _mm256_cvtps_pd(_mm_movelh_ps(low, _mm_load_ss(entry + 2)));
}

__m256d red_blend(const float* entry, __m256d lower_weight, __m256d upper_weight) {
    return to_float(blend(lattice_entry(entry), lattice_entry(entry + 3), lower_weight, upper_weight));
}

// One pixel as sample_cube_lut and tone_map_cube_pixel make it. Out of line: the estimate
// settles nearly every pixel, and its loop keeps its registers.
__attribute__((noinline)) uint32_t exact_colour(const CubeKernel& kernel, const uint16_t* pixel) {
    const int r = pixel[2] >> 8, g = pixel[1] >> 8, b = pixel[0] >> 8;
    if (kernel.on_lattice[0][r] && kernel.on_lattice[1][g] && kernel.on_lattice[2][b]) {
        int v[3];
        tone_map_cube_pixel(kernel.lut, uint8_t(r), uint8_t(g), uint8_t(b), v);
        return colour_word(kernel, v);
    }
    const int n = kernel.lut->grid_size;
    const float* e = kernel.lut->lattice + kernel.lattice_place[0][r] + kernel.lattice_place[1][g] +
                     kernel.lattice_place[2][b];
    const __m256d rl = _mm256_broadcast_sd(&kernel.weights[0][r][0]);
    const __m256d rh = _mm256_broadcast_sd(&kernel.weights[0][r][1]);
    const __m256d a00 = red_blend(e, rl, rh), a10 = red_blend(e + 3 * n, rl, rh);
    const __m256d a01 = red_blend(e + 3 * n * n, rl, rh), a11 = red_blend(e + 3 * n * n + 3 * n, rl, rh);
    const __m256d gl = _mm256_broadcast_sd(&kernel.weights[1][g][0]);
    const __m256d gh = _mm256_broadcast_sd(&kernel.weights[1][g][1]);
    const __m256d bl = _mm256_broadcast_sd(&kernel.weights[2][b][0]);
    const __m256d bh = _mm256_broadcast_sd(&kernel.weights[2][b][1]);
    const __m256d b0 = to_float(blend(a00, a10, gl, gh)), b1 = to_float(blend(a01, a11, gl, gh));
    __m256d value = blend(b0, b1, bl, bh);
    value = kernel.norm_is_power_of_two ? _mm256_mul_pd(value, _mm256_set1_pd(kernel.inverse_norm))
                                        : _mm256_div_pd(value, _mm256_set1_pd(kernel.norm));
    // Times 1023 in double, clamped to 0..1023 (max_pd gives its second operand for a NaN),
    // truncated: tone_map_cube_pixel's codes.
    const __m256d top = _mm256_set1_pd(1023.0);
    const __m256d scaled = _mm256_mul_pd(to_float(value), top);
    const __m128i codes = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(scaled, _mm256_setzero_pd()), top));
    const int v[3] = {_mm_cvtsi128_si32(codes), _mm_extract_epi32(codes, 1), _mm_extract_epi32(codes, 2)};
    return colour_word(kernel, v);
}

// The float estimate of one pixel, before its red blend is folded: lanes 0-3 hold what red
// index i contributes, lanes 4-7 what i + 1 does. The red weights go into the green ones (whole
// numbers, so exactly), then green is blended, then blue (whose weights carry 1023 / norm): the
// fewer steps after the lattice loads, the sooner each pixel is done.
struct Estimate {
    const float* corners;
    ptrdiff_t green_step, blue_step;  // in floats
    __m256 margin;
};

// The two helpers below are inlined at every optimisation level: as calls they would pass
// their vectors through memory, at a third more instructions per pixel.

// lowest: the cell's two lowest entries as loaded, pads and all.
[[gnu::always_inline]] inline __m256 red_terms(const CubeKernel& kernel, const Estimate& e,
                                               const uint16_t* pixel, __m256* lowest) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pixel);
    const size_t r = bytes[5], g = bytes[3], b = bytes[1];
    const float* c =
        e.corners + kernel.corner_place[0][r] + kernel.corner_place[1][g] + kernel.corner_place[2][b];
    const __m256 red = _mm256_loadu_ps(kernel.red_weights[r]);
    const __m256 gl = _mm256_mul_ps(red, _mm256_broadcast_ss(&kernel.green_weights[g][0]));
    const __m256 gh = _mm256_mul_ps(red, _mm256_broadcast_ss(&kernel.green_weights[g][1]));
    *lowest = _mm256_loadu_ps(c);
    const __m256 blue0 = _mm256_fmadd_ps(_mm256_loadu_ps(c + e.green_step), gh, _mm256_mul_ps(*lowest, gl));
    c += e.blue_step;
    const __m256 blue1 =
        _mm256_fmadd_ps(_mm256_loadu_ps(c + e.green_step), gh, _mm256_mul_ps(_mm256_loadu_ps(c), gl));
    return _mm256_fmadd_ps(blue1, _mm256_broadcast_ss(&kernel.blue_weights[b][1]),
                           _mm256_mul_ps(blue0, _mm256_broadcast_ss(&kernel.blue_weights[b][0])));
}

// The codes of two pixels (lanes 0-2 and 4-6), and which of the two are certain (bits 0-15 and
// 16-31, four a component). The codes at both ends of the estimate's margin, truncated and
// clamped to 0..1023, must agree: both steps are monotonic, so the reference's value, which
// lies between the ends, gives the same code. Where they differ by exactly one, the cell's proof,
// if it has one, names the code by its lowest bit. The pad lanes come out certain.
// by_estimate: which are certain without the proof (for counting).
[[gnu::always_inline]] inline unsigned estimate_pair(const CubeKernel& kernel, const Estimate& e,
                                                     const uint16_t* first, const uint16_t* second,
                                                     int32_t codes[8], unsigned* by_estimate) {
    __m256 lowest0, lowest1;
    const __m256 terms0 = red_terms(kernel, e, first, &lowest0),
                 terms1 = red_terms(kernel, e, second, &lowest1);
    const __m256 estimate = _mm256_add_ps(_mm256_permute2f128_ps(terms0, terms1, 0x20),
                                          _mm256_permute2f128_ps(terms0, terms1, 0x31));
    const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(1023);
    const __m256i low =
        _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(_mm256_sub_ps(estimate, e.margin)), zero), top);
    const __m256i high =
        _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(_mm256_add_ps(estimate, e.margin)), zero), top);
    const unsigned certain = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi32(low, high)));
    *by_estimate = certain;
    if (certain == 0xffffffff) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(codes), low);
        return certain;
    }
    // Each pixel's proof bits in its four lanes, those of its component lowest (the pad's lane
    // gets the pad's sign bit, never set).
    const __m256i pads = _mm256_castps_si256(
        _mm256_permute_ps(_mm256_permute2f128_ps(lowest0, lowest1, 0x20), _MM_SHUFFLE(3, 3, 3, 3)));
    const __m256i proof = _mm256_srlv_epi32(pads, _mm256_setr_epi32(0, 2, 4, 31, 0, 2, 4, 31));
    const __m256i one = _mm256_set1_epi32(1);
    // The lowest bit names the code only between two neighbours: a margin that spans more codes
    // (lattice values in the hundreds) leaves the pixel to settle.
    const __m256i neighbours = _mm256_cmpeq_epi32(_mm256_sub_epi32(high, low), one);
    const __m256i proven = _mm256_and_si256(_mm256_and_si256(proof, one), neighbours);
    const __m256i parity = _mm256_and_si256(_mm256_srli_epi32(proof, 1), one);
    const __m256i chosen = _mm256_add_epi32(low, _mm256_and_si256(_mm256_xor_si256(low, parity), proven));
    _mm256_store_si256(reinterpret_cast<__m256i*>(codes), chosen);
    return certain | unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi32(proven, one)));
}

// A pixel the estimate left uncertain in some component (certain: its 16 bits of
// estimate_pair): the cell's corners settle what they prove, the exact arithmetic the rest.
// Out of line, like exact_colour. settled: 1 for the corners, 2 for the exact arithmetic.
__attribute__((noinline)) uint32_t settle(const CubeKernel& kernel, const uint16_t* pixel,
                                          const int32_t* codes, unsigned certain, int* settled) {
    int v[3];
    for (int c = 0; c < 3 && kernel.proofs; ++c) {
        v[c] = (certain >> 4 * c & 15) == 15 ? codes[c] : proven_cube_code(kernel, pixel, c);
        if (v[c] < 0) break;
        if (c == 2) {
            *settled = 1;
            return colour_word(kernel, v);
        }
    }
    *settled = 2;
    return exact_colour(kernel, pixel);
}

template <bool counted>
void estimated_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours,
                   CubeKernelTally* tally) {
    const int n = kernel.lut->grid_size;
    const Estimate e{kernel.corners, 4 * n, 4 * n * n, _mm256_set1_ps(kernel.estimate_margin)};
    const uint32_t(*terms)[1024] = kernel.colour_terms;
    const uint32_t base = kernel.colour_base;
    auto word = [terms, base](const int32_t* codes) {
        return base + terms[0][uint32_t(codes[0])] + terms[1][uint32_t(codes[1])] +
               terms[2][uint32_t(codes[2])];
    };
    int settled = 0;
    long each[4] = {0, 0, 0, 0};
    auto colour = [&](const uint16_t* pixel, const int32_t* codes, unsigned certain, unsigned by_estimate) {
        if (certain == 0xffff) {
            if (counted) ++each[by_estimate == 0xffff ? 0 : 1];
            return word(codes);
        }
        const uint32_t found = settle(kernel, pixel, codes, certain, &settled);
        if (counted) ++each[settled + 1];
        return found;
    };
    alignas(32) int32_t codes[8];
    unsigned by_estimate;
    int i = 0;
    for (; i + 2 <= count; i += 2, pixels += 6) {
        const unsigned certain = estimate_pair(kernel, e, pixels, pixels + 3, codes, &by_estimate);
        colours[i] = colour(pixels, codes, certain & 0xffff, by_estimate & 0xffff);
        colours[i + 1] = colour(pixels + 3, codes + 4, certain >> 16, by_estimate >> 16);
    }
    if (i < count) {
        const unsigned certain = estimate_pair(kernel, e, pixels, pixels, codes, &by_estimate);
        colours[i] = colour(pixels, codes, certain & 0xffff, by_estimate & 0xffff);
    }
    if (counted) {
        tally->estimated += each[0];
        tally->cell_proven += each[1];
        tally->corner_proven += each[2];
        tally->exact += each[3];
    }
}

}  // namespace

void cube_kernel_avx2_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours) {
    if (!kernel.estimate) {
        for (int i = 0; i < count; ++i) colours[i] = exact_colour(kernel, pixels + 3 * i);
        return;
    }
    estimated_run<false>(kernel, pixels, count, colours, nullptr);
}

void cube_kernel_avx2_tally_run(const CubeKernel& kernel, const uint16_t* pixels, int count,
                                uint32_t* colours, CubeKernelTally* tally) {
    if (!kernel.estimate) {
        for (int i = 0; i < count; ++i) colours[i] = exact_colour(kernel, pixels + 3 * i);
        tally->exact += count;
        return;
    }
    estimated_run<true>(kernel, pixels, count, colours, tally);
}
