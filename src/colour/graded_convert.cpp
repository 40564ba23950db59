#include "colour/graded_convert.h"

#include <cstddef>

#include <emmintrin.h>

#include "colour/tone_map.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are read in host order");

namespace {

// Every colour word carries the top bit, so that no colour reads as 0.
constexpr uint32_t colour_marker = 1u << 31;

// The largest values the subtracted colour-difference tables reach (at 1023): storing
// largest - term keeps each field's sum between 0 and 897, and the 448 they add in all is
// taken back by starting Cb and Cr at 512 - 448.
constexpr uint32_t cb_red_top = 151, cb_green_top = 297, cr_green_top = 376, cr_blue_top = 72;
constexpr uint32_t colour_base = colour_marker | 64u << 20 | 64u << 10 | 64u;

uint32_t colour_term(uint32_t luma, uint32_t cb, uint32_t cr) { return luma << 20 | cb << 10 | cr; }

void make_colour_terms(GradedConvert* graded, const YuvTables& t) {
    for (int v = 0; v < 1024; ++v) {
        graded->colour_terms[0][v] = colour_term(t.y_from_r[v], cb_red_top - t.u_from_r[v], t.v_from_r[v]);
        graded->colour_terms[1][v] =
            colour_term(t.y_from_g[v], cb_green_top - t.u_from_g[v], cr_green_top - t.v_from_g[v]);
        graded->colour_terms[2][v] = colour_term(t.y_from_b[v], t.u_from_b[v], cr_blue_top - t.v_from_b[v]);
    }
}

void make_curve_terms(GradedConvert* graded, const TransferCurve& curve) {
    for (int code = 0; code < 256; ++code) {
        for (int c = 0; c < 3; ++c)
            graded->curve_terms[c][code] = graded->colour_terms[c][int(curve.entries[code])];
    }
}

// The colour of a pixel's 8-bit codes, key = blue << 16 | green << 8 | red.
uint32_t curve_colour(const GradedConvert& graded, uint32_t key) {
    return colour_base + graded.curve_terms[0][key & 255] + graded.curve_terms[1][key >> 8 & 255] +
           graded.curve_terms[2][key >> 16];
}

constexpr int stretch_length = 32;

inline uint32_t key_of(const uint16_t* pixel) {
    return uint32_t(pixel[0] >> 8) << 16 | (pixel[1] & 0xff00u) | uint32_t(pixel[2] >> 8);
}

// Eight pixels of one colour, as the bits of the sample words that count show them, for
// comparing 48 bytes of a row at once; and the words they give.
struct ColourRun {
    bool valid;
    __m128i samples[3];
    __m128i luma, cb, cr;
};

__m128i masked(const uint8_t* at, __m128i mask) {
    return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), mask);
}

void describe_run(ColourRun* run, const uint16_t* pixel, uint32_t colour, uint16_t mask) {
    const short b = short(pixel[0] & mask), g = short(pixel[1] & mask), r = short(pixel[2] & mask);
    run->valid = true;
    run->samples[0] = _mm_setr_epi16(b, g, r, b, g, r, b, g);
    run->samples[1] = _mm_setr_epi16(r, b, g, r, b, g, r, b);
    run->samples[2] = _mm_setr_epi16(g, r, b, g, r, b, g, r);
    run->luma = _mm_set1_epi16(short(colour >> 20 & 1023));
    run->cb = _mm_set1_epi16(short(colour >> 10 & 1023));
    run->cr = _mm_set1_epi16(short(colour & 1023));
}

bool continues_run(const ColourRun& run, const uint16_t* pixels, uint16_t mask) {
    const __m128i bits = _mm_set1_epi16(short(mask));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pixels);
    const __m128i same0 = _mm_cmpeq_epi16(masked(bytes, bits), run.samples[0]);
    const __m128i same1 = _mm_cmpeq_epi16(masked(bytes + 16, bits), run.samples[1]);
    const __m128i same2 = _mm_cmpeq_epi16(masked(bytes + 32, bits), run.samples[2]);
    return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(same0, same1), same2)) == 0xffff;
}

inline void put_colour(uint32_t colour, int x, int width, uint16_t* luma, uint16_t* cb, uint16_t* cr) {
    luma[x] = uint16_t(colour >> 20 & 1023);
    // Cr from the first pixel of a pair, Cb from the second; a lone last pixel gives both.
    if ((x & 1) == 0) {
        cr[x >> 1] = uint16_t(colour & 1023);
        if (x + 1 == width) cb[x >> 1] = uint16_t(colour >> 10 & 1023);
    } else {
        cb[x >> 1] = uint16_t(colour >> 10 & 1023);
    }
}

