#pragma once
// One audio stream of the input on its way to the output as PCM. Positions count samples at
// the output rate on the input's clock, so that every stream of the input shares one timeline.
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

struct AudioTrack {
    int input_index;
    AVCodecContext* decoder;
    AVFrame* decoded;

    // What the resampler was made for; a decoded frame that differs gets a new one.
    SwrContext* resampler;
    int resampler_format;
    int resampler_rate;
    AVChannelLayout resampler_layout;
    AVFrame* converted;  // the resampler's output, grown as frames need

    AVStream* output_stream;
    AVCodecContext* encoder;
    AVFrame* chunk;    // the samples of one packet, handed to the encoder
    AVFrame* silence;  // a chunk of silence, never written to after it is made
    AVPacket* packet;
    int chunk_samples;  // one picture's worth, rounded up: the most one packet holds

    AVAudioFifo* queue;   // converted sound not yet written
    int64_t queue_start;  // the position of its first sample
    bool origin_known;
    int64_t origin;   // the first picture's time: output sample 0
    int64_t written;  // the position of the next sample handed to the encoder

    bool overflowed;          // sound ran so far ahead of the pictures that some was let go
    int64_t overflow_from;    // the position of the first sound let go
    int64_t damaged_packets;  // packets the decoder refused: silence instead
    int64_t first_damage;     // the first one's time stamp, in the input stream's time base
};
