#include "colour/cube_lut.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

namespace {

// A 255-point lattice is already 199 MB; larger sizes are not graded material.
constexpr long long max_grid_size = 255;

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

int reject_cube(CubeLut* lut) {
    release_cube_lut(lut);
    return -1;
}

// The whole text is in memory: lines are found with memchr and never copied, which is
// what keeps a 129-point cube (2.1 million lines) quick to load.
int load_cube_chars(CubeLut* lut, const char* text, size_t size) {
    release_cube_lut(lut);

    const char* const end = text + size;
    bool in_header = true;
    long long entry_count = 0;
    long long next_entry = 0;
    long long grid_size = 0;

    for (const char* line_start = text; line_start < end;) {
        const char* feed = static_cast<const char*>(std::memchr(line_start, '\n', size_t(end - line_start)));
        const char* line_end = feed ? feed : end;
        const char* next = feed ? feed + 1 : end;
        // Files written on Windows end their lines with CR LF; the CR is not content.
        if (line_end > line_start && line_end[-1] == '\r') --line_end;
        const std::string_view line(line_start, size_t(line_end - line_start));
        line_start = next;

        if (in_header) {
            if (line == "0\t0\t0") {
                if (!lut->lattice) return reject_cube(lut);
                in_header = false;
            } else {
                const char* p = skip_space(line.data(), line_end);
                const char* key_end = skip_word(p, line_end);
                if (std::string_view(p, size_t(key_end - p)) != "LUT_3D_SIZE") continue;
                grid_size = read_size_number(skip_space(key_end, line_end), line_end);
                if (grid_size < 2 || grid_size > max_grid_size) return reject_cube(lut);
                std::free(lut->lattice);
                entry_count = grid_size * grid_size * grid_size;
                // Zero-filled, so values a short line leaves out are defined.
                lut->lattice = static_cast<float*>(std::calloc(size_t(entry_count) * 3, sizeof(float)));
                if (!lut->lattice) return reject_cube(lut);
                continue;
            }
        }

        if (next_entry < entry_count) {
            read_data_line(line, lut->lattice + next_entry * 3);
            ++next_entry;
        } else if (!is_blank(line)) {
            return reject_cube(lut);
        }
    }

    if (in_header || next_entry < entry_count) return reject_cube(lut);
    lut->grid_size = uint8_t(grid_size);
    return int(entry_count);
}

// Grows a malloc'd buffer by reading everything the callback supplies; null on failure.
template <typename ReadChunk>
char* read_all(ReadChunk read_chunk, size_t* size) {
    size_t capacity = 1 << 16;
    size_t used = 0;
    char* buffer = static_cast<char*>(std::malloc(capacity));
    while (buffer) {
        if (used == capacity) {
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

int load_cube_text(CubeLut* lut, std::istream& text) {
    size_t size = 0;
    char* buffer = read_all(
        [&text](char* into, size_t room) {
            text.read(into, std::streamsize(room));
            return size_t(text.gcount());
        },
        &size);
    if (!buffer) return reject_cube(lut);
    const int result = load_cube_chars(lut, buffer, size);
    std::free(buffer);
    return result;
}

int load_cube_file(CubeLut* lut, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::printf("Fail to read the cube file.\n");
        return 0;
    }
    size_t size = 0;
    char* buffer =
        read_all([file](char* into, size_t room) { return std::fread(into, 1, room, file); }, &size);
    std::fclose(file);
    if (!buffer) return reject_cube(lut);
    const int result = load_cube_chars(lut, buffer, size);
    std::free(buffer);
    return result;
}

int init_cube_lut(CubeLut* lut, const char* path) {
    if (!path) {
        std::fputs("Invalid cube file path\n ", stdout);
        return -1;
    }
    if (load_cube_file(lut, path) <= 0) return -1;
    build_cell_tables(lut);
    return 0;
}

int init_cube_lut_from_text(CubeLut* lut, const char* text, size_t size) {
    if (load_cube_chars(lut, text, size) <= 0) return -1;
    build_cell_tables(lut);
    return 0;
}

void release_cube_lut(CubeLut* lut) {
    std::free(lut->lattice);
    lut->lattice = nullptr;
    lut->grid_size = 0;
}
