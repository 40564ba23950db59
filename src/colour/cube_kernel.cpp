#include "colour/cube_kernel.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

#include "colour/tone_map.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are read in host order");

namespace {

// Large enough for the common cube sizes up to 65 points (17 MB there); larger cubes blend
// along red per pixel instead.
constexpr int largest_tabled_grid = 65;

void reference_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours) {
    for (int i = 0; i < count; ++i, pixels += 3) {
        int v[3];
        tone_map_cube_pixel(kernel.lut, uint8_t(pixels[2] >> 8), uint8_t(pixels[1] >> 8),
                            uint8_t(pixels[0] >> 8), v);
        colours[i] = cube_colour_word(kernel, v);
    }
}

// Components 0 and 1 in one vector, component 2 (and a pad) in the other.
struct Pair {
    __m128d low, high;
};

Pair widen(__m128 floats) { return {_mm_cvtps_pd(floats), _mm_cvtps_pd(_mm_movehl_ps(floats, floats))}; }

// One axis step as sample_cube_lut takes it: both products and their sum in double, the sum
// rounded to float.
__m128d blend(__m128d lower, __m128d upper, __m128d lower_weight, __m128d upper_weight) {
    return _mm_add_pd(_mm_mul_pd(lower, lower_weight), _mm_mul_pd(upper, upper_weight));
}
__m128d to_float(__m128d value) { return _mm_cvtps_pd(_mm_cvtpd_ps(value)); }
Pair blend_to_float(Pair lower, Pair upper, __m128d lower_weight, __m128d upper_weight) {
    return {to_float(blend(lower.low, upper.low, lower_weight, upper_weight)),
            to_float(blend(lower.high, upper.high, lower_weight, upper_weight))};
}

Pair lattice_entry(const float* entry) {
    // Entries are 12 bytes apart, so the first two floats are loaded without any alignment.
    return {_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(entry)))),
            _mm_cvtps_pd(_mm_load_ss(entry + 2))};
}

// The red blend of two neighbouring lattice entries.
Pair red_blend(const float* entry, __m128d lower_weight, __m128d upper_weight) {
    return blend_to_float(lattice_entry(entry), lattice_entry(entry + 3), lower_weight, upper_weight);
}

// The output codes of tone_map_cube_pixel: times 1023 in double, clamped to 0..1023 (NaN to 0),
// truncated. max_pd gives its second operand for a NaN.
__m128i output_codes(__m128d value) {
    const __m128d scaled = _mm_mul_pd(value, _mm_set1_pd(1023.0));
    return _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(scaled, _mm_setzero_pd()), _mm_set1_pd(1023.0)));
}

void sse2_run(const CubeKernel& kernel, const uint16_t* pixels, int count, uint32_t* colours) {
    const float* lattice = kernel.lut->lattice;
    const int n = kernel.lut->grid_size;
    for (int i = 0; i < count; ++i, pixels += 3) {
        const int r = pixels[2] >> 8, g = pixels[1] >> 8, b = pixels[0] >> 8;
        if (kernel.on_lattice[0][r] && kernel.on_lattice[1][g] && kernel.on_lattice[2][b]) {
            reference_run(kernel, pixels, 1, colours + i);
            continue;
        }
        Pair a00, a10, a01, a11;
        if (kernel.red_blends != nullptr) {
            const float* a = kernel.red_blends + kernel.blend_place[0][r] + kernel.blend_place[1][g] +
                             kernel.blend_place[2][b];
            a00 = widen(_mm_load_ps(a));
            a10 = widen(_mm_load_ps(a + 4));
            a01 = widen(_mm_load_ps(a + kernel.blue_step));
            a11 = widen(_mm_load_ps(a + kernel.blue_step + 4));
        } else {
            const float* e =
                lattice + kernel.corner_place[0][r] + kernel.corner_place[1][g] + kernel.corner_place[2][b];
            const __m128d rl = _mm_set1_pd(kernel.weights[0][r][0]),
                          rh = _mm_set1_pd(kernel.weights[0][r][1]);
            a00 = red_blend(e, rl, rh);
            a10 = red_blend(e + 3 * n, rl, rh);
            a01 = red_blend(e + 3 * n * n, rl, rh);
            a11 = red_blend(e + 3 * n * n + 3 * n, rl, rh);
        }
        const __m128d gl = _mm_set1_pd(kernel.weights[1][g][0]), gh = _mm_set1_pd(kernel.weights[1][g][1]);
        const __m128d bl = _mm_set1_pd(kernel.weights[2][b][0]), bh = _mm_set1_pd(kernel.weights[2][b][1]);
        const Pair b0 = blend_to_float(a00, a10, gl, gh), b1 = blend_to_float(a01, a11, gl, gh);
        __m128d low = blend(b0.low, b1.low, bl, bh), high = blend(b0.high, b1.high, bl, bh);
        if (kernel.norm_is_power_of_two) {
            low = _mm_mul_pd(low, _mm_set1_pd(kernel.inverse_norm));
            high = _mm_mul_pd(high, _mm_set1_pd(kernel.inverse_norm));
        } else {
            low = _mm_div_pd(low, _mm_set1_pd(kernel.norm));
            high = _mm_div_pd(high, _mm_set1_pd(kernel.norm));
        }
        const __m128i codes_low = output_codes(to_float(low)), codes_high = output_codes(to_float(high));
        const int v[3] = {_mm_cvtsi128_si32(codes_low), _mm_cvtsi128_si32(_mm_srli_si128(codes_low, 4)),
                          _mm_cvtsi128_si32(codes_high)};
        colours[i] = cube_colour_word(kernel, v);
    }
}

