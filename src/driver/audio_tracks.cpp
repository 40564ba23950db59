#include "driver/audio_tracks.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "driver/report.h"

AVCodecID pcm_codec_for(AVSampleFormat decoded_format) {
    const bool sixteen = decoded_format == AV_SAMPLE_FMT_S16 || decoded_format == AV_SAMPLE_FMT_S16P;
    return sixteen ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_S24LE;
}

int output_sample_rate(const AVOutputFormat* container, int input_rate) {
    // FFmpeg's MXF writer takes 48 kHz only, with any number of channels in a track.
    return strcmp(container->name, "mxf") == 0 ? 48000 : input_rate;
}

int usable_channel_layout(AVChannelLayout* usable, const AVChannelLayout* given) {
    if (given->order != AV_CHANNEL_ORDER_UNSPEC) return av_channel_layout_copy(usable, given);
    av_channel_layout_default(usable, given->nb_channels);
    return 0;
}

// 0 when the track's decoder is open, -1 when the stream is left out (after a line on standard
// error), 1 when memory ran out.
static int open_track_decoder(TranscodeState* state, AudioTrack* track, int index) {
    const char* path = state->options.input_path;
    const AVStream* stream = state->input_context->streams[index];
    const AVCodecID codec_id = stream->codecpar->codec_id;
    const char* codec_name = codec_id == AV_CODEC_ID_NONE ? "unknown codec" : avcodec_get_name(codec_id);
    const AVCodec* decoder = avcodec_find_decoder(codec_id);
    if (decoder == nullptr) {
        report_failure("input '%s': this FFmpeg has no decoder for audio stream %d (%s); it is left out",
                       path, index, codec_name);
        return -1;
    }
    track->input_index = index;
    track->decoder = avcodec_alloc_context3(decoder);
    track->decoded = av_frame_alloc();
    if (track->decoder == nullptr || track->decoded == nullptr) {
        report_failure("input '%s': out of memory for the decoder of audio stream %d", path, index);
        return 1;
    }
    int status = avcodec_parameters_to_context(track->decoder, stream->codecpar);
    if (status >= 0) {
        track->decoder->pkt_timebase = stream->time_base;
        status = avcodec_open2(track->decoder, decoder, nullptr);
    }
    if (status >= 0 && (track->decoder->sample_rate <= 0 || track->decoder->ch_layout.nb_channels <= 0))
        status = AVERROR_INVALIDDATA;
    if (status < 0) {
        report_failure("input '%s': the %s decoder of audio stream %d does not open: %s; it is left out",
                       path, codec_name, index, error_text(status).text);
        return -1;
    }
    return 0;
}

static void release_track(AudioTrack* track) {
    avcodec_free_context(&track->decoder);
    avcodec_free_context(&track->encoder);
    av_frame_free(&track->decoded);
    av_frame_free(&track->converted);
    av_frame_free(&track->chunk);
    av_frame_free(&track->silence);
    swr_free(&track->resampler);
    av_channel_layout_uninit(&track->resampler_layout);
    av_packet_free(&track->packet);
    if (track->queue != nullptr) av_audio_fifo_free(track->queue);
    track->queue = nullptr;
}

int open_audio_inputs(TranscodeState* state) {
    const AVFormatContext* input = state->input_context;
    state->audio_tracks = static_cast<AudioTrack*>(av_calloc(input->nb_streams, sizeof(AudioTrack)));
    if (state->audio_tracks == nullptr) {
        report_failure("input '%s': out of memory for its sound", state->options.input_path);
        return 1;
    }
    for (unsigned index = 0; index < input->nb_streams; ++index) {
        if (input->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        AudioTrack* track = &state->audio_tracks[state->audio_track_count];
        const int status = open_track_decoder(state, track, static_cast<int>(index));
        if (status == 0) {
            ++state->audio_track_count;
            continue;
        }
        release_track(track);
        if (status > 0) return 1;
    }
    // Without sound there is nothing to hold the pictures to: every one is kept, as ever.
    PictureTiming* timing = &state->picture_timing;
    timing->active = state->audio_track_count > 0;
    timing->time_base = state->input_video_stream->time_base;
    timing->frame_rate = state->input_frame_rate;
    return 0;
}

// Frames of `samples` samples in the encoder's format, channels and layout.
static AVFrame* make_chunk(const AVCodecContext* encoder, int samples) {
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr) return nullptr;
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    frame->nb_samples = samples;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0 ||
        av_frame_get_buffer(frame, 0) < 0)
        av_frame_free(&frame);
    return frame;
}

