#include "stored_colours.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "support.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

unsigned big_endian(const std::string& bytes, size_t at, size_t count) {
    unsigned value = 0;
    for (size_t i = 0; i < count; ++i)
        value = value << 8 | uint8_t(at + i < bytes.size() ? bytes[at + i] : 0);
    return value;
}

// An EBML number at *at: an element ID keeps its length marker, a size loses it. An unknown
// size (all ones) is larger than the rest of any file, so it reaches to the parent's end.
uint64_t ebml_number(const std::string& bytes, size_t* at, bool is_id) {
    const unsigned first = big_endian(bytes, *at, 1);
    size_t length = 1;
    while (length < 8 && !(first & (0x100u >> length))) ++length;
    uint64_t value = is_id ? first : first & (0xFFu >> length);
    for (size_t i = 1; i < length; ++i) value = value << 8 | big_endian(bytes, *at + i, 1);
    *at += length;
    return value;
}

// Segment, Tracks, TrackEntry, Video and Colour; Cluster and BlockGroup down to the first block.
void walk_matroska(const std::string& bytes, size_t at, size_t end, unsigned colour[4], size_t* frame) {
    static const uint64_t parents[] = {0x18538067, 0x1654AE6B, 0xAE, 0xE0, 0x55B0, 0x1F43B675, 0xA0};
    static const uint64_t colours[] = {0x55BB, 0x55BA, 0x55B1, 0x55B9};  // primaries, transfer, matrix, range
    while (at < end) {
        const uint64_t id = ebml_number(bytes, &at, true);
        const uint64_t size = ebml_number(bytes, &at, false);
        const size_t next = at > end || size > end - at ? end : at + size;
        if (std::count(std::begin(parents), std::end(parents), id))
            walk_matroska(bytes, at, next, colour, frame);
        for (int c = 0; c < 4; ++c)
            if (id == colours[c]) colour[c] = big_endian(bytes, at, size);
        // A block: track number, time code and flags, then the frame.
        if ((id == 0xA3 || id == 0xA1) && *frame == 0) ebml_number(bytes, &at, false), *frame = at + 3;
        at = next;
    }
}

// Primaries, transfer, matrix and range, as many as given.
std::string names(const unsigned codes[], int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const int code = int(codes[i]);
        const char* name = i == 0   ? av_color_primaries_name(AVColorPrimaries(code))
                           : i == 1 ? av_color_transfer_name(AVColorTransferCharacteristic(code))
                           : i == 2 ? av_color_space_name(AVColorSpace(code))
                                    : av_color_range_name(AVColorRange(code));
        text += (i ? " " : "") + (name ? std::string(name) : std::to_string(code));
    }
    return text;
}

}  // namespace

std::string stored_colours(const std::string& path) {
    const std::string bytes = slurp(path);
    std::string text = "none";
    size_t header = 0;  // where the first frame header starts
    if (big_endian(bytes, 0, 4) == 0x1A45DFA3) {
        unsigned colour[4] = {AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED,
                              AVCOL_RANGE_UNSPECIFIED};
        walk_matroska(bytes, 0, bytes.size(), colour, &header);
        text = names(colour, 4);
    } else {  // QuickTime: the atom and the frames' marker are unmistakable byte strings
        const size_t colr = bytes.find("colrnclc");
        if (colr != std::string::npos) {
            const unsigned codes[3] = {big_endian(bytes, colr + 8, 2), big_endian(bytes, colr + 10, 2),
                                       big_endian(bytes, colr + 12, 2)};
            text = names(codes, 3);
        }
        const size_t icpf = bytes.find("icpf");
        header = icpf == std::string::npos ? 0 : icpf + 4;
    }
    // Frame header: size, version, creator, width, height, two bytes of flags, then the three codes.
    if (header == 0 || header + 17 > bytes.size()) return "";
    const unsigned codes[3] = {big_endian(bytes, header + 14, 1), big_endian(bytes, header + 15, 1),
                               big_endian(bytes, header + 16, 1)};
    return text + " / " + names(codes, 3);
}
