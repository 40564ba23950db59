#include "driver/encode_mux.h"

#include <cstdio>
#include <cstring>

#include "driver/field_order.h"
#include "driver/status_line.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

static void report_progress(const TranscodeState* state) {
    if (state->written_packets % state->progress_interval == 0) {
        print_beside_status_line(CONSOLE_PROGRESS, " frame %d\n", static_cast<int>(state->written_packets));
    }
}

static int report_encode_error(int status) {
    print_beside_status_line(CONSOLE_MESSAGE, " Error encoding video frame: %d\n", status);
    av_log(nullptr, AV_LOG_DEBUG, "Error encoding video frame: %d\n", status);
    return 1;
}

static int report_write_error(int status) {
    print_beside_status_line(CONSOLE_MESSAGE, " Error while writing video frame: %d\n", status);
    av_log(nullptr, AV_LOG_DEBUG, "Error while writing video frame: %d\n", status);
    return 1;
}

int take_encoder_picture(TranscodeState* state) {
    AVFrame* frame = state->encoder_frame;
    av_buffer_unref(&frame->buf[0]);
    frame->buf[0] = av_buffer_pool_get(state->encoder_frame_pool);
    int status = frame->buf[0] == nullptr
                     ? AVERROR(ENOMEM)
                     : av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data,
                                            static_cast<AVPixelFormat>(frame->format), frame->width,
                                            encoder_picture_rows(frame->height), encoder_picture_alignment);
    if (status < 0) return report_encode_error(status);
    mark_picture_fields(state, frame, state->decoded_frame);
    return 0;
}

// The rows past a picture that the encoder reads for its last macroblocks of each field
// repeat that field's last row, as its own edge handling does elsewhere: what they hold is
// coded, though never shown, and a plain edge keeps the bits of that slice for the picture.
static void repeat_last_field_rows(AVFrame* picture) {
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    for (int plane = 0; plane < 4 && picture->data[plane] != nullptr; ++plane) {
        const int shift = plane == 1 || plane == 2 ? format->log2_chroma_h : 0;
        const int rows = AV_CEIL_RSHIFT(picture->height, shift);
        const int held = AV_CEIL_RSHIFT(encoder_picture_rows(picture->height), shift);
        const ptrdiff_t stride = picture->linesize[plane];
        for (int row = rows; row < held; ++row) {
            const int from = (row - rows) % 2 == 1 || rows < 2 ? rows - 1 : rows - 2;
            memcpy(picture->data[plane] + row * stride, picture->data[plane] + from * stride, stride);
        }
    }
}

int encode_and_mux_frame(TranscodeState* state, AVFrame* frame) {
    AVCodecContext* encoder_context = state->encoder_context;
    const AVStream* stream = state->output_video_stream;
    AVPacket* packet = state->encoded_packet;
    int result = 0;
    // A picture sent again (shown once more across a gap in the stamps) has its rows already,
    // and while the encoder's threads still read it, writing them again would race them.
    if (frame != nullptr && picture_is_interlaced(frame) && av_frame_is_writable(frame))
        repeat_last_field_rows(frame);
    int status = avcodec_send_frame(encoder_context, frame);
    if (status < 0) result = report_encode_error(status);
    while (result == 0) {
        status = avcodec_receive_packet(encoder_context, packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) break;
        if (status < 0) {
            result = report_encode_error(status);
            break;
        }
        packet->stream_index = stream->index;
        // The encoder leaves durations at 0; without one the last frame has no length.
        if (packet->duration == 0) packet->duration = 1;
        av_packet_rescale_ts(packet, encoder_context->time_base, stream->time_base);
        status = av_interleaved_write_frame(state->output_context, packet);
        av_packet_unref(packet);
        if (status != 0) {
            result = report_write_error(status);
            break;
        }
        ++state->written_packets;
        if (frame == nullptr) report_progress(state);
    }
    if (frame != nullptr) report_progress(state);
    status_line_update(state);
    return result;
}

void close_output_encoder(TranscodeState* state) {
    avcodec_free_context(&state->encoder_context);
    av_frame_free(&state->encoder_frame);
    av_buffer_pool_uninit(&state->encoder_frame_pool);
    av_packet_free(&state->encoded_packet);
}
