#pragma once
#include "driver/transcode_state.h"

// With --audio, after the input step: a decoder for every audio stream of the input, in input
// order. A stream without a decoder, or whose decoder does not open, is left out with a line
// on standard error. With at least one track, pictures follow their time stamps. 0, or 1 when
// memory ran out.
int open_audio_inputs(TranscodeState* state);

// Inside the output step, after the video stream: one PCM stream per track, its encoder and
// resampler. 0, or 1 after a line on standard error.
int open_audio_outputs(TranscodeState* state);

// The PCM codec a decoder's samples are written as: 16-bit stays 16-bit, all else is 24-bit.
AVCodecID pcm_codec_for(AVSampleFormat decoded_format);

// The sample rate the output gets: the input's, except where the container takes one rate only.
int output_sample_rate(const AVOutputFormat* container, int input_rate);

// A copy of given, where an unnamed layout is taken as the usual one of its size, as the ffmpeg
// CLI takes it: resamplers and containers know what to make of that.
int usable_channel_layout(AVChannelLayout* usable, const AVChannelLayout* given);

// The track a packet of the input belongs to; null for other streams.
AudioTrack* track_for_stream(TranscodeState* state, int stream_index);

void close_audio_tracks(TranscodeState* state);
