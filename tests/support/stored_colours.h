#pragma once
// What a file itself says of its video's colours, read from its bytes rather than through
// ffprobe, whose reading of them changed between FFmpeg versions.
#include <string>

// FFmpeg's names of the codes, blank-separated: the primaries, transfer and matrix of the
// QuickTime 'colr' atom ("none" without one), or those and the range of the Matroska Colour
// element (absent ones are unspecified); then "/" and the primaries, transfer and matrix in the
// first ProRes frame header. "" when the file holds no ProRes frame.
std::string stored_colours(const std::string& path);
