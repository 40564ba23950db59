#include "driver/output.h"

#include "driver/audio_tracks.h"
#include "driver/encode_mux.h"
#include "driver/report.h"
#include "driver/timecode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

uint32_t prores_tag_for_profile(int profile) {
    switch (profile) {
        case 0: return MKTAG('a', 'p', 'c', 'o');
        case 1: return MKTAG('a', 'p', 'c', 's');
        case 2: return MKTAG('a', 'p', 'c', 'n');
        case 3: return MKTAG('a', 'p', 'c', 'h');
        default: return 0;
    }
}

const char* local_file_path(const char* path) {
    const char* protocol = avio_find_protocol_name(path);
    if (protocol == nullptr || strcmp(protocol, "file") != 0) return nullptr;
    return strncmp(path, "file:", 5) == 0 ? path + 5 : path;
}

bool same_file(const char* first_path, const char* second_path) {
    const char* first = local_file_path(first_path);
    const char* second = local_file_path(second_path);
    struct stat first_stat, second_stat;
    if (first == nullptr || second == nullptr) return false;
    if (stat(first, &first_stat) != 0 || stat(second, &second_stat) != 0) return false;
    return first_stat.st_dev == second_stat.st_dev && first_stat.st_ino == second_stat.st_ino;
}

static bool is_full_range_format(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// Some matrices, curves and primaries have two names. Each is given under the one that ProRes
// frame headers and QuickTime's 'colr' atom know, so that the container and the frames agree.
static ColourDescription with_common_names(ColourDescription colours) {
    if (colours.space == AVCOL_SPC_BT470BG) colours.space = AVCOL_SPC_SMPTE170M;
    if (colours.primaries == AVCOL_PRI_SMPTE240M) colours.primaries = AVCOL_PRI_SMPTE170M;
    switch (colours.transfer) {
        case AVCOL_TRC_SMPTE170M:
        case AVCOL_TRC_BT2020_10:
        case AVCOL_TRC_BT2020_12: colours.transfer = AVCOL_TRC_BT709; break;
        default: break;
    }
    return colours;
}

ColourDescription describe_output_colours(const AVCodecContext* decoder, const RunOptions* options) {
    ColourDescription colours{};
    if (options->custom_conversion) {
        // Our own arithmetic writes BT.601 studio-range values; the curve decides the transfer.
        colours.range = AVCOL_RANGE_MPEG;
        colours.space = AVCOL_SPC_SMPTE170M;
        colours.primaries = AVCOL_PRI_UNSPECIFIED;
        int mode = options->colour_mode;
        colours.transfer = mode == 1                  ? AVCOL_TRC_BT709
                           : (mode == 3 || mode >= 5) ? AVCOL_TRC_LINEAR
                                                      : AVCOL_TRC_UNSPECIFIED;
        return colours;
    }
    // The scaler keeps YUV values as they are, turns full range into limited range, and
    // builds YUV from RGB with its default BT.601 matrix.
    colours.primaries = decoder->color_primaries;
    colours.transfer = decoder->color_trc;
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(decoder->pix_fmt);
    if (format != nullptr && (format->flags & AV_PIX_FMT_FLAG_RGB)) {
        colours.space = AVCOL_SPC_SMPTE170M;
        colours.range = AVCOL_RANGE_MPEG;
    } else {
        colours.space = decoder->colorspace;
        bool range_known =
            decoder->color_range != AVCOL_RANGE_UNSPECIFIED || is_full_range_format(decoder->pix_fmt);
        colours.range = range_known ? AVCOL_RANGE_MPEG : AVCOL_RANGE_UNSPECIFIED;
    }
    return with_common_names(colours);
}

// ProRes frame headers hold only some matrices, transfers and primaries; the encoder
// writes 0 for the others, which readers take for RGB or "reserved". Those are left
// unspecified there; the container still names them.
ColourDescription prores_header_colours(ColourDescription colours) {
    switch (colours.space) {
        case AVCOL_SPC_BT709:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_BT2020_NCL: break;
        default: colours.space = AVCOL_SPC_UNSPECIFIED; break;
    }
    switch (colours.transfer) {
        case AVCOL_TRC_BT709:
        case AVCOL_TRC_SMPTE2084:
        case AVCOL_TRC_ARIB_STD_B67: break;
        default: colours.transfer = AVCOL_TRC_UNSPECIFIED; break;
    }
    switch (colours.primaries) {
        case AVCOL_PRI_BT709:
        case AVCOL_PRI_BT470BG:
        case AVCOL_PRI_SMPTE170M:
        case AVCOL_PRI_BT2020:
        case AVCOL_PRI_SMPTE431:
        case AVCOL_PRI_SMPTE432: break;
        default: colours.primaries = AVCOL_PRI_UNSPECIFIED; break;
    }
    return colours;
}

int create_output_stream(TranscodeState* state, AVCodecID codec_id, const AVCodec** encoder) {
    *encoder = avcodec_find_encoder(codec_id);
    if (*encoder == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not find encoder for '%s'\n", avcodec_get_name(codec_id));
        report_failure("this FFmpeg has no %s encoder", avcodec_get_name(codec_id));
        return 1;
    }
    AVFormatContext* output_context = state->output_context;
    AVStream* stream = avformat_new_stream(output_context, nullptr);
    AVCodecContext* encoder_context = avcodec_alloc_context3(*encoder);
    if (stream == nullptr || encoder_context == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not allocate stream\n");
        report_failure("out of memory for the output stream");
        avcodec_free_context(&encoder_context);
        return 1;
    }
    stream->id = static_cast<int>(output_context->nb_streams) - 1;
    encoder_context->codec_id = codec_id;
    encoder_context->bit_rate = 4000000;
    encoder_context->time_base = AVRational{state->input_frame_rate.den, state->input_frame_rate.num};
    encoder_context->gop_size = 12;
    encoder_context->pix_fmt = AV_PIX_FMT_YUV422P10LE;
    if (output_context->oformat->flags & AVFMT_GLOBALHEADER) {
        encoder_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    state->output_video_stream = stream;
    state->encoder_context = encoder_context;
    return 0;
}

static void configure_encoder(TranscodeState* state) {
    AVCodecContext* encoder_context = state->encoder_context;
    const AVCodecContext* decoder_context = state->decoder_context;
    encoder_context->profile = state->options.profile;
    encoder_context->width = decoder_context->width;
    encoder_context->height = decoder_context->height;
    encoder_context->pix_fmt = AV_PIX_FMT_YUV422P10LE;
    encoder_context->thread_count = 7;
    encoder_context->thread_type = FF_THREAD_FRAME;
    // Anamorphic sources keep their display shape.
    encoder_context->sample_aspect_ratio = decoder_context->sample_aspect_ratio;
    // Interlaced sources stay interlaced: the encoder codes fields only when told so, and the
    // muxers (MOV 'fiel', Matroska FieldOrder) take the order from the stream.
    if (state->coded_field_order != AV_FIELD_UNKNOWN) {
        encoder_context->flags |= AV_CODEC_FLAG_INTERLACED_DCT;
        encoder_context->field_order = state->coded_field_order;
    }

    state->output_colours = describe_output_colours(decoder_context, &state->options);
    ColourDescription header = prores_header_colours(state->output_colours);
    encoder_context->color_range = header.range;
    encoder_context->colorspace = header.space;
    encoder_context->color_primaries = header.primaries;
    encoder_context->color_trc = header.transfer;
}

// The encoder's refusals that a user can mend: a profile it does not know, or a picture
// size it cannot take.
static void report_encoder_refusal(const AVCodecContext* encoder_context, int status) {
    const int profile = encoder_context->profile;
    if (prores_tag_for_profile(profile) == 0) {
        report_failure("the ProRes encoder refuses profile %d: give 0 (Proxy), 1 (LT), 2 (SQ) or 3 (HQ)",
                       profile);
    } else if (encoder_context->width % 2 != 0) {
        report_failure(
            "the ProRes encoder refuses the picture size %dx%d: it takes even widths only (any height)",
            encoder_context->width, encoder_context->height);
    } else {
        report_failure("the ProRes encoder does not open for %dx%d pictures, profile %d: %s",
                       encoder_context->width, encoder_context->height, profile, error_text(status).text);
    }
}

int open_output_encoder(TranscodeState* state, const AVCodec* encoder) {
    AVCodecContext* encoder_context = state->encoder_context;
    AVStream* stream = state->output_video_stream;
    int status = avcodec_open2(encoder_context, encoder, nullptr);
    if (status >= 0) status = avcodec_parameters_from_context(stream->codecpar, encoder_context);
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not open video codec: %d\n", status);
        report_encoder_refusal(encoder_context, status);
        return 1;
    }
    stream->time_base = encoder_context->time_base;
    stream->sample_aspect_ratio = encoder_context->sample_aspect_ratio;
    // The MXF writer of FFmpeg 7.1 and later takes its edit rate from the frame rate alone, and
    // refuses a stream without one; 5.1's reads the time base. The other writers are left as
    // they were: Matroska would add a default duration.
    if (strcmp(state->output_context->oformat->name, "mxf") == 0)
        stream->avg_frame_rate = state->input_frame_rate;
    // The container can say what the frame headers cannot (a linear transfer, say).
    AVCodecParameters* parameters = stream->codecpar;
    parameters->color_range = state->output_colours.range;
    parameters->color_space = state->output_colours.space;
    parameters->color_primaries = state->output_colours.primaries;
    parameters->color_trc = state->output_colours.transfer;

    state->encoder_frame = av_frame_alloc();
    state->encoded_packet = av_packet_alloc();
    if (state->encoder_frame == nullptr || state->encoded_packet == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not allocate video frame\n");
        report_failure("out of memory for the encoder's pictures");
        return 1;
    }
    int width = encoder_context->width;
    int height = encoder_context->height;
    // Pictures for the encoder come from a pool, so that handing one over passes a
    // reference instead of a copy. Rows are aligned and padded as the encoder's own frames
    // would be.
    int picture_size = av_image_get_buffer_size(encoder_context->pix_fmt, width, encoder_picture_rows(height),
                                                encoder_picture_alignment);
    if (picture_size > 0) {
        state->encoder_frame_pool = av_buffer_pool_init(picture_size + encoder_picture_alignment, nullptr);
    }
    if (state->encoder_frame_pool == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not allocate picture: %d\n", picture_size);
        report_failure("out of memory for %dx%d pictures", width, height);
        return 1;
    }
    // The working picture's rows follow one another without gaps (alignment 1).
    state->working_frame = av_frame_alloc();
    status = AVERROR(ENOMEM);
    if (state->working_frame != nullptr) {
        state->working_frame->format = AV_PIX_FMT_BGR48LE;
        state->working_frame->width = width;
        state->working_frame->height = height;
        status = av_frame_get_buffer(state->working_frame, 1);
    }
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not allocate picture: %d\n", status);
        report_failure("out of memory for %dx%d pictures", width, height);
        return 1;
    }
    AVFrame* frame = state->encoder_frame;
    frame->format = encoder_context->pix_fmt;
    frame->width = width;
    frame->height = height;
    frame->sample_aspect_ratio = encoder_context->sample_aspect_ratio;
    ColourDescription header = prores_header_colours(state->output_colours);
    frame->color_range = header.range;
    frame->colorspace = header.space;
    frame->color_primaries = header.primaries;
    frame->color_trc = header.transfer;
    return 0;
}

