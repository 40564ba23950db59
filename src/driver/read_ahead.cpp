#include "driver/read_ahead.h"

// Reading ahead stops here: a first picture comes within a few dozen packets, sound
// interleaved, and an input whose video gives none so soon is left to what its streams say.
static constexpr int64_t read_ahead_byte_limit = 64 << 20;

// Feeds the decoder with the video packets of the input until it gives a picture.
static bool decode_first_picture(TranscodeState* state, AVCodecContext* decoder, AVFrame* picture) {
    int64_t bytes = 0;
    for (;;) {
        int status = avcodec_receive_frame(decoder, picture);
        if (status >= 0) return true;
        if (status != AVERROR(EAGAIN) || state->read_ahead_end < 0) return false;
        if (state->read_ahead_count == read_ahead_capacity || bytes > read_ahead_byte_limit) return false;
        AVPacket* packet = av_packet_alloc();
        if (packet == nullptr) return false;
        status = av_read_frame(state->input_context, packet);
        if (status < 0) {
            av_packet_free(&packet);
            state->read_ahead_end = status;
            avcodec_send_packet(decoder, nullptr);
            continue;
        }
        state->read_ahead[state->read_ahead_count++] = packet;
        bytes += packet->size;
        if (packet->stream_index == state->video_stream_index) avcodec_send_packet(decoder, packet);
    }
}

void read_ahead_to_first_picture(TranscodeState* state) {
    const AVCodecParameters* parameters = state->input_video_stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    AVFrame* picture = av_frame_alloc();
    bool ready =
        decoder != nullptr && picture != nullptr && avcodec_parameters_to_context(decoder, parameters) >= 0;
    if (ready) {
        decoder->pkt_timebase = state->input_video_stream->time_base;
        // Slice threads only: frame threads hold the first picture back for more packets.
        decoder->thread_type = FF_THREAD_SLICE;
        decoder->thread_count = 0;
        ready = avcodec_open2(decoder, codec, nullptr) >= 0;
    }
    if (ready && decode_first_picture(state, decoder, picture)) {
        state->first_picture = picture;
        picture = nullptr;
    }
    av_frame_free(&picture);
    avcodec_free_context(&decoder);
}

int read_input_packet(TranscodeState* state, AVPacket* packet) {
    if (state->read_ahead_next < state->read_ahead_count) {
        AVPacket** held = &state->read_ahead[state->read_ahead_next++];
        av_packet_move_ref(packet, *held);
        av_packet_free(held);
        return 0;
    }
    if (state->read_ahead_end < 0) return state->read_ahead_end;
    return av_read_frame(state->input_context, packet);
}

void release_read_ahead(TranscodeState* state) {
    while (state->read_ahead_next < state->read_ahead_count)
        av_packet_free(&state->read_ahead[state->read_ahead_next++]);
    av_frame_free(&state->first_picture);
}
