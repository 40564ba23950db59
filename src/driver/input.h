#pragma once
#include "driver/transcode_state.h"

// Opens the input, its best stream of media_type and a decoder for it; stores the
// stream's index in *stream_index as soon as it is found. 0 on success, negative otherwise
// (after logging why).
int open_input_decoder(TranscodeState* state, AVMediaType media_type, int* stream_index);

// The input step: open, read the stream information, open the video decoder, print the
// frame count and picture size, derive the progress interval and the frame rate, and
// allocate the frame that receives decoded pictures. Returns 0, or the exit status.
int open_input(TranscodeState* state);

// total / 20, never 0.
int progress_interval_for(int total_frames);

// Frames the stream will give when the container does not count them: its duration (or
// the container's) at the frame rate, rounded; 0 when neither is known.
int64_t estimate_frame_count(const AVFormatContext* input_context, const AVStream* stream,
                             AVRational frame_rate);

// The stream's average frame rate; when unset or past a thousand, its base rate; else 25/1.
AVRational usable_frame_rate(const AVStream* stream);
