#include "driver/field_order.h"

// Reading ahead stops here: a first picture comes within a few dozen packets, sound
// interleaved, and an input whose video gives none so soon is left to the stream's word.
static constexpr int64_t read_ahead_byte_limit = 64 << 20;

bool picture_is_interlaced(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    return frame->flags & AV_FRAME_FLAG_INTERLACED;
#else
    return frame->interlaced_frame;
#endif
}

bool picture_top_field_first(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    return frame->flags & AV_FRAME_FLAG_TOP_FIELD_FIRST;
#else
    return frame->top_field_first;
#endif
}

void mark_picture_fields(const TranscodeState* state, AVFrame* picture, const AVFrame* decoded) {
    if (state->coded_field_order == AV_FIELD_UNKNOWN) return;
    // A progressive picture among fields keeps the stream's order, so that the frame headers
    // agree with the container wherever the source itself does.
    bool top_first = picture_is_interlaced(decoded) ? picture_top_field_first(decoded)
                                                    : state->coded_field_order == AV_FIELD_TT;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    picture->flags |= AV_FRAME_FLAG_INTERLACED;
    if (top_first) {
        picture->flags |= AV_FRAME_FLAG_TOP_FIELD_FIRST;
    } else {
        picture->flags &= ~AV_FRAME_FLAG_TOP_FIELD_FIRST;
    }
#else
    picture->interlaced_frame = 1;
    picture->top_field_first = top_first;
#endif
}

// FFmpeg's own writers give TB and BT for pictures whose top or bottom field comes first
// (and its raw decoders read them so); the letter first named is the field first shown.
static AVFieldOrder order_of_stream(AVFieldOrder order) {
    switch (order) {
        case AV_FIELD_TT:
        case AV_FIELD_TB: return AV_FIELD_TT;
        case AV_FIELD_BB:
        case AV_FIELD_BT: return AV_FIELD_BB;
        default: return AV_FIELD_UNKNOWN;
    }
}

// Feeds a decoder of its own with the video packets of the input until it gives a picture.
// The loop's decoder sees none of this, so it decodes exactly what it would have.
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

void settle_field_order(TranscodeState* state) {
    const AVCodecParameters* parameters = state->input_video_stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    AVFrame* picture = av_frame_alloc();
    bool ready = decoder != nullptr && picture != nullptr &&
                 avcodec_parameters_to_context(decoder, parameters) >= 0;
    if (ready) {
        decoder->pkt_timebase = state->input_video_stream->time_base;
        // Slice threads only: frame threads hold the first picture back for more packets.
        decoder->thread_type = FF_THREAD_SLICE;
        decoder->thread_count = 0;
        ready = avcodec_open2(decoder, codec, nullptr) >= 0;
    }
    AVFieldOrder order = order_of_stream(parameters->field_order);
    // The picture's word goes before the stream's: containers may say nothing (raw DV),
    // progressive (MXF, for fields in one frame) or the wrong order.
    if (ready && decode_first_picture(state, decoder, picture) && picture_is_interlaced(picture)) {
        order = picture_top_field_first(picture) ? AV_FIELD_TT : AV_FIELD_BB;
    }
    state->coded_field_order = order;
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
}
