// The precise grade with 256-bit vectors, eight pixels at a time. Built with -mavx2 and
// -ffp-contract=off and called only where the processor has AVX2: every product and sum is
// rounded on its own and in the scalar twin's order, so that both give the same codes.
// Nothing here comes from a header's inline function or a template of the standard library: the
// linker could keep this file's copy, AVX2 instructions and all, for every caller.
#include <cstddef>
#include <cstring>

#include <immintrin.h>

#include "colour/precise_grade.h"

namespace {

// The pixels of a group of eight are held in the order 0 2 4 6 | 1 3 5 7: each 128-bit half
// then holds one pixel of every pair, and a pair's sum is the two halves added.
struct ByteShuffle {
    alignas(16) signed char bytes[16];
};

// Picks channel's words (0 blue, 1 green, 2 red) out of the chunk-th 16 bytes of eight pixels.
constexpr ByteShuffle channel_shuffle(int channel, int chunk) {
    ByteShuffle shuffle{};
    for (int j = 0; j < 8; ++j) {
        const int pixel = j < 4 ? 2 * j : 2 * (j - 4) + 1, word = 3 * pixel + channel;
        const bool here = word / 8 == chunk;
        shuffle.bytes[2 * j] = here ? static_cast<signed char>(word % 8 * 2) : -128;
        shuffle.bytes[2 * j + 1] = here ? static_cast<signed char>(word % 8 * 2 + 1) : -128;
    }
    return shuffle;
}

constexpr ByteShuffle channel_shuffles[3][3] = {
    {channel_shuffle(0, 0), channel_shuffle(0, 1), channel_shuffle(0, 2)},
    {channel_shuffle(1, 0), channel_shuffle(1, 1), channel_shuffle(1, 2)},
    {channel_shuffle(2, 0), channel_shuffle(2, 1), channel_shuffle(2, 2)},
};

// The samples of eight pixels as 32-bit integers, one vector per channel.
struct Samples {
    __m256i blue, green, red;
};

[[gnu::always_inline]] inline __m256i channel_of(const __m128i chunks[3], int channel) {
    auto shuffle = [](int channel, int chunk) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(channel_shuffles[channel][chunk].bytes));
    };
    const __m128i words = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(chunks[0], shuffle(channel, 0)),
                                                    _mm_shuffle_epi8(chunks[1], shuffle(channel, 1))),
                                       _mm_shuffle_epi8(chunks[2], shuffle(channel, 2)));
    return _mm256_cvtepu16_epi32(words);
}

[[gnu::always_inline]] inline Samples load_samples(const uint16_t* pixels) {
    const __m128i* at = reinterpret_cast<const __m128i*>(pixels);
    const __m128i chunks[3] = {_mm_loadu_si128(at), _mm_loadu_si128(at + 1), _mm_loadu_si128(at + 2)};
    return {channel_of(chunks, 0), channel_of(chunks, 1), channel_of(chunks, 2)};
}

[[gnu::always_inline]] inline __m256 weighted_sum(__m256 first_weight, __m256 first, __m256 second_weight,
                                                  __m256 second, __m256 third_weight, __m256 third,
                                                  float offset) {
    const __m256 sum =
        _mm256_add_ps(_mm256_mul_ps(first_weight, first), _mm256_mul_ps(second_weight, second));
    return _mm256_add_ps(_mm256_add_ps(sum, _mm256_mul_ps(third_weight, third)), _mm256_set1_ps(offset));
}

