#include "colour/cube_kernel.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

#include "colour/processor.h"
#include "colour/tone_map.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are read in host order");

namespace {

// The padded lattice for the estimate, up to 65 points (4.4 MB there); larger cubes take the
// exact arithmetic for every pixel.
constexpr int largest_estimated_grid = 65;

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
        const float* e =
            lattice + kernel.lattice_place[0][r] + kernel.lattice_place[1][g] + kernel.lattice_place[2][b];
        const __m128d rl = _mm_set1_pd(kernel.weights[0][r][0]), rh = _mm_set1_pd(kernel.weights[0][r][1]);
        const Pair a00 = red_blend(e, rl, rh), a10 = red_blend(e + 3 * n, rl, rh);
        const Pair a01 = red_blend(e + 3 * n * n, rl, rh), a11 = red_blend(e + 3 * n * n + 3 * n, rl, rh);
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

// Each cell's proof, in the pad of its lowest corner (entries on the upper faces start no
// cell and keep only the marker). Codes grow with values, so the corners' codes agreeing
// is the codes of their least and greatest values agreeing. False without memory.
bool fill_cell_proofs(CubeKernel* kernel) {
    const int n = kernel->lut->grid_size, entries = n * n * n;
    const int step[3] = {1, n, n * n};
    const float* lattice = kernel->lut->lattice;
    // Per entry, its three codes and, at bit 3c + axis, whether output c changes towards the
    // next entry along axis.
    int16_t* codes = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * 4 * entries));
    if (codes == nullptr) return false;
    for (int e = 0; e < entries; ++e) {
        const int at[3] = {e % n, e / n % n, e / (n * n)};
        uint16_t changes = 0;
        for (int c = 0; c < 3; ++c) {
            codes[4 * e + c] = int16_t(cube_output_code(lattice[3 * e + c]));
            for (int axis = 0; axis < 3; ++axis) {
                if (at[axis] < n - 1 && lattice[3 * e + c] != lattice[3 * (e + step[axis]) + c])
                    changes = uint16_t(changes | 1u << (3 * c + axis));
            }
        }
        codes[4 * e + 3] = int16_t(changes);
    }
    const uint32_t axis_bits[3] = {0x49, 0x92, 0x124};  // bits 3c + axis for c = 0, 1, 2
    for (int e = 0; e < entries; ++e) {
        uint32_t bits = cell_proof_marker;
        if (e % n < n - 1 && e / n % n < n - 1 && e / (n * n) < n - 1) {
            // A cell's corners: e plus the steps of the set bits of k.
            int corner[8];
            for (int k = 0; k < 8; ++k)
                corner[k] = e + (k & 1) * step[0] + (k >> 1 & 1) * step[1] + (k >> 2) * step[2];
            for (int c = 0; c < 3; ++c) {
                bool agree = true;
                for (int k = 1; k < 8; ++k)
                    agree = agree && codes[4 * corner[k] + c] == codes[4 * corner[0] + c];
                if (agree) bits |= (1u | (uint32_t(codes[4 * e + c]) & 1) << 1) << 2 * c;
            }
            // Along an axis, the four edges of the cell that run that way start at the corners
            // without that axis's bit.
            for (int axis = 0; axis < 3; ++axis) {
                uint32_t along = 0;
                for (int k = 0; k < 8; ++k)
                    if ((k >> axis & 1) == 0) along |= uint32_t(uint16_t(codes[4 * corner[k] + 3]));
                bits |= (along & axis_bits[axis]) << cell_varies_bit;
            }
        }
        std::memcpy(kernel->corners + 4 * e + 3, &bits, sizeof bits);
    }
    std::free(codes);
    return true;
}

// Where scaling by the cell width never rounds: a power of two, and lattice values whose
// weighted sums and their roundings stay far from float's subnormals and its largest values.
bool lattice_scales_exactly(const CubeLut& lut, int width) {
    if ((width & (width - 1)) != 0) return false;
    const int values = 3 * lut.grid_size * lut.grid_size * lut.grid_size;
    for (int e = 0; e < values; ++e) {
        const float magnitude = std::fabs(lut.lattice[e]);
        if (magnitude != 0 && !(magnitude >= 0x1p-40f && magnitude <= 0x1p20f)) return false;
    }
    return true;
}

}  // namespace

CubeKernelRun cube_kernel_reference() { return reference_run; }
CubeKernelRun cube_kernel_sse2() { return sse2_run; }
CubeKernelRun cube_kernel_avx2() { return processor_runs_avx2() ? cube_kernel_avx2_run : nullptr; }
CubeKernelTallyRun cube_kernel_avx2_tally() {
    return processor_runs_avx2() ? cube_kernel_avx2_tally_run : nullptr;
}

