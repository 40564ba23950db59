#include "driver/snapshot.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/avstring.h>
}

#include "driver/status_line.h"
#include "driver/working_picture.h"

bool snapshot_due(const TranscodeState* state) {
    return state->options.snapshot_enabled && state->processed_frames == 20;
}

// A name that ends in ".png", in any case, asks for a PNG image.
static bool snapshot_is_png(const char* path) {
    const size_t length = strlen(path);
    return length >= 4 && av_strcasecmp(path + length - 4, ".png") == 0;
}

// The working picture as 8-bit R, G, B rows, through the grade on the custom road; null when
// there is no memory for it.
static AVFrame* snapshot_picture(const TranscodeState* state) {
    AVFrame* picture = av_frame_alloc();
    if (picture == nullptr) return nullptr;
    picture->format = AV_PIX_FMT_RGB24;
    picture->width = state->encoder_context->width;
    picture->height = state->encoder_context->height;
    if (av_frame_get_buffer(picture, 0) < 0) {
        av_frame_free(&picture);
        return nullptr;
    }
    const AVFrame* working = state->working_frame;
    if (state->options.custom_conversion) {
        convert_graded_bgr48_to_rgb24(&state->graded_convert, working->data[0], working->linesize[0],
                                      picture->width, picture->height, picture->data[0],
                                      picture->linesize[0]);
        return picture;
    }
    // The plain road shows the top 10 bits of each sample, as the default grade shows its results.
    for (int y = 0; y < picture->height; ++y) {
        const uint16_t* samples = reinterpret_cast<const uint16_t*>(
            working->data[0] + static_cast<size_t>(y) * working->linesize[0]);
        uint8_t* row = picture->data[0] + static_cast<size_t>(y) * picture->linesize[0];
        for (int x = 0; x < picture->width; ++x) {
            row[3 * x] = code_byte(samples[3 * x + 2] >> 6);
            row[3 * x + 1] = code_byte(samples[3 * x + 1] >> 6);
            row[3 * x + 2] = code_byte(samples[3 * x] >> 6);
        }
    }
    return picture;
}

static bool write_raw(FILE* file, const AVFrame* picture) {
    const size_t row_bytes = static_cast<size_t>(picture->width) * 3;
    for (int y = 0; y < picture->height; ++y) {
        if (fwrite(picture->data[0] + static_cast<size_t>(y) * picture->linesize[0], 1, row_bytes, file) !=
            row_bytes) {
            return false;
        }
    }
    return true;
}

// FFmpeg's own PNG encoder: 8-bit RGB, the very bytes of the raw snapshot.
static bool write_png(FILE* file, const AVFrame* picture) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    AVCodecContext* encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    bool written = false;
    if (encoder != nullptr && packet != nullptr) {
        encoder->width = picture->width;
        encoder->height = picture->height;
        encoder->pix_fmt = AV_PIX_FMT_RGB24;
        encoder->time_base = AVRational{1, 1};
        written = avcodec_open2(encoder, codec, nullptr) >= 0 && avcodec_send_frame(encoder, picture) >= 0 &&
                  avcodec_receive_packet(encoder, packet) >= 0 &&
                  fwrite(packet->data, 1, packet->size, file) == static_cast<size_t>(packet->size);
    }
    av_packet_free(&packet);
    avcodec_free_context(&encoder);
    return written;
}

bool dump_snapshot(TranscodeState* state) {
    const char* path = state->options.snapshot_path;
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        print_beside_status_line(CONSOLE_MESSAGE, "Error, could not open snapshot file %s\n", path);
        return false;
    }
    AVFrame* picture = snapshot_picture(state);
    bool written =
        picture != nullptr && (snapshot_is_png(path) ? write_png(file, picture) : write_raw(file, picture));
    if (fclose(file) != 0) written = false;
    av_frame_free(&picture);
    if (!written) {
        print_beside_status_line(CONSOLE_MESSAGE, "Error, could not write snapshot file %s\n", path);
    }
    return written;
}

LoopEnd take_plain_road_snapshot(TranscodeState* state) {
    LoopEnd end = fill_working_picture(state);
    if (end != LOOP_RUNNING) return end;
    return dump_snapshot(state) ? LOOP_END_SNAPSHOT : LOOP_END_SNAPSHOT_ERROR;
}