// Eight graded pixels into eight luma words and four Cb and four Cr words, rounded to nearest
// as the twin's lrint rounds.
[[gnu::always_inline]] inline void put_eight(__m256 red, __m256 green, __m256 blue, uint16_t* luma,
                                             uint16_t* cb, uint16_t* cr) {
    const __m256i y =
        _mm256_cvtps_epi32(weighted_sum(_mm256_set1_ps(y_from_red), red, _mm256_set1_ps(y_from_green), green,
                                        _mm256_set1_ps(y_from_blue), blue, 64.0f));
    const __m128i even = _mm256_castsi256_si128(y), odd = _mm256_extracti128_si256(y, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(luma),
                     _mm_packus_epi32(_mm_unpacklo_epi32(even, odd), _mm_unpackhi_epi32(even, odd)));
    // Each pair's sums in both halves: Cb from the lower, Cr from the upper.
    auto pair_sums = [](__m256 v) { return _mm256_add_ps(v, _mm256_permute2f128_ps(v, v, 1)); };
    auto cb_cr = [](float cb_weight, float cr_weight) {
        return _mm256_setr_ps(cb_weight, cb_weight, cb_weight, cb_weight, cr_weight, cr_weight, cr_weight,
                              cr_weight);
    };
    const __m256i chroma = _mm256_cvtps_epi32(
        weighted_sum(cb_cr(cb_from_red, cr_from_red), pair_sums(red), cb_cr(cb_from_green, cr_from_green),
                     pair_sums(green), cb_cr(cb_from_blue, cr_from_blue), pair_sums(blue), 512.0f));
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(chroma), _mm256_extracti128_si256(chroma, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(cb), words);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(cr), _mm_unpackhi_epi64(words, words));
}

// Eight of one channel's graded values: gathers are slow where the processor's microcode
// guards them, and the samples are at hand as words anyway.
[[gnu::always_inline]] inline __m256 curve_values(const float* curve, const uint16_t* p) {
    return _mm256_setr_ps(curve[p[0]], curve[p[6]], curve[p[12]], curve[p[18]], curve[p[3]], curve[p[9]],
                          curve[p[15]], curve[p[21]]);
}

[[gnu::always_inline]] inline void curve_eight(const PreciseGrade& grade, const uint16_t* pixels,
                                               uint16_t* luma, uint16_t* cb, uint16_t* cr) {
    put_eight(curve_values(grade.curve, pixels + 2), curve_values(grade.curve, pixels + 1),
              curve_values(grade.curve, pixels), luma, cb, cr);
}

// Eight samples' cells among the lattice's points and their lower and upper weights, as
// cell_place in precise_grade.cpp makes them.
struct Cells {
    __m256i cell;
    __m256 lower, upper;
};

[[gnu::always_inline]] inline Cells cells_of(__m256i samples, __m256i intervals, __m256i last_cell) {
    const __m256i scaled = _mm256_mullo_epi32(samples, intervals);
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(scaled, _mm256_srli_epi32(scaled, 16)), _mm256_set1_epi32(1));
    const __m256i cell = _mm256_min_epi32(_mm256_srli_epi32(sum, 16), last_cell);
    const __m256i rest = _mm256_sub_epi32(scaled, _mm256_sub_epi32(_mm256_slli_epi32(cell, 16), cell));
    const __m256 step = _mm256_set1_ps(per_sample_step);
    return {cell, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_set1_epi32(65535), rest)), step),
            _mm256_mul_ps(_mm256_cvtepi32_ps(rest), step)};
}

// A stretch of up to 32 pixels goes in two passes: the cells and weights of all of them, then
// the lattice and the conversion. Each pass's eight-pixel groups are independent of each
// other, so the processor overlaps them, where one pass in full for each group would leave it
// waiting on a long chain of results.
constexpr int stretch = 32;

struct StretchWeights {
    alignas(32) float red[2][stretch], green[2][stretch], blue[2][stretch];  // [lower, upper][pixel]
    alignas(32) int32_t place[stretch];  // the cell's first entry, in floats
};

