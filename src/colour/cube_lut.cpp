#include "colour/cube_lut.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

namespace {

// A 255-point lattice is already 199 MB; larger sizes are not graded material.
constexpr long long max_grid_size = 255;
// A 255-point cube written with 17 digits to a number is about 1 GB; /dev/zero is endless.
// Line numbers fit an int below this.
constexpr size_t max_text_size = 0x7FFFFFFF;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

const char* skip_space(const char* p, const char* end) {
    while (p < end && is_space(*p)) ++p;
    return p;
}

const char* skip_word(const char* p, const char* end) {
    while (p < end && !is_space(*p)) ++p;
    return p;
}

bool is_blank(std::string_view line) {
    return skip_space(line.data(), line.data() + line.size()) == line.data() + line.size();
}

// atoi-style: optional sign, digits up to the first other character, none gives 0.
// Saturates instead of overflowing, so absurd sizes stay absurd and get rejected.
long long read_size_number(const char* p, const char* end) {
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (value <= max_grid_size) value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}

bool is_digit_in(char c, bool hex) {
    if (c >= '0' && c <= '9') return true;
    return hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

// from_chars leaves the value alone when it is out of float range; strtof gives infinity
// for overflow and zero for underflow. Which one it was follows from the position of the
// first significant digit plus the exponent.
bool overflows(const char* first, const char* last, bool hex) {
    long long order = 0;
    bool significant = false;
    bool after_point = false;
    const char* p = first;
    for (; p < last; ++p) {
        if (*p == '.') {
            after_point = true;
            continue;
        }
        if (!is_digit_in(*p, hex)) break;
        if (!significant && *p == '0') {
            if (after_point) --order;
            continue;
        }
        significant = true;
        if (!after_point) ++order;
    }
    if (hex) order *= 4;
    long long exponent = 0;
    if (p < last && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        const bool negative = p < last && *p == '-';
        if (p < last && (*p == '-' || *p == '+')) ++p;
        for (; p < last && *p >= '0' && *p <= '9'; ++p) {
            if (exponent < 1000000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    return order + exponent > 0;
}

// One number as sscanf's %f reads it, independent of the locale. Returns the position
// after the number, or null when there is none (the value is then left untouched).
const char* read_float(const char* p, const char* end, float* value) {
    p = skip_space(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes a minus of its own; a second sign is not a number.
    if (p == end || *p == '+' || *p == '-') return nullptr;

    float parsed = 0.0f;
    std::from_chars_result result{p, std::errc::invalid_argument};
    bool hex = false;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        result = std::from_chars(p + 2, end, parsed, std::chars_format::hex);
        hex = result.ec != std::errc::invalid_argument;
    }
    if (!hex) result = std::from_chars(p, end, parsed, std::chars_format::general);

    if (result.ec == std::errc::result_out_of_range) {
        const char* digits = hex ? p + 2 : p;
        parsed = overflows(digits, result.ptr, hex) ? HUGE_VALF : 0.0f;
    } else if (result.ec != std::errc()) {
        return nullptr;
    }
    *value = negative ? -parsed : parsed;
    return result.ptr;
}

void read_data_line(std::string_view line, float entry[3]) {
    const char* p = line.data();
    const char* end = p + line.size();
    for (int n = 0; n < 3 && p; ++n) p = read_float(p, end, &entry[n]);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank_or_tab(char c) { return c == ' ' || c == '\t'; }

// A number as cube writers print one: optional sign, digits with an optional fraction, an
// optional exponent. Returns the position after it, or null when p holds none.
const char* skip_decimal(const char* p, const char* end) {
    if (p < end && (*p == '+' || *p == '-')) ++p;
    const char* digits = p;
    while (p < end && is_digit(*p)) ++p;
    bool any_digit = p > digits;
    if (p < end && *p == '.') {
        const char* fraction = ++p;
        while (p < end && is_digit(*p)) ++p;
        any_digit = any_digit || p > fraction;
    }
    if (!any_digit) return nullptr;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < end && (*q == '+' || *q == '-')) ++q;
        const char* exponent = q;
        while (q < end && is_digit(*q)) ++q;
        if (q == exponent) return nullptr;
        p = q;
    }
    return p;
}

// True when [p, end) holds exactly `count` such numbers, with blanks or tabs between and
// around them and nothing else; their values go to `values` unless it is null.
bool read_decimals(const char* p, const char* end, int count, float* values) {
    for (int n = 0; n < count; ++n) {
        const char* before = p;
        while (p < end && is_blank_or_tab(*p)) ++p;
        if (n > 0 && p == before) return false;
        const char* number_end = skip_decimal(p, end);
        if (!number_end) return false;
        if (values) read_float(p, number_end, &values[n]);
        p = number_end;
    }
    while (p < end && is_blank_or_tab(*p)) ++p;
    return p == end;
}

// The keywords of the .cube format; inside the lattice one means the file is not what we
// think it is (two tables, a header after the data), and reading it as a zero entry would
// grade wrong without a word.
bool is_cube_keyword(std::string_view word) {
    for (const char* keyword : {"TITLE", "LUT_1D_SIZE", "LUT_3D_SIZE", "DOMAIN_MIN", "DOMAIN_MAX",
                                "LUT_1D_INPUT_RANGE", "LUT_3D_INPUT_RANGE"}) {
        if (word == keyword) return true;
    }
    return false;
}

__attribute__((format(printf, 4, 5))) int reject_cube(CubeLut* lut, CubeLoadReport* report, int line,
                                                      const char* format, ...) {
    release_cube_lut(lut);
    if (report) {
        report->line = line;
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(report->reason, sizeof report->reason, format, arguments);
        va_end(arguments);
    }
    return -1;
}

// A 1D-only file, or a 1D shaper before the 3D table, would be graded by the 3D part alone.
const char one_d_table[] = "a 1D table (LUT_1D_SIZE); only a 3D table without a 1D part can be used";

// Words of the file quoted in a reason are cut to this many bytes.
constexpr int quoted_length = 32;

const char* unit_bounds(std::string_view key) {
    if (key == "DOMAIN_MIN") return "0 0 0";
    return key == "DOMAIN_MAX" ? "1 1 1" : "0 1";
}

// The grading arithmetic maps 8-bit codes onto 0..1, so a table over any other domain
// would load and grade wrong; only the bounds every writer prints for 0..1 pass.
bool is_unit_domain(std::string_view key, const char* p, const char* end) {
    float values[3];
    const int count = key == "LUT_3D_INPUT_RANGE" ? 2 : 3;
    if (!read_decimals(p, end, count, values)) return false;
    for (int n = 0; n < count; ++n) {
        const float want = key == "DOMAIN_MAX" || (count == 2 && n == 1) ? 1.0f : 0.0f;
        if (values[n] != want) return false;
    }
    return true;
}

// The whole text is in memory: lines are found with memchr and never copied, which is
// what keeps a 129-point cube (2.1 million lines) quick to load.
//
// The header is every line before the lattice. The lattice starts at the first line after
// a LUT_3D_SIZE line that holds three numbers and nothing else ("0\t0\t0" is one),
// and has exactly N^3 lines, each read as sscanf's "%f %f %f" would.
int load_cube_chars(CubeLut* lut, const char* text, size_t size, CubeLoadReport* report) {
    release_cube_lut(lut);
    if (report) *report = CubeLoadReport{};

    const char* const end = text + size;
    const char* line_start = text;
    // Some editors on Windows put a byte order mark before the first line.
    if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) line_start += 3;
    long long grid_size = 0;
    long long entry_count = 0;
    long long next_entry = 0;
    long long lattice_lines = 0;  // up to the last one that is not blank
    int line_number = 0;
    int size_line = 0;
    int lattice_line = 0;  // where the lattice started; 0 while in the header
    int surplus_line = 0;  // the first line that is not blank after N^3 entries

    while (line_start < end) {
        const char* feed = static_cast<const char*>(std::memchr(line_start, '\n', size_t(end - line_start)));
        const char* line_end = feed ? feed : end;
        const char* next = feed ? feed + 1 : end;
        // Files written on Windows end their lines with CR LF; the CR is not content.
        if (line_end > line_start && line_end[-1] == '\r') --line_end;
        const std::string_view line(line_start, size_t(line_end - line_start));
        line_start = next;
        ++line_number;

        const char* p = skip_space(line.data(), line_end);
        if (lattice_line == 0) {
            const char* key_end = skip_word(p, line_end);
            const std::string_view key(p, size_t(key_end - p));
            if (key == "LUT_3D_SIZE") {
                const char* word = skip_space(key_end, line_end);
                const int word_length =
                    int(std::min<ptrdiff_t>(skip_word(word, line_end) - word, quoted_length));
                grid_size = read_size_number(word, line_end);
                if (grid_size < 2 || grid_size > max_grid_size) {
                    if (word_length == 0)
                        return reject_cube(lut, report, line_number, "LUT_3D_SIZE without a size");
                    return reject_cube(lut, report, line_number, "LUT_3D_SIZE %.*s is outside 2 to 255",
                                       word_length, word);
                }
                entry_count = grid_size * grid_size * grid_size;
                size_line = line_number;
                continue;
            }
            if (key == "LUT_1D_SIZE") {
                return reject_cube(lut, report, line_number, "%s", one_d_table);
            }
            if (key == "DOMAIN_MIN" || key == "DOMAIN_MAX" || key == "LUT_3D_INPUT_RANGE") {
                if (is_unit_domain(key, key_end, line_end)) continue;
                return reject_cube(lut, report, line_number,
                                   "%.*s other than %s; only tables over 0 to 1 can be used", int(key.size()),
                                   key.data(), unit_bounds(key));
            }
            if (!read_decimals(line.data(), line_end, 3, nullptr)) continue;  // any other header line
            if (size_line == 0)
                return reject_cube(lut, report, line_number, "numbers before the LUT_3D_SIZE line");
            lattice_line = line_number;
            // Each lattice line takes at least its line feed, so a shorter rest cannot hold N^3
            // lines: a cut-off file is then counted without a lattice as large as 199 MB.
            if (size_t(end - line.data()) >= size_t(entry_count)) {
                // Zero-filled, so values a short line leaves out are defined.
                lut->lattice = static_cast<float*>(std::calloc(size_t(entry_count) * 3, sizeof(float)));
                if (!lut->lattice) {
                    return reject_cube(lut, report, size_line,
                                       "not enough memory for a %lld-point lattice (%lld MB)", grid_size,
                                       (entry_count * 12 + 999999) / 1000000);
                }
            }
        } else if (p < line_end && *p >= 'A' && *p <= 'Z') {
            const std::string_view key(p, size_t(skip_word(p, line_end) - p));
            if (key == "LUT_1D_SIZE") {
                return reject_cube(lut, report, line_number, "%s", one_d_table);
            }
            if (is_cube_keyword(key)) {
                return reject_cube(lut, report, line_number,
                                   "%.*s inside the lattice, which started on line %d", int(key.size()),
                                   key.data(), lattice_line);
            }
        }

        if (next_entry < entry_count) {
            if (lut->lattice) read_data_line(line, lut->lattice + next_entry * 3);
            lattice_lines = ++next_entry;
        } else if (!is_blank(line)) {
            if (surplus_line == 0) surplus_line = line_number;
            lattice_lines = line_number - lattice_line + 1;
        }
    }

    if (size_line == 0) return reject_cube(lut, report, 0, "no LUT_3D_SIZE line, so not a 3D table");
    if (lattice_line == 0) {
        return reject_cube(lut, report, size_line,
                           "LUT_3D_SIZE %lld is not followed by a line of three numbers", grid_size);
    }
    if (lattice_lines != entry_count || !lut->lattice) {
        return reject_cube(lut, report, lattice_lines > entry_count ? surplus_line : 0,
                           "the lattice has %lld lines where %lld (%lld^3) were needed", lattice_lines,
                           entry_count, grid_size);
    }
    lut->grid_size = uint8_t(grid_size);
    return int(entry_count);
}

// Grows a malloc'd buffer by reading everything the callback supplies; null when memory
// runs out or the text passes max_text_size (*too_large is then set).
template <typename ReadChunk>
char* read_all(ReadChunk read_chunk, size_t* size, bool* too_large) {
    size_t capacity = 1 << 16;
    size_t used = 0;
    *too_large = false;
    char* buffer = static_cast<char*>(std::malloc(capacity));
    while (buffer) {
        if (used == capacity) {
            if (capacity > max_text_size) {
                *too_large = true;
                std::free(buffer);
                return nullptr;
            }
            capacity *= 2;
            char* grown = static_cast<char*>(std::realloc(buffer, capacity));
            if (!grown) {
                std::free(buffer);
                return nullptr;
            }
            buffer = grown;
        }
        const size_t got = read_chunk(buffer + used, capacity - used);
        if (got == 0) break;
        used += got;
    }
    *size = used;
    return buffer;
}

// Loads text read by read_chunk; failed() tells a read error from the end of the text.
template <typename ReadChunk, typename Failed>
int load_cube_read(CubeLut* lut, ReadChunk read_chunk, Failed failed, CubeLoadReport* report) {
    size_t size = 0;
    bool too_large = false;
    char* buffer = read_all(read_chunk, &size, &too_large);
    if (!buffer && too_large) return reject_cube(lut, report, 0, "larger than 2 GB, far more than any cube");
    if (!buffer) return reject_cube(lut, report, 0, "not enough memory to read it");
    if (const int error = failed()) {
        std::free(buffer);
        return reject_cube(lut, report, 0, "cannot be read: %s", std::strerror(error));
    }
    const int result = load_cube_chars(lut, buffer, size, report);
    std::free(buffer);
    return result;
}

void build_cell_tables(CubeLut* lut) {
    const int cells = lut->grid_size - 1;
    const int width = cube_cell_width(lut->grid_size);
    for (int v = 0; v < 256; ++v) {
        int cell = v / width;
        int offset = v % width;
        // When N - 1 does not divide 256 the top values are past the last full cell; they
        // belong to the last lattice point, reached as the far end of the last cell.
        if (cell >= cells) {
            cell = cells - 1;
            offset = width;
        }
        lut->cell_index_table[v] = uint8_t(cell);
        lut->cell_offset_table[v] = uint8_t(offset);
    }
}

}  // namespace

int cube_cell_width(int grid_size) { return grid_size < 2 ? 0 : 256 / (grid_size - 1); }

int load_cube_text(CubeLut* lut, std::istream& text, CubeLoadReport* report) {
    return load_cube_read(
        lut,
        [&text](char* into, size_t room) {
            text.read(into, std::streamsize(room));
            return size_t(text.gcount());
        },
        [&text] { return text.bad() ? EIO : 0; }, report);
}

int load_cube_file(CubeLut* lut, const char* path, CubeLoadReport* report) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        const int error = errno;
        std::printf("Fail to read the cube file.\n");
        reject_cube(lut, report, 0, "cannot be opened: %s", std::strerror(error));
        return 0;
    }
    int read_error = 0;
    const int result = load_cube_read(
        lut,
        [file, &read_error](char* into, size_t room) {
            const size_t got = std::fread(into, 1, room, file);
            if (got < room && std::ferror(file)) read_error = errno;
            return got;
        },
        [&read_error] { return read_error; }, report);
    std::fclose(file);
    return result;
}