// A stretch's colours into the planes. Stretches start on even pixels, so they hold whole
// pairs but for a lone last pixel of the row.
void put_colours(const uint32_t* colours, int x, int count, int width, uint16_t* luma, uint16_t* cb,
                 uint16_t* cr) {
    const __m128i field = _mm_set1_epi32(1023);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i* words = reinterpret_cast<const __m128i*>(colours + i);
        __m128i low = _mm_loadu_si128(words), high = _mm_loadu_si128(words + 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x + i),
                         _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(low, 20), field),
                                         _mm_and_si128(_mm_srli_epi32(high, 20), field)));
        // The pairs' first words (Cr) to the lower halves, their second (Cb) to the upper.
        low = _mm_shuffle_epi32(low, _MM_SHUFFLE(3, 1, 2, 0));
        high = _mm_shuffle_epi32(high, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128i chroma =
            _mm_packs_epi32(_mm_and_si128(_mm_unpacklo_epi64(low, high), field),
                            _mm_and_si128(_mm_srli_epi32(_mm_unpackhi_epi64(low, high), 10), field));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + (x + i) / 2), chroma);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + (x + i) / 2), _mm_unpackhi_epi64(chroma, chroma));
    }
    for (; i + 1 < count; i += 2) {
        luma[x + i] = uint16_t(colours[i] >> 20 & 1023);
        luma[x + i + 1] = uint16_t(colours[i + 1] >> 20 & 1023);
        cr[(x + i) >> 1] = uint16_t(colours[i] & 1023);
        cb[(x + i) >> 1] = uint16_t(colours[i + 1] >> 10 & 1023);
    }
    if (i < count) put_colour(colours[i], x + i, width, luma, cb, cr);
}

// The curve's colours come from three small tables.
struct CurveColours {
    const GradedConvert* graded;
    static constexpr uint16_t sample_mask = 0xff00;  // the 8-bit codes alone count
    uint32_t colour_of(const uint16_t* pixel) const { return curve_colour(*graded, key_of(pixel)); }
    void stretch(const uint16_t* src, int x, int count, int width, uint16_t* luma, uint16_t* cb,
                 uint16_t* cr) const {
        uint32_t colours[stretch_length];
        for (int i = 0; i < count; ++i, src += 3) colours[i] = curve_colour(*graded, key_of(src));
        put_colours(colours, x, count, width, luma, cb, cr);
    }
};

// The cube's colours come from the kernel, a stretch at a time.
struct CubeColours {
    const CubeKernel* kernel;
    static constexpr uint16_t sample_mask = 0xff00;
    uint32_t colour_of(const uint16_t* pixel) const {
        uint32_t colour;
        cube_kernel_colours(*kernel, pixel, 1, &colour);
        return colour;
    }
    void stretch(const uint16_t* src, int x, int count, int width, uint16_t* luma, uint16_t* cb,
                 uint16_t* cr) const {
        uint32_t colours[stretch_length];
        cube_kernel_colours(*kernel, src, count, colours);
        put_colours(colours, x, count, width, luma, cb, cr);
    }
};

// The precise grade's codes come from its kernel, a stretch at a time.
struct PreciseColours {
    const PreciseGrade* grade;
    static constexpr uint16_t sample_mask = 0xffff;
    uint32_t colour_of(const uint16_t* pixel) const {
        uint16_t luma, cb, cr;
        grade->run(*grade, pixel, 1, &luma, &cb, &cr);
        return colour_marker | uint32_t(luma) << 20 | uint32_t(cb) << 10 | cr;
    }
    void stretch(const uint16_t* src, int x, int count, int, uint16_t* luma, uint16_t* cb,
                 uint16_t* cr) const {
        grade->run(*grade, src, count, luma + x, cb + x / 2, cr + x / 2);
    }
};

// Eight pixels of one colour: the bits that count of each pixel's samples equal its right
// neighbour's.
bool uniform_group(const uint16_t* pixels, uint16_t mask) {
    const __m128i bits = _mm_set1_epi16(short(mask));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pixels);
    const __m128i same0 = _mm_cmpeq_epi16(masked(bytes, bits), masked(bytes + 6, bits));
    const __m128i same1 = _mm_cmpeq_epi16(masked(bytes + 16, bits), masked(bytes + 22, bits));
    const __m128i same2 = _mm_cmpeq_epi16(masked(bytes + 26, bits), masked(bytes + 32, bits));
    return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(same0, same1), same2)) == 0xffff;
}

