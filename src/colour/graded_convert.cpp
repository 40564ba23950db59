#include "colour/graded_convert.h"

#include <cstddef>

#include <emmintrin.h>

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

// Eight pixels of one colour, as the sample words' high bytes show them, for comparing
// 48 bytes of a row at once; and the words they give.
struct ColourRun {
    uint32_t key;
    __m128i high_bytes[3];
    __m128i luma, cb, cr;
};

void describe_run(ColourRun* run, uint32_t key, uint32_t colour) {
    const short b = short(key >> 16 << 8), g = short((key >> 8 & 255) << 8), r = short((key & 255) << 8);
    run->key = key;
    run->high_bytes[0] = _mm_setr_epi16(b, g, r, b, g, r, b, g);
    run->high_bytes[1] = _mm_setr_epi16(r, b, g, r, b, g, r, b);
    run->high_bytes[2] = _mm_setr_epi16(g, r, b, g, r, b, g, r);
    run->luma = _mm_set1_epi16(short(colour >> 20 & 1023));
    run->cb = _mm_set1_epi16(short(colour >> 10 & 1023));
    run->cr = _mm_set1_epi16(short(colour & 1023));
}

bool continues_run(const ColourRun& run, const uint16_t* pixels) {
    const __m128i high = _mm_set1_epi16(short(0xff00));
    const __m128i* words = reinterpret_cast<const __m128i*>(pixels);
    const __m128i same0 = _mm_cmpeq_epi16(_mm_and_si128(_mm_loadu_si128(words), high), run.high_bytes[0]);
    const __m128i same1 = _mm_cmpeq_epi16(_mm_and_si128(_mm_loadu_si128(words + 1), high), run.high_bytes[1]);
    const __m128i same2 = _mm_cmpeq_epi16(_mm_and_si128(_mm_loadu_si128(words + 2), high), run.high_bytes[2]);
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

// Eight pixels of one colour: each pixel's high bytes equal its right neighbour's.
bool uniform_group(const uint16_t* pixels) {
    const __m128i high = _mm_set1_epi16(short(0xff00));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pixels);
    auto high_words = [&high](const uint8_t* at) {
        return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), high);
    };
    const __m128i same0 = _mm_cmpeq_epi16(high_words(bytes), high_words(bytes + 6));
    const __m128i same1 = _mm_cmpeq_epi16(high_words(bytes + 16), high_words(bytes + 22));
    const __m128i same2 = _mm_cmpeq_epi16(high_words(bytes + 26), high_words(bytes + 32));
    return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(same0, same1), same2)) == 0xffff;
}

// One row. Many pictures hold long stretches of one colour (flat areas, letterboxing,
// graphics): eight pixels of one colour are found with a few vector compares and written
// whole; the rest goes stretch by stretch.
template <typename Colours>
void graded_row(Colours colours, const uint16_t* src, int width, uint16_t* luma, uint16_t* cb, uint16_t* cr) {
    ColourRun run;
    run.key = UINT32_MAX;
    for (int x = 0; x < width;) {
        if ((x & 1) == 0 && x + 8 <= width) {
            const uint16_t* group = src + 3 * x;
            bool flat = run.key != UINT32_MAX && continues_run(run, group);
            if (!flat && uniform_group(group)) {
                describe_run(&run, key_of(group), colours.colour_of(group));
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

void prepare_graded_convert(GradedConvert* graded, int colour_mode, TransferCurve* curve, YuvTables* yuv,
                            const CubeLut* lut) {
    release_graded_convert(graded);
    if (!yuv->yuv_tables_built) build_yuv_tables(yuv);
    graded->colour_mode = colour_mode;
    make_colour_terms(graded, *yuv);
    if (colour_mode == 4) {
        graded->ready = prepare_cube_kernel(&graded->cube, lut, graded->colour_terms, colour_base);
        return;
    }
    if (!curve->transfer_curve_built) build_transfer_curve(curve, 1.0f, colour_mode);
    make_curve_terms(graded, *curve);
    graded->ready = true;
}

void release_graded_convert(GradedConvert* graded) {
    release_cube_kernel(&graded->cube);
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
        if (graded->colour_mode == 4) {
            graded_row(CubeColours{&graded->cube}, src, width, luma, cb, cr);
        } else {
            graded_row(CurveColours{graded}, src, width, luma, cb, cr);
        }
    }
}
