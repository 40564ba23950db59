// The cube kernel with 256-bit vectors: one pixel's three components (and a pad) in one vector
// of doubles. Built with -mavx2 -ffp-contract=off and called only where the processor has AVX2;
// no product may be fused with its sum, or the roundings would differ from the reference.
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

// The output codes of the float estimate, where they are certain: the codes at both ends of
// the estimate's margin, truncated, must agree. Truncation is monotonic, so the exact value,
// which lies between the ends, truncates to the same code; clamped to 0..1023 it is the code
// tone_map_cube_pixel gives.
struct Estimate {
    const float* red_blends;
    ptrdiff_t blue_step;
    __m128 margin;
};

bool estimated_codes(const CubeKernel& kernel, const Estimate& e, const uint8_t* pixel, int v[3]) {
    const int r = pixel[5], g = pixel[3], b = pixel[1];
    const float* a =
        e.red_blends + kernel.blend_place[0][r] + kernel.blend_place[1][g] + kernel.blend_place[2][b];
    // Lanes 0-3: green index j, lanes 4-7: j + 1; blue index k, then k + 1.
    const __m256 blended = _mm256_add_ps(
        _mm256_mul_ps(_mm256_loadu_ps(a), _mm256_broadcast_ss(&kernel.blue_weights[b][0])),
        _mm256_mul_ps(_mm256_loadu_ps(a + e.blue_step), _mm256_broadcast_ss(&kernel.blue_weights[b][1])));
    const __m256 weighted = _mm256_mul_ps(blended, _mm256_loadu_ps(kernel.green_weights[g]));
    const __m128 estimate = _mm_add_ps(_mm256_castps256_ps128(weighted), _mm256_extractf128_ps(weighted, 1));
    const __m128i low = _mm_cvttps_epi32(_mm_sub_ps(estimate, e.margin));
    const __m128i high = _mm_cvttps_epi32(_mm_add_ps(estimate, e.margin));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(low, high)) != 0xffff) return false;
    const __m128i codes = _mm_min_epi32(_mm_max_epi32(low, _mm_setzero_si128()), _mm_set1_epi32(1023));
    v[0] = _mm_cvtsi128_si32(codes);
    v[1] = _mm_extract_epi32(codes, 1);
    v[2] = _mm_extract_epi32(codes, 2);
    return true;
}

}  // namespace

void cube_kernel_avx2_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours) {
    const float* lattice = kernel.lut->lattice;
    const int n = kernel.lut->grid_size;
    const __m256d top = _mm256_set1_pd(1023.0);
    const Estimate estimate{kernel.red_blends, kernel.blue_step, _mm_set1_ps(kernel.estimate_margin)};
    for (int i = 0; i < count; ++i, pixels += 3) {
        int estimated[3];
        if (kernel.estimate &&
            estimated_codes(kernel, estimate, reinterpret_cast<const uint8_t*>(pixels), estimated)) {
            colours[i] = colour_word(kernel, estimated);
            continue;
        }
        const int r = pixels[2] >> 8, g = pixels[1] >> 8, b = pixels[0] >> 8;
        if (kernel.on_lattice[0][r] && kernel.on_lattice[1][g] && kernel.on_lattice[2][b]) {
            int v[3];
            tone_map_cube_pixel(kernel.lut, uint8_t(r), uint8_t(g), uint8_t(b), v);
            colours[i] = colour_word(kernel, v);
            continue;
        }
        __m256d a00, a10, a01, a11;
        if (kernel.red_blends != nullptr) {
            const float* a = kernel.red_blends + kernel.blend_place[0][r] + kernel.blend_place[1][g] +
                             kernel.blend_place[2][b];
            a00 = _mm256_cvtps_pd(_mm_load_ps(a));
            a10 = _mm256_cvtps_pd(_mm_load_ps(a + 4));
            a01 = _mm256_cvtps_pd(_mm_load_ps(a + kernel.blue_step));
            a11 = _mm256_cvtps_pd(_mm_load_ps(a + kernel.blue_step + 4));
        } else {
            const float* e =
                lattice + kernel.corner_place[0][r] + kernel.corner_place[1][g] + kernel.corner_place[2][b];
            const __m256d rl = _mm256_broadcast_sd(&kernel.weights[0][r][0]);
            const __m256d rh = _mm256_broadcast_sd(&kernel.weights[0][r][1]);
            a00 = red_blend(e, rl, rh);
            a10 = red_blend(e + 3 * n, rl, rh);
            a01 = red_blend(e + 3 * n * n, rl, rh);
            a11 = red_blend(e + 3 * n * n + 3 * n, rl, rh);
        }
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
        const __m256d scaled = _mm256_mul_pd(to_float(value), top);
        const __m128i codes =
            _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(scaled, _mm256_setzero_pd()), top));
        const int v[3] = {_mm_cvtsi128_si32(codes), _mm_extract_epi32(codes, 1), _mm_extract_epi32(codes, 2)};
        colours[i] = colour_word(kernel, v);
    }
}