// With a power-of-two width w, the reference's steps are, but for a power of two, the same
// roundings of weighted means with weights W / w. An axis along which the pixel sits on the
// cell's lower face (weight 0 for the upper corners), or along which the corners are equal,
// leaves every value as it was, exactly. Where at most one axis is left, the value is that
// axis's one blend, rounded to float as the reference rounds it; its later steps only scale.
int proven_cube_code(const CubeKernel& kernel, const uint16_t* pixel, int channel) {
    const int code[3] = {pixel[2] >> 8, pixel[1] >> 8, pixel[0] >> 8};
    const ptrdiff_t place =
        kernel.corner_place[0][code[0]] + kernel.corner_place[1][code[1]] + kernel.corner_place[2][code[2]];
    const float* corner = kernel.corners + place + channel;
    const ptrdiff_t g = 4 * kernel.lut->grid_size, step[3] = {4, g, g * kernel.lut->grid_size};
    const uint32_t bits = cell_proof_bits(kernel, place);
    if (bits >> 2 * channel & 1) return cube_output_code(corner[0]);
    // The axes the value moves along: off the cell's lower face there, corners differing.
    const uint32_t off_lattice = uint32_t(!kernel.on_lattice[0][code[0]]) |
                                 uint32_t(!kernel.on_lattice[1][code[1]]) << 1 |
                                 uint32_t(!kernel.on_lattice[2][code[2]]) << 2;
    const uint32_t axes = bits >> (cell_varies_bit + 3 * channel) & off_lattice & 7;
    if ((axes & (axes - 1)) != 0) return -1;
    if (axes == 0) return cube_output_code(corner[0]);
    const int moving = __builtin_ctz(axes);
    const double* weights = kernel.weights[moving][code[moving]];
    const float blended = float(double(corner[0]) * weights[0] + double(corner[step[moving]]) * weights[1]);
    return cube_output_code(blended * kernel.inverse_width);
}

bool prepare_cube_kernel(CubeKernel* kernel, const CubeLut* lut, const uint32_t (*colour_terms)[1024],
                         uint32_t colour_base) {
    release_cube_kernel(kernel);
    const CubeKernelRun avx2 = cube_kernel_avx2();
    const int n = lut->grid_size, width = cube_cell_width(n);
    kernel->lut = lut;
    kernel->colour_terms = colour_terms;
    kernel->colour_base = colour_base;
    const int lattice_step[3] = {3, 3 * n, 3 * n * n};
    for (int axis = 0; axis < 3; ++axis) {
        for (int code = 0; code < 256; ++code) {
            const int cell = lut->cell_index_table[code], offset = lut->cell_offset_table[code];
            kernel->lattice_place[axis][code] = cell * lattice_step[axis];
            kernel->corner_place[axis][code] = ptrdiff_t(cell) * lattice_step[axis] / 3 * 4;
            kernel->weights[axis][code][0] = width - offset;
            kernel->weights[axis][code][1] = offset;
            kernel->on_lattice[axis][code] = offset == 0;
        }
    }
    // How far the estimate may be from the reference's value, in output codes. Let L be the
    // largest lattice magnitude and u = 2^-24. Weights are positive and sum to the cell width on
    // each axis, so every partial sum in either computation, scaled to output codes, stays
    // within 1023 L, and each float rounding adds at most u times that. The estimate rounds six
    // times on any path (blue's weight times 1023 / norm; a product and a fused sum for green,
    // the same for blue; the fold's sum), the reference three times (after each axis; its
    // double products and the division add far less), and the margin test's own sum and
    // difference once more: ten in all, under sixteen. Hence a margin of 1023 L 2^-20 (1% more
    // for its own rounding, and a floor for subnormal products). Up to L = 2^20 no code
    // overflows a 32-bit integer.
    float largest = 0;
    bool finite = true;
    for (int e = 0; e < 3 * n * n * n; ++e) {
        finite = finite && std::isfinite(lut->lattice[e]);
        largest = std::fmax(largest, std::fabs(lut->lattice[e]));
    }
    kernel->estimate = avx2 != nullptr && n <= largest_estimated_grid && finite && largest <= 0x1p20f;
    if (kernel->estimate) {
        kernel->corners = padded_cube_lattice(*lut);
        if (kernel->corners == nullptr) return false;
    }
    kernel->estimate_margin = float(1023.0 * largest * 0x1p-20 * 1.01 + 0x1p-100);
    kernel->proofs = kernel->estimate && lattice_scales_exactly(*lut, width);
    if (kernel->proofs && !fill_cell_proofs(kernel)) return false;
    kernel->inverse_width = 1.0f / float(width);
    const double scale = 1023.0 / (double(width) * width * width);
    for (int code = 0; code < 256; ++code) {
        const float lower = float(width - lut->cell_offset_table[code]), upper = lut->cell_offset_table[code];
        kernel->blue_weights[code][0] = float(lower * scale);
        kernel->blue_weights[code][1] = float(upper * scale);
        kernel->green_weights[code][0] = lower;
        kernel->green_weights[code][1] = upper;
        for (int k = 0; k < 4; ++k) {
            kernel->red_weights[code][k] = lower;
            kernel->red_weights[code][k + 4] = upper;
        }
    }
    kernel->norm = double(width) * width * width;
    kernel->inverse_norm = 1.0 / kernel->norm;
    kernel->norm_is_power_of_two = (width & (width - 1)) == 0;
    kernel->run = avx2 != nullptr ? avx2 : sse2_run;
    return true;
}

void release_cube_kernel(CubeKernel* kernel) {
    std::free(kernel->corners);
    std::memset(kernel, 0, sizeof *kernel);
}
