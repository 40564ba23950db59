#pragma once
// Clips made with the ffmpeg CLI, and what ffmpeg/ffprobe say about a file.
#include <map>
#include <string>
#include <vector>

using KeyValues = std::map<std::string, std::string>;

// The ffmpeg CLI, quiet, overwriting, never reading standard input. True on exit status 0.
bool run_ffmpeg(const std::vector<std::string>& arguments);

// ffmpeg -f lavfi -i source, then the encoding arguments, then path.
bool make_clip(const std::string& path, const std::string& source, const std::vector<std::string>& encoding);

// ffprobe's key=value answers on the first video stream, e.g. entries "stream=codec_name,width"
// (a format section may be added: "stream=width:format=format_name"). Empty when ffprobe fails.
KeyValues probe_video(const std::string& path, const std::string& entries, bool count_frames = false);

// One value per packet of the first video stream, in file order, e.g. entry "pts_time".
std::vector<std::string> probe_packets(const std::string& path, const std::string& entry);

// The MD5 of every decoded picture of the first video stream, in order; empty when ffmpeg
// reports any decoding error.
std::vector<std::string> frame_hashes(const std::string& path);

// The numbers of the program's " frame N" progress lines, in order.
std::vector<long> progress_numbers(const std::string& console);