// The pixels of each group are held in the order 0 2 4 6 | 1 3 5 7, like the samples.
[[gnu::always_inline]] inline void cube_weights(const PreciseGrade& grade, const uint16_t* pixels,
                                                StretchWeights* w, int at) {
    const int n = grade.lut->grid_size;
    const Samples samples = load_samples(pixels);
    const __m256i intervals = _mm256_set1_epi32(n - 1), last_cell = _mm256_set1_epi32(n - 2);
    const Cells red = cells_of(samples.red, intervals, last_cell),
                green = cells_of(samples.green, intervals, last_cell),
                blue = cells_of(samples.blue, intervals, last_cell);
    const __m256i points = _mm256_set1_epi32(n);
    const __m256i entry = _mm256_add_epi32(
        red.cell,
        _mm256_mullo_epi32(_mm256_add_epi32(green.cell, _mm256_mullo_epi32(blue.cell, points)), points));
    _mm256_store_si256(reinterpret_cast<__m256i*>(w->place + at), _mm256_slli_epi32(entry, 2));
    _mm256_store_ps(w->red[0] + at, red.lower);
    _mm256_store_ps(w->red[1] + at, red.upper);
    _mm256_store_ps(w->green[0] + at, green.lower);
    _mm256_store_ps(w->green[1] + at, green.upper);
    _mm256_store_ps(w->blue[0] + at, blue.lower);
    _mm256_store_ps(w->blue[1] + at, blue.upper);
}

// What a pixel's cell gives before the red weights: lanes 0-3 the lower red entries' blend of
// green and blue (red, green, blue, and the pad's 0), lanes 4-7 the upper ones'.
[[gnu::always_inline]] inline __m256 pixel_terms(const float* corners, ptrdiff_t green_step,
                                                 ptrdiff_t blue_step, const StretchWeights& w, int pixel) {
    const float* c = corners + w.place[pixel];
    const __m256 green_lower = _mm256_broadcast_ss(&w.green[0][pixel]);
    const __m256 green_upper = _mm256_broadcast_ss(&w.green[1][pixel]);
    const __m256 blue0 = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(c), green_lower),
                                       _mm256_mul_ps(_mm256_loadu_ps(c + green_step), green_upper));
    c += blue_step;
    const __m256 blue1 = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(c), green_lower),
                                       _mm256_mul_ps(_mm256_loadu_ps(c + green_step), green_upper));
    return _mm256_add_ps(_mm256_mul_ps(blue0, _mm256_broadcast_ss(&w.blue[0][pixel])),
                         _mm256_mul_ps(blue1, _mm256_broadcast_ss(&w.blue[1][pixel])));
}