int init_cube_lut(CubeLut* lut, const char* path, CubeLoadReport* report) {
    if (!path) {
        std::fputs("Invalid cube file path\n ", stdout);
        return reject_cube(lut, report, 0, "no file name");
    }
    if (load_cube_file(lut, path, report) <= 0) return -1;
    build_cell_tables(lut);
    return 0;
}

int init_cube_lut_from_text(CubeLut* lut, const char* text, size_t size, CubeLoadReport* report) {
    if (load_cube_chars(lut, text, size, report) <= 0) return -1;
    build_cell_tables(lut);
    return 0;
}

float* padded_cube_lattice(const CubeLut& lut) {
    const size_t entries = size_t(lut.grid_size) * lut.grid_size * lut.grid_size;
    // aligned_alloc takes whole multiples of the alignment only.
    float* padded = static_cast<float*>(std::aligned_alloc(64, (entries * 4 * sizeof(float) + 63) / 64 * 64));
    if (padded == nullptr) return nullptr;
    for (size_t e = 0; e < entries; ++e) {
        for (int c = 0; c < 3; ++c) padded[4 * e + c] = lut.lattice[3 * e + c];
        padded[4 * e + 3] = 0;
    }
    return padded;
}

void release_cube_lut(CubeLut* lut) {
    std::free(lut->lattice);
    lut->lattice = nullptr;
    lut->grid_size = 0;
}
