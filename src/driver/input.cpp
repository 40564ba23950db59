#include "driver/input.h"

#include <climits>
#include <cstdio>

#include "driver/report.h"

int progress_interval_for(int total_frames) {
    int interval = total_frames / 20;
    return interval > 0 ? interval : 1;
}

static bool rate_is_set(AVRational rate) { return rate.num > 0 && rate.den > 0; }

// FFmpeg 7.1's raw DV reader (and later ones) gives its time base inverted, 60000 pictures a
// second, as the average; no picture rate comes near a thousand.
static bool rate_is_plausible(AVRational rate) { return rate_is_set(rate) && av_q2d(rate) < 1000; }

AVRational usable_frame_rate(const AVStream* stream) {
    if (rate_is_plausible(stream->avg_frame_rate)) return stream->avg_frame_rate;
    if (rate_is_set(stream->r_frame_rate)) return stream->r_frame_rate;
    return AVRational{25, 1};
}

int64_t estimate_frame_count(const AVFormatContext* input_context, const AVStream* stream,
                             AVRational frame_rate) {
    if (!rate_is_set(frame_rate)) return 0;
    AVRational frame_duration = av_inv_q(frame_rate);
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE) {
        return av_rescale_q_rnd(stream->duration, stream->time_base, frame_duration, AV_ROUND_NEAR_INF);
    }
    if (input_context->duration > 0 && input_context->duration != AV_NOPTS_VALUE) {
        return av_rescale_q_rnd(input_context->duration, AV_TIME_BASE_Q, frame_duration, AV_ROUND_NEAR_INF);
    }
    return 0;
}

static int clamp_to_int(int64_t value) {
    if (value < 0) return 0;
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

int open_input_decoder(TranscodeState* state, AVMediaType media_type, int* stream_index) {
    const char* type_name = av_get_media_type_string(media_type);
    int status = av_find_best_stream(state->input_context, media_type, -1, -1, nullptr, 0);
    const char* path = state->options.input_path;
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not find %s stream in input file '%s'\n", type_name,
               path);
        report_failure("input '%s' has no %s stream", path, type_name);
        return status;
    }
    *stream_index = status;
    AVStream* stream = state->input_context->streams[status];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    const char* codec_name = avcodec_get_name(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, failed to find %s codec\n", type_name);
        report_failure("input '%s': this FFmpeg has no decoder for its %s %s", path, codec_name, type_name);
        return AVERROR_DECODER_NOT_FOUND;
    }
    state->decoder_context = avcodec_alloc_context3(decoder);
    if (state->decoder_context == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, failed to find %s codec\n", type_name);
        report_failure("input '%s': out of memory for its decoder", path);
        return AVERROR(ENOMEM);
    }
    status = avcodec_parameters_to_context(state->decoder_context, stream->codecpar);
    if (status >= 0) {
        state->decoder_context->pkt_timebase = stream->time_base;
        // The decoder's own threads: they never run our code and do not change the pictures.
        state->decoder_context->thread_count = 0;
        status = avcodec_open2(state->decoder_context, decoder, nullptr);
    }
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, failed to find %s codec\n", type_name);
        report_failure("input '%s': the %s decoder does not open: %s", path, codec_name,
                       error_text(status).text);
        return status;
    }
    return 0;
}

int open_input(TranscodeState* state) {
    const char* path = state->options.input_path;
    int status = avformat_open_input(&state->input_context, path, nullptr, nullptr);
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not open source file %s\n", path);
        report_failure("cannot open input '%s': %s", path, error_text(status).text);
        return -1;
    }
    status = avformat_find_stream_info(state->input_context, nullptr);
    if (status < 0) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not find stream information\n");
        report_failure("cannot read input '%s': %s", path, error_text(status).text);
        return 1;
    }
    if (open_input_decoder(state, AVMEDIA_TYPE_VIDEO, &state->video_stream_index) < 0) return 1;
    state->input_video_stream = state->input_context->streams[state->video_stream_index];

    // The count is the video stream's own, whichever stream comes first in the file. When
    // the container keeps none, the run goes to the end of the input and only the printed
    // count and the progress interval use an estimate.
    AVStream* stream = state->input_video_stream;
    state->input_frame_rate = usable_frame_rate(stream);
    state->frame_limit = stream->nb_frames > 0 ? stream->nb_frames : 0;
    int64_t count = state->frame_limit > 0
                        ? state->frame_limit
                        : estimate_frame_count(state->input_context, stream, state->input_frame_rate);
    state->total_frames = clamp_to_int(count);

    printf("framenum %d\n", state->total_frames);
    printf("width=%d\n", state->decoder_context->width);
    printf("height=%d\n", state->decoder_context->height);
    state->progress_interval = progress_interval_for(state->total_frames);

    state->decoded_frame = av_frame_alloc();
    state->packet = av_packet_alloc();
    if (state->decoded_frame == nullptr || state->packet == nullptr) {
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not allocate frame\n");
        report_failure("out of memory for the decoded pictures of '%s'", path);
        return -1;
    }
    return 0;
}