static int open_track_output(TranscodeState* state, AudioTrack* track) {
    AVFormatContext* output = state->output_context;
    const AVCodecID codec_id = pcm_codec_for(track->decoder->sample_fmt);
    const AVCodec* encoder = avcodec_find_encoder(codec_id);
    if (encoder == nullptr) {
        report_failure("this FFmpeg has no %s encoder", avcodec_get_name(codec_id));
        return 1;
    }
    track->output_stream = avformat_new_stream(output, nullptr);
    track->encoder = avcodec_alloc_context3(encoder);
    int status = track->output_stream == nullptr || track->encoder == nullptr ? AVERROR(ENOMEM) : 0;
    AVCodecContext* context = track->encoder;
    if (status == 0) {
        track->output_stream->id = static_cast<int>(output->nb_streams) - 1;
        context->sample_fmt = codec_id == AV_CODEC_ID_PCM_S16LE ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
        context->sample_rate = output_sample_rate(output->oformat, track->decoder->sample_rate);
        context->time_base = AVRational{1, context->sample_rate};
        if (output->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        status = usable_channel_layout(&context->ch_layout, &track->decoder->ch_layout);
    }
    if (status >= 0) status = avcodec_open2(context, encoder, nullptr);
    if (status >= 0) status = avcodec_parameters_from_context(track->output_stream->codecpar, context);
    if (status < 0) {
        report_failure("the %s encoder does not open for audio stream %d: %s", avcodec_get_name(codec_id),
                       track->input_index, error_text(status).text);
        return 1;
    }
    track->output_stream->time_base = context->time_base;
    const AVDictionaryEntry* language =
        av_dict_get(state->input_context->streams[track->input_index]->metadata, "language", nullptr, 0);
    if (language != nullptr) av_dict_set(&track->output_stream->metadata, "language", language->value, 0);

    const AVRational rate = state->input_frame_rate;
    // A second at most, whatever rate a slide show claims.
    const int64_t chunk = av_rescale_rnd(context->sample_rate, rate.den, rate.num, AV_ROUND_UP);
    track->chunk_samples =
        static_cast<int>(std::min<int64_t>(std::max<int64_t>(chunk, 1), context->sample_rate));
    track->chunk = make_chunk(context, track->chunk_samples);
    track->silence = make_chunk(context, track->chunk_samples);
    track->converted = av_frame_alloc();
    track->packet = av_packet_alloc();
    track->queue =
        av_audio_fifo_alloc(context->sample_fmt, context->ch_layout.nb_channels, track->chunk_samples);
    if (track->chunk == nullptr || track->silence == nullptr || track->converted == nullptr ||
        track->packet == nullptr || track->queue == nullptr) {
        report_failure("out of memory for the sound of audio stream %d", track->input_index);
        return 1;
    }
    av_samples_set_silence(track->silence->extended_data, 0, track->chunk_samples,
                           context->ch_layout.nb_channels, context->sample_fmt);
    return 0;
}

int open_audio_outputs(TranscodeState* state) {
    for (int t = 0; t < state->audio_track_count; ++t) {
        if (open_track_output(state, &state->audio_tracks[t]) != 0) return 1;
    }
    return 0;
}

AudioTrack* track_for_stream(TranscodeState* state, int stream_index) {
    for (int t = 0; t < state->audio_track_count; ++t) {
        if (state->audio_tracks[t].input_index == stream_index) return &state->audio_tracks[t];
    }
    return nullptr;
}

void close_audio_tracks(TranscodeState* state) {
    for (int t = 0; t < state->audio_track_count; ++t) release_track(&state->audio_tracks[t]);
    av_freep(&state->audio_tracks);
    state->audio_track_count = 0;
}