// Asks the muxer whether it can store ProRes. Most muxers cannot tell, and many of those
// (MPEG program and transport streams, raw streams) take the packets blindly and write a
// file nothing can decode; of those only MXF is known to carry ProRes.
static bool container_refuses_prores(const AVOutputFormat* format) {
    int answer = avformat_query_codec(format, AV_CODEC_ID_PRORES, FF_COMPLIANCE_NORMAL);
    if (answer >= 0) return answer == 0;
    return strcmp(format->name, "mxf") != 0;
}

static int open_output_file(TranscodeState* state) {
    const char* path = state->options.output_path;
    const char* file = local_file_path(path);
    struct stat existing;
    bool existed = file != nullptr && stat(file, &existing) == 0;
    int status = avio_open(&state->output_context->pb, path, AVIO_FLAG_WRITE);
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not open '%s': %d\n", path, status);
        report_failure("cannot create output '%s': %s", path, error_text(status).text);
        return 1;
    }
    state->output_file_created = file != nullptr && !existed;
    return 0;
}

void discard_output_file(TranscodeState* state) {
    if (state->output_context->pb != nullptr) avio_closep(&state->output_context->pb);
    const char* file = local_file_path(state->options.output_path);
    if (state->output_file_created && file != nullptr) unlink(file);
    state->output_file_created = false;
}