// What sample_cube_lut's first step gives for red code r between the entries at e and e + 3.
void fill_red_blends(CubeKernel* kernel) {
    const CubeLut& lut = *kernel->lut;
    const int n = lut.grid_size;
    for (int k = 0; k < n; ++k) {
        for (int r = 0; r < 256; ++r) {
            const int lower = cube_cell_width(n) - lut.cell_offset_table[r], upper = lut.cell_offset_table[r];
            for (int j = 0; j < n; ++j) {
                const float* e = lut.lattice + 3 * ((k * n + j) * n + lut.cell_index_table[r]);
                float* a = kernel->red_blends + 4 * ((size_t(k) * 256 + r) * n + j);
                for (int c = 0; c < 3; ++c) a[c] = float(double(e[c]) * lower + double(e[c + 3]) * upper);
                a[3] = 0;
            }
        }
    }
}

}  // namespace

CubeKernelRun cube_kernel_reference() { return reference_run; }
CubeKernelRun cube_kernel_sse2() { return sse2_run; }
CubeKernelRun cube_kernel_avx2() { return __builtin_cpu_supports("avx2") ? cube_kernel_avx2_run : nullptr; }

bool prepare_cube_kernel(CubeKernel* kernel, const CubeLut* lut, const uint32_t (*colour_terms)[1024],
                         uint32_t colour_base) {
    release_cube_kernel(kernel);
    const int n = lut->grid_size, width = cube_cell_width(n);
    kernel->lut = lut;
    kernel->colour_terms = colour_terms;
    kernel->colour_base = colour_base;
    if (n <= largest_tabled_grid) {
        const size_t bytes = size_t(n) * 256 * n * 4 * sizeof(float);
        kernel->red_blends = static_cast<float*>(std::aligned_alloc(64, bytes));
        if (kernel->red_blends == nullptr) return false;
        fill_red_blends(kernel);
    }
    kernel->blue_step = 256 * n * 4;
    const int corner_step[3] = {3, 3 * n, 3 * n * n};
    const int blend_step[3] = {4 * n, 4, kernel->blue_step};
    for (int axis = 0; axis < 3; ++axis) {
        for (int code = 0; code < 256; ++code) {
            const int cell = lut->cell_index_table[code], offset = lut->cell_offset_table[code];
            kernel->corner_place[axis][code] = cell * corner_step[axis];
            kernel->blend_place[axis][code] = (axis == 0 ? code : cell) * blend_step[axis];
            kernel->weights[axis][code][0] = width - offset;
            kernel->weights[axis][code][1] = offset;
            kernel->on_lattice[axis][code] = offset == 0;
        }
    }
    // The estimate (in output codes: the blue weights carry 1023 / norm) is off the exact
    // result by less than 1023 * 9 float roundings of the largest lattice value: a margin of
    // 1023 * largest * 2^-20 leaves it room twice over. Up to 2^20 no code overflows.
    float largest = 0;
    bool finite = true;
    for (int e = 0; e < 3 * n * n * n; ++e) {
        finite = finite && std::isfinite(lut->lattice[e]);
        largest = std::fmax(largest, std::fabs(lut->lattice[e]));
    }
    kernel->estimate = kernel->red_blends != nullptr && finite && largest <= 0x1p20f;
    kernel->estimate_margin = float(1023.0 * largest * 0x1p-20 * 1.01 + 0x1p-100);
    const double scale = 1023.0 / (double(width) * width * width);
    for (int code = 0; code < 256; ++code) {
        const float lower = float(width - lut->cell_offset_table[code]), upper = lut->cell_offset_table[code];
        kernel->blue_weights[code][0] = float(lower * scale);
        kernel->blue_weights[code][1] = float(upper * scale);
        for (int k = 0; k < 4; ++k) {
            kernel->green_weights[code][k] = lower;
            kernel->green_weights[code][k + 4] = upper;
        }
    }
    kernel->norm = double(width) * width * width;
    kernel->inverse_norm = 1.0 / kernel->norm;
    kernel->norm_is_power_of_two = (width & (width - 1)) == 0;
    kernel->run = cube_kernel_avx2() != nullptr ? cube_kernel_avx2() : sse2_run;
    return true;
}

void release_cube_kernel(CubeKernel* kernel) {
    std::free(kernel->red_blends);
    std::memset(kernel, 0, sizeof *kernel);
}