// One row. Many pictures hold long stretches of one colour (flat areas, letterboxing,
// graphics): eight pixels of one colour are found with a few vector compares and written
// whole; the rest goes stretch by stretch.
template <typename Colours>
void graded_row(Colours colours, const uint16_t* src, int width, uint16_t* luma, uint16_t* cb, uint16_t* cr) {
    constexpr uint16_t mask = Colours::sample_mask;
    ColourRun run{};
    for (int x = 0; x < width;) {
        if ((x & 1) == 0 && x + 8 <= width) {
            const uint16_t* group = src + 3 * x;
            bool flat = run.valid && continues_run(run, group, mask);
            if (!flat && uniform_group(group, mask)) {
                describe_run(&run, group, colours.colour_of(group), mask);
                flat = true;
            }
            if (flat) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), run.luma);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x / 2), run.cb);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x / 2), run.cr);
                x += 8;
                continue;
            }
        }
        const int count = width - x < stretch_length ? width - x : stretch_length;
        colours.stretch(src + 3 * x, x, count, width, luma, cb, cr);
        x += count;
    }
}

}  // namespace

void prepare_graded_convert(GradedConvert* graded, int colour_mode, bool precise, TransferCurve* curve,
                            YuvTables* yuv, const CubeLut* lut) {
    release_graded_convert(graded);
    graded->colour_mode = colour_mode;
    graded->precise = precise;
    graded->lut = lut;
    if (precise) {
        graded->ready = prepare_precise_grade(&graded->precise_grade, colour_mode, lut);
        return;
    }
    if (!yuv->yuv_tables_built) build_yuv_tables(yuv);
    make_colour_terms(graded, *yuv);
    if (colour_mode == 4) {
        graded->ready = prepare_cube_kernel(&graded->cube, lut, graded->colour_terms, colour_base);
        return;
    }
    if (!curve->transfer_curve_built) build_transfer_curve(curve, 1.0f, colour_mode);
    make_curve_terms(graded, *curve);
    for (int code = 0; code < 256; ++code) graded->curve_bytes[code] = code_byte(int(curve->entries[code]));
    graded->ready = true;
}

void release_graded_convert(GradedConvert* graded) {
    release_cube_kernel(&graded->cube);
    release_precise_grade(&graded->precise_grade);
    graded->ready = false;
}

void convert_graded_bgr48_to_yuv422p10(const GradedConvert* graded, const uint8_t* bgr48, int bgr48_stride,
                                       int width, int height, uint8_t* const yuv_planes[3],
                                       const int yuv_strides[3]) {
    for (int row = 0; row < height; ++row) {
        const uint16_t* src = reinterpret_cast<const uint16_t*>(bgr48 + ptrdiff_t(row) * bgr48_stride);
        uint16_t* luma = reinterpret_cast<uint16_t*>(yuv_planes[0] + ptrdiff_t(row) * yuv_strides[0]);
        uint16_t* cb = reinterpret_cast<uint16_t*>(yuv_planes[1] + ptrdiff_t(row) * yuv_strides[1]);
        uint16_t* cr = reinterpret_cast<uint16_t*>(yuv_planes[2] + ptrdiff_t(row) * yuv_strides[2]);
        if (graded->precise) {
            graded_row(PreciseColours{&graded->precise_grade}, src, width, luma, cb, cr);
        } else if (graded->colour_mode == 4) {
            graded_row(CubeColours{&graded->cube}, src, width, luma, cb, cr);
        } else {
            graded_row(CurveColours{graded}, src, width, luma, cb, cr);
        }
    }
}

void convert_graded_bgr48_to_rgb24(const GradedConvert* graded, const uint8_t* bgr48, int bgr48_stride,
                                   int width, int height, uint8_t* rgb24, int rgb24_stride) {
    for (int row = 0; row < height; ++row) {
        const uint16_t* pixel = reinterpret_cast<const uint16_t*>(bgr48 + ptrdiff_t(row) * bgr48_stride);
        uint8_t* out = rgb24 + ptrdiff_t(row) * rgb24_stride;
        for (int x = 0; x < width; ++x, pixel += 3, out += 3) {
            if (graded->precise) {
                float rgb[3];
                precise_graded_colour(graded->precise_grade, pixel, rgb);
                for (int c = 0; c < 3; ++c) out[c] = uint8_t(rgb[c] * 255.0 + 0.5);
            } else if (graded->colour_mode == 4) {
                int codes[3];
                tone_map_cube_pixel(graded->lut, uint8_t(pixel[2] >> 8), uint8_t(pixel[1] >> 8),
                                    uint8_t(pixel[0] >> 8), codes);
                for (int c = 0; c < 3; ++c) out[c] = code_byte(codes[c]);
            } else {
                for (int c = 0; c < 3; ++c) out[c] = graded->curve_bytes[pixel[2 - c] >> 8];
            }
        }
    }
}

uint8_t code_byte(int code) {
    // In double, held as a float, then rounded to nearest; no value lies exactly halfway.
    const float value = float(code * 255.0 / 1023.0);
    return uint8_t(value + 0.5);
}