int open_output(TranscodeState* state) {
    const char* path = state->options.output_path;
    avformat_alloc_output_context2(&state->output_context, nullptr, nullptr, path);
    if (state->output_context == nullptr) {
        printf("Error, could not deduce output format from file extension: using MOV.\n");
        avformat_alloc_output_context2(&state->output_context, nullptr, "mov", path);
    }
    if (state->output_context == nullptr) {
        report_failure("cannot make an output for '%s'", path);
        return 1;
    }
    const AVOutputFormat* format = state->output_context->oformat;
    if (container_refuses_prores(format)) {
        printf("Error, the %s format cannot hold ProRes video\n", format->name);
        report_failure("output '%s': the %s format cannot hold ProRes video; name it .mov, .mkv or .mxf",
                       path, format->name);
        return 1;
    }

    const AVCodec* encoder = nullptr;
    if (create_output_stream(state, AV_CODEC_ID_PRORES, &encoder) != 0) return 1;
    configure_encoder(state);
    if (open_output_encoder(state, encoder) != 0) return 1;
    attach_start_timecode(state);
    if (open_audio_outputs(state) != 0) return 1;
    av_dump_format(state->output_context, 0, path, 1);

    if (!(format->flags & AVFMT_NOFILE) && open_output_file(state) != 0) return 1;
    // Editing applications trust the tag to name the profile that was encoded.
    uint32_t tag = prores_tag_for_profile(state->encoder_context->profile);
    if (tag != 0) state->output_video_stream->codecpar->codec_tag = tag;
    // QuickTime keeps a colour description only in a 'colr' atom, which the muxer writes by
    // itself only when matrix, primaries and transfer are all known.
    AVDictionary* muxer_options = nullptr;
    if (strcmp(format->name, "mov") == 0) av_dict_set(&muxer_options, "movflags", "+write_colr", 0);
    int status = avformat_write_header(state->output_context, &muxer_options);
    av_dict_free(&muxer_options);
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error occurred when opening output file: %d\n", status);
        report_failure("cannot write the header of output '%s': %s", path, error_text(status).text);
        discard_output_file(state);
        return 1;
    }
    state->header_written = true;
    state->encoder_frame->pts = 0;
    return 0;
}
