#pragma once
// The one process-wide record of the pipeline and the records it is made of.
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/timecode.h>
#include <libswscale/swscale.h>
}

#include "colour/cube_lut.h"
#include "colour/graded_convert.h"
#include "colour/transfer_curve.h"
#include "colour/yuv_convert.h"
#include "driver/audio_track.h"
#include "driver/picture_timing.h"
#include "driver/slice_pool.h"

// The parsed command line; filled once, read-only afterwards.
struct RunOptions {
    const char* input_path;
    const char* output_path;
    int profile;
    bool custom_conversion;
    int colour_mode;
    const char* cube_path;
    bool snapshot_enabled;
    const char* snapshot_path;
    // Options given before the positional arguments.
    bool audio;     // --audio: the input's sound goes along
    bool timecode;  // --timecode: the input's start timecode goes along
    bool precise;   // --precise: the custom road grades from every bit of the working picture
};

// What a scaler was made for; a decoded picture that differs gets a new scaler.
struct ScalerSource {
    int width;
    int height;
    int format;
    int colour_range;
    int colour_space;
};

// Every way the transcode loop can end. The table in transcode_loop.cpp says which exit
// status each gives and whether the encoder is drained.
enum LoopEnd {
    LOOP_RUNNING = 0,
    LOOP_END_COUNT,
    LOOP_END_INPUT,
    LOOP_END_KEY,
    LOOP_END_SIGNAL,
    LOOP_END_SNAPSHOT,
    LOOP_END_READ_ERROR,
    LOOP_END_DECODE_ERROR,
    LOOP_END_SCALER_ERROR,
    LOOP_END_SNAPSHOT_ERROR,
    LOOP_END_ENCODE_ERROR,
    LOOP_END_NO_PICTURE,
};

// How the output describes its pixels (AVColorRange, AVColorSpace, AVColorPrimaries,
// AVColorTransferCharacteristic values).
struct ColourDescription {
    AVColorRange range;
    AVColorSpace space;
    AVColorPrimaries primaries;
    AVColorTransferCharacteristic transfer;
};

// Packets read before the loop on the way to the first picture; the loop takes them first.
constexpr int read_ahead_capacity = 512;

struct TranscodeState {
    RunOptions options;

    // Input side.
    AVFormatContext* input_context;
    int video_stream_index;
    AVStream* input_video_stream;
    AVCodecContext* decoder_context;
    AVFrame* decoded_frame;
    int total_frames;       // printed as "framenum": the video stream's count or an estimate
    int64_t frame_limit;    // the video stream's own count; 0 when the container gives none
    int progress_interval;  // never 0
    AVRational input_frame_rate;
    AVPacket* read_ahead[read_ahead_capacity];
    int read_ahead_count;
    int read_ahead_next;     // the first the loop has not taken
    int read_ahead_end;      // the read status that ended reading ahead; 0 while the input goes on
    AVFrame* first_picture;  // decoded ahead, for what only a picture tells; null when none came
    // --timecode: the first picture's, as the muxers take it; empty when the input has none
    // that fits the frame rate.
    char start_timecode[AV_TIMECODE_STR_SIZE];

    // Output side.
    AVFormatContext* output_context;
    bool output_file_created;  // this run created the file (so it may remove it again)
    bool header_written;
    AVStream* output_video_stream;
    AVCodecContext* encoder_context;
    AVFrame* encoder_frame;  // the picture the roads write, handed to the encoder
    AVBufferPool* encoder_frame_pool;
    AVPacket* encoded_packet;
    AVFrame* working_frame;  // bgr48le, rows without gaps: the custom road's and the snapshot's
    // AV_FIELD_TT or AV_FIELD_BB when the encoder codes fields (each picture in its own order),
    // AV_FIELD_UNKNOWN when it codes frames.
    AVFieldOrder coded_field_order;
    ColourDescription output_colours;

    // The loop.
    AVPacket* packet;
    int64_t written_packets;  // packets the muxer accepted
    int processed_frames;
    SwsContext* plain_scaler;
    ScalerSource plain_scaler_source;
    SwsContext* bgr48_scaler;
    ScalerSource bgr48_scaler_source;

    // The custom road's arithmetic.
    CubeLut cube_lut;
    TransferCurve transfer_curve;
    YuvTables yuv_tables;
    GradedConvert graded_convert;
    SlicePool slice_pool;  // started with the first custom-road picture

    // Sound, with --audio: the tracks carried, and the pictures held to their time stamps.
    AudioTrack* audio_tracks;
    int audio_track_count;
    PictureTiming picture_timing;
    StampJumps stamp_jumps;
};