[[gnu::always_inline]] inline __m256 clamp_to_unit(__m256 value) {
    return _mm256_min_ps(_mm256_max_ps(value, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
}

// Four pixels' R, G, B and pad (one pixel a row) into R, G and B (one channel a row), in each
// 128-bit half.
struct Channels {
    __m256 red, green, blue;
};

[[gnu::always_inline]] inline Channels transpose(__m256 p0, __m256 p1, __m256 p2, __m256 p3) {
    const __m256 low01 = _mm256_unpacklo_ps(p0, p1), high01 = _mm256_unpackhi_ps(p0, p1);
    const __m256 low23 = _mm256_unpacklo_ps(p2, p3), high23 = _mm256_unpackhi_ps(p2, p3);
    return {_mm256_shuffle_ps(low01, low23, _MM_SHUFFLE(1, 0, 1, 0)),
            _mm256_shuffle_ps(low01, low23, _MM_SHUFFLE(3, 2, 3, 2)),
            _mm256_shuffle_ps(high01, high23, _MM_SHUFFLE(1, 0, 1, 0))};
}

[[gnu::always_inline]] inline __m256 red_weighted(__m256 lower_part, __m256 lower, __m256 upper_part,
                                                  __m256 upper) {
    return clamp_to_unit(_mm256_add_ps(_mm256_mul_ps(lower_part, lower), _mm256_mul_ps(upper_part, upper)));
}

// The group of eight at `at` in w, graded and converted.
[[gnu::always_inline]] inline void cube_eight(const PreciseGrade& grade, const StretchWeights& w, int at,
                                              uint16_t* luma, uint16_t* cb, uint16_t* cr) {
    const int n = grade.lut->grid_size;
    const ptrdiff_t green_step = 4 * n, blue_step = ptrdiff_t(4) * n * n;
    // pairs[k] and pairs[k + 4]: the lower and the upper red parts of the group's pixels 2k (lower
    // half) and 2k + 1 (upper half), which sit at k and k + 4.
    __m256 pairs[8];
    for (int k = 0; k < 4; ++k) {
        const __m256 even = pixel_terms(grade.corners, green_step, blue_step, w, at + k);
        const __m256 odd = pixel_terms(grade.corners, green_step, blue_step, w, at + k + 4);
        pairs[k] = _mm256_permute2f128_ps(even, odd, 0x20);
        pairs[k + 4] = _mm256_permute2f128_ps(even, odd, 0x31);
    }
    const Channels lower = transpose(pairs[0], pairs[1], pairs[2], pairs[3]);
    const Channels upper = transpose(pairs[4], pairs[5], pairs[6], pairs[7]);
    const __m256 red_lower = _mm256_load_ps(w.red[0] + at), red_upper = _mm256_load_ps(w.red[1] + at);
    put_eight(red_weighted(lower.red, red_lower, upper.red, red_upper),
              red_weighted(lower.green, red_lower, upper.green, red_upper),
              red_weighted(lower.blue, red_lower, upper.blue, red_upper), luma, cb, cr);
}

// The last pixels of a run, fewer than eight, with the last repeated up to eight: a lone last
// pixel then pairs with itself, which gives its own chroma.
struct LastGroup {
    uint16_t pixels[24], luma[8], cb[4], cr[4];
};

void fill_last_group(LastGroup* last, const uint16_t* pixels, int left) {
    for (int k = 0; k < 8; ++k) std::memcpy(last->pixels + 3 * k, pixels + 3 * (k < left ? k : left - 1), 6);
}

void put_last_group(const LastGroup& last, int left, uint16_t* luma, uint16_t* cb, uint16_t* cr) {
    std::memcpy(luma, last.luma, 2 * left);
    std::memcpy(cb, last.cb, 2 * ((left + 1) / 2));
    std::memcpy(cr, last.cr, 2 * ((left + 1) / 2));
}

void curve_run(const PreciseGrade& grade, const uint16_t* pixels, int count, uint16_t* luma, uint16_t* cb,
               uint16_t* cr) {
    int x = 0;
    for (; x + 8 <= count; x += 8) curve_eight(grade, pixels + 3 * x, luma + x, cb + x / 2, cr + x / 2);
    if (x == count) return;
    LastGroup last;
    fill_last_group(&last, pixels + 3 * x, count - x);
    curve_eight(grade, last.pixels, last.luma, last.cb, last.cr);
    put_last_group(last, count - x, luma + x, cb + x / 2, cr + x / 2);
}

void cube_run(const PreciseGrade& grade, const uint16_t* pixels, int count, uint16_t* luma, uint16_t* cb,
              uint16_t* cr) {
    StretchWeights w;
    LastGroup last;
    for (int x = 0; x < count; x += stretch) {
        const int length = count - x < stretch ? count - x : stretch, whole = length & ~7;
        for (int g = 0; g < whole; g += 8) cube_weights(grade, pixels + 3 * (x + g), &w, g);
        if (whole < length) {
            fill_last_group(&last, pixels + 3 * (x + whole), length - whole);
            cube_weights(grade, last.pixels, &w, whole);
        }
        for (int g = 0; g < whole; g += 8)
            cube_eight(grade, w, g, luma + x + g, cb + (x + g) / 2, cr + (x + g) / 2);
        if (whole < length) {
            cube_eight(grade, w, whole, last.luma, last.cb, last.cr);
            put_last_group(last, length - whole, luma + x + whole, cb + (x + whole) / 2,
                           cr + (x + whole) / 2);
        }
    }
}

}  // namespace

void precise_grade_avx2_run(const PreciseGrade& grade, const uint16_t* pixels, int count, uint16_t* luma,
                            uint16_t* cb, uint16_t* cr) {
    if (grade.cube) {
        cube_run(grade, pixels, count, luma, cb, cr);
    } else {
        curve_run(grade, pixels, count, luma, cb, cr);
    }
}
