#include "driver/audio_sync.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

extern "C" {
#include <libavutil/mathematics.h>
}

#include "driver/audio_tracks.h"
#include "driver/read_ahead.h"
#include "driver/stamp_jumps.h"
#include "driver/status_line.h"

// How far sound may trail the pictures in the input before silence takes its place while the
// run goes on: muxers interleave far closer than this, and the writer holds no more than this
// of pictures waiting for sound.
static const int sound_wait_seconds = 2;

// The most sound a track holds ahead of the pictures: a video stream that ends before its sound
// (a song's cover picture) or pauses for long would otherwise have the sound kept whole.
static const int longest_queue_seconds = 60;

// A line on standard error through FFmpeg's log, which knows to make way for the status line; at
// the level of its description of the output, which is as plain.
static void note(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void note(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    fflush(stdout);
    av_log(nullptr, AV_LOG_INFO, "prolut: %s\n", text);
}

static int report_sound_error(const char* what, int status) {
    print_beside_status_line(CONSOLE_MESSAGE, " Error %s audio frame: %d\n", what, status);
    av_log(nullptr, AV_LOG_DEBUG, "Error %s audio frame: %d\n", what, status);
    return 1;
}

static int sample_rate(const AudioTrack* track) { return track->encoder->sample_rate; }

static int64_t position_of(const TranscodeState* state, const AudioTrack* track, int64_t stamp) {
    const AVRational time_base = state->input_context->streams[track->input_index]->time_base;
    return av_rescale_q(stamp, time_base, AVRational{1, sample_rate(track)});
}

// Stamps that differ by less than this from where the sound would follow on are the
// container's rounding (Matroska counts milliseconds), not a gap or an overlap.
static int64_t rounding_tolerance(const TranscodeState* state, const AudioTrack* track) {
    const AVRational time_base = state->input_context->streams[track->input_index]->time_base;
    const int64_t ticks = av_rescale_q_rnd(2, time_base, AVRational{1, sample_rate(track)}, AV_ROUND_UP);
    return std::max<int64_t>(ticks, sample_rate(track) / 1000);
}

// Samples at `position` join the queue. A gap after queued sound is filled with silence there:
// what is queued is all ahead of the pictures, so in an honest file the gap is short, and one
// longer than the wait is a jump of the stamps that the sound follows on across, so that no
// stamp can make the queue hold more than that much silence. Samples that overlap what is
// queued are dropped. A run that starts the queue keeps its own position: the writer fills or
// cuts up to it.
static void queue_samples(const TranscodeState* state, AudioTrack* track, int64_t position, uint8_t* data,
                          int count) {
    int queued = av_audio_fifo_size(track->queue);
    int64_t end = AV_NOPTS_VALUE;
    if (queued > 0) {
        end = track->queue_start + queued;
    } else if (track->origin_known) {
        end = track->written;
    }
    if (position == AV_NOPTS_VALUE) {
        const int64_t video_start = state->input_video_stream->start_time;
        position = end != AV_NOPTS_VALUE ? end
                   : video_start != AV_NOPTS_VALUE
                       ? av_rescale_q(video_start, state->input_video_stream->time_base,
                                      AVRational{1, sample_rate(track)})
                       : 0;
    } else if (end != AV_NOPTS_VALUE && std::abs(position - end) <= rounding_tolerance(state, track)) {
        position = end;
    } else if (queued > 0 && position - end > int64_t(sound_wait_seconds) * sample_rate(track)) {
        position = end;
    }
    const int bytes =
        av_get_bytes_per_sample(track->encoder->sample_fmt) * track->encoder->ch_layout.nb_channels;
    // Past the limit the queue is let go, earliest first, and starts again: where pictures come
    // after all, that stretch is silence and said so; where none come, it was to be cut anyway.
    if (queued > 0 && queued + std::max<int64_t>(position - end, 0) + count >
                          int64_t(longest_queue_seconds) * sample_rate(track)) {
        if (!track->overflowed) track->overflow_from = track->queue_start;
        track->overflowed = true;
        av_audio_fifo_reset(track->queue);
        queued = 0;
    }
    if (queued == 0) {
        track->queue_start = position;
    } else {
        for (int64_t gap = position - end; gap > 0;) {
            const int piece = static_cast<int>(std::min<int64_t>(gap, track->chunk_samples));
            if (av_audio_fifo_write(track->queue, reinterpret_cast<void**>(track->silence->data), piece) <
                piece)
                return;
            gap -= piece;
        }
        const int64_t overlap = std::min<int64_t>(end - position, count);
        if (overlap > 0) {
            data += overlap * bytes;
            count -= static_cast<int>(overlap);
        }
    }
    if (count > 0) av_audio_fifo_write(track->queue, reinterpret_cast<void**>(&data), count);
}

static int prepare_resampler(AudioTrack* track, const AVFrame* frame) {
    if (track->resampler != nullptr && frame->format == track->resampler_format &&
        frame->sample_rate == track->resampler_rate &&
        av_channel_layout_compare(&frame->ch_layout, &track->resampler_layout) == 0)
        return 0;
    swr_free(&track->resampler);
    av_channel_layout_uninit(&track->resampler_layout);
    AVCodecContext* encoder = track->encoder;  // FFmpeg 5.1 takes the layouts as changeable
    AVChannelLayout in{};
    int status = usable_channel_layout(&in, &frame->ch_layout);
    if (status >= 0) {
        status = swr_alloc_set_opts2(&track->resampler, &encoder->ch_layout, encoder->sample_fmt,
                                     encoder->sample_rate, &in, static_cast<AVSampleFormat>(frame->format),
                                     frame->sample_rate, 0, nullptr);
    }
    if (status >= 0) status = swr_init(track->resampler);
    if (status >= 0) status = av_channel_layout_copy(&track->resampler_layout, &frame->ch_layout);
    av_channel_layout_uninit(&in);
    if (status < 0) {
        swr_free(&track->resampler);
        return status;
    }
    track->resampler_format = frame->format;
    track->resampler_rate = frame->sample_rate;
    return 0;
}

// A decoded frame, or with null what the resampler still holds, converted and queued.
static int convert_and_queue(const TranscodeState* state, AudioTrack* track, const AVFrame* frame) {
    if (frame != nullptr) {
        const int status = prepare_resampler(track, frame);
        if (status < 0) return status;
    }
    if (track->resampler == nullptr) return 0;
    int64_t position = AV_NOPTS_VALUE;
    // The resampler's output trails its input by its delay.
    if (frame != nullptr && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        position = position_of(state, track, frame->best_effort_timestamp) -
                   swr_get_delay(track->resampler, sample_rate(track));
    }
    const int samples = frame != nullptr ? frame->nb_samples : 0;
    const int capacity = swr_get_out_samples(track->resampler, samples);
    if (capacity <= 0) return capacity;
    AVFrame* converted = track->converted;
    if (converted->nb_samples < capacity) {
        av_frame_unref(converted);
        converted->format = track->encoder->sample_fmt;
        converted->nb_samples = capacity;
        int status = av_channel_layout_copy(&converted->ch_layout, &track->encoder->ch_layout);
        if (status >= 0) status = av_frame_get_buffer(converted, 0);
        if (status < 0) {
            av_frame_unref(converted);
            return status;
        }
    }
    const int count =
        swr_convert(track->resampler, converted->data, capacity,
                    frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, samples);
    if (count < 0) return count;
    queue_samples(state, track, position, converted->data[0], count);
    return 0;
}

static void note_damage(AudioTrack* track, const AVPacket* packet) {
    if (track->damaged_packets++ > 0) return;
    track->first_damage = packet == nullptr               ? AV_NOPTS_VALUE
                          : packet->pts != AV_NOPTS_VALUE ? packet->pts
                                                          : packet->dts;
}

// Hands frame to the track's encoder (null drains it) and writes what comes out.
static int encode_sound(TranscodeState* state, AudioTrack* track, const AVFrame* frame) {
    int status = avcodec_send_frame(track->encoder, frame);
    while (status >= 0) {
        AVPacket* packet = track->packet;
        status = avcodec_receive_packet(track->encoder, packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return 0;
        if (status < 0) break;
        packet->stream_index = track->output_stream->index;
        av_packet_rescale_ts(packet, track->encoder->time_base, track->output_stream->time_base);
        status = av_interleaved_write_frame(state->output_context, packet);
        if (status < 0) return report_sound_error("while writing", status);
    }
    return report_sound_error("encoding", status);
}

// Sound from long before the pictures would wait for the first of them: what comes before the
// video stream's start is cut now, since the first picture comes no earlier.
static void drop_sound_before_pictures(const TranscodeState* state, AudioTrack* track) {
    const AVStream* video = state->input_video_stream;
    const int queued = av_audio_fifo_size(track->queue);
    if (video->start_time == AV_NOPTS_VALUE || queued == 0) return;
    const AVRational samples = {1, sample_rate(track)};
    const int64_t start = av_rescale_q(video->start_time, video->time_base, samples) +
                          av_rescale_q(state->stamp_jumps.offset, AV_TIME_BASE_Q, samples);
    const int cut = static_cast<int>(std::min<int64_t>(queued, start - track->queue_start));
    if (cut <= 0) return;
    av_audio_fifo_drain(track->queue, cut);
    track->queue_start += cut;
}

// The end of the pictures handed to the encoder so far, on the input's clock, counted in unit.
static int64_t end_of_pictures(const TranscodeState* state, AVRational unit) {
    const PictureTiming* timing = &state->picture_timing;
    return av_rescale_q(timing->origin, timing->time_base, unit) +
           av_rescale_q(state->encoder_frame->pts, av_inv_q(timing->frame_rate), unit);
}

// Writes the track up to the end of the pictures handed to the encoder, in packets of a
// picture's worth: queued sound where it is, silence where there is none. Until the run
// finishes, sound that is still to come is waited for; only where it can no longer come is a
// short packet or silence written.
static int write_track(TranscodeState* state, AudioTrack* track, bool finishing) {
    const PictureTiming* timing = &state->picture_timing;
    const int rate = sample_rate(track);
    if (!timing->started) {
        drop_sound_before_pictures(state, track);
        return 0;
    }
    if (!track->origin_known) {
        track->origin = av_rescale_q(timing->origin, timing->time_base, AVRational{1, rate});
        track->written = track->origin;
        track->origin_known = true;
    }
    const int64_t target = end_of_pictures(state, AVRational{1, rate});
    const int64_t given_up = finishing ? target : target - int64_t(sound_wait_seconds) * rate;
    while (track->written < target) {
        const int queued = av_audio_fifo_size(track->queue);
        if (queued > 0 && track->queue_start < track->written) {
            const int cut = static_cast<int>(std::min<int64_t>(queued, track->written - track->queue_start));
            av_audio_fifo_drain(track->queue, cut);
            track->queue_start += cut;
            continue;
        }
        int count = static_cast<int>(std::min<int64_t>(target - track->written, track->chunk_samples));
        AVFrame* frame = track->silence;
        if (queued > 0 && track->queue_start == track->written) {
            if (queued < count && track->written + queued > given_up) break;
            frame = track->chunk;
            frame->nb_samples = track->chunk_samples;
            if (av_frame_make_writable(frame) < 0) return report_sound_error("encoding", AVERROR(ENOMEM));
            count = av_audio_fifo_read(track->queue, reinterpret_cast<void**>(frame->data),
                                       std::min(count, queued));
            if (count <= 0) return report_sound_error("encoding", count < 0 ? count : AVERROR_BUG);
            track->queue_start += count;
        } else {
            const int64_t until = queued > 0 ? track->queue_start : given_up;
            count = static_cast<int>(std::min<int64_t>(count, until - track->written));
            if (count <= 0) break;
        }
        frame->nb_samples = count;
        frame->pts = track->written - track->origin;
        if (encode_sound(state, track, frame) != 0) return 1;
        track->written += count;
    }
    return 0;
}

LoopEnd decode_sound_packet(TranscodeState* state, AudioTrack* track, const AVPacket* packet) {
    // A refused packet leaves a gap in the stamps of the frames after it, which the queue
    // fills with silence.
    int status = avcodec_send_packet(track->decoder, packet);
    if (status < 0 && status != AVERROR(EAGAIN) && status != AVERROR_EOF) note_damage(track, packet);
    for (;;) {
        status = avcodec_receive_frame(track->decoder, track->decoded);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) break;
        if (status < 0) {
            note_damage(track, packet);
            break;
        }
        status = convert_and_queue(state, track, track->decoded);
        av_frame_unref(track->decoded);
        if (status < 0) note_damage(track, packet);
    }
    return write_track(state, track, false) != 0 ? LOOP_END_ENCODE_ERROR : LOOP_RUNNING;
}

LoopEnd write_due_sound(TranscodeState* state) {
    for (int t = 0; t < state->audio_track_count; ++t) {
        if (write_track(state, &state->audio_tracks[t], false) != 0) return LOOP_END_ENCODE_ERROR;
    }
    return LOOP_RUNNING;
}

static bool sound_reaches_cut(const TranscodeState* state) {
    for (int t = 0; t < state->audio_track_count; ++t) {
        const AudioTrack* track = &state->audio_tracks[t];
        const int64_t cut = end_of_pictures(state, AVRational{1, sample_rate(track)});
        const int queued = av_audio_fifo_size(track->queue);
        if (std::max(track->written, queued > 0 ? track->queue_start + queued : INT64_MIN) < cut)
            return false;
    }
    return true;
}

// A run stopped early may not have read the sound of its last pictures yet: the input is read
// on, for sound only, until every track reaches the cut or the input is past it by the wait.
static int read_on_for_sound(TranscodeState* state) {
    const int64_t limit = end_of_pictures(state, AV_TIME_BASE_Q) + int64_t(sound_wait_seconds) * AV_TIME_BASE;
    AVPacket* packet = state->packet;
    while (!sound_reaches_cut(state) && read_input_packet(state, packet) >= 0) {
        mend_stamp_jump(state, packet);
        const AVStream* stream = state->input_context->streams[packet->stream_index];
        const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        const bool past =
            stamp != AV_NOPTS_VALUE && av_rescale_q(stamp, stream->time_base, AV_TIME_BASE_Q) > limit;
        AudioTrack* track = track_for_stream(state, packet->stream_index);
        const LoopEnd end = track != nullptr ? decode_sound_packet(state, track, packet) : LOOP_RUNNING;
        av_packet_unref(packet);
        if (end != LOOP_RUNNING) return 1;
        if (past) break;
    }
    return 0;
}

static void report_sound_notes(const TranscodeState* state) {
    const PictureTiming* timing = &state->picture_timing;
    if (timing->repeated > 0 || timing->dropped > 0) {
        note("the pictures were held to their sound at %d/%d frames per second: %" PRId64
             " pictures repeated, %" PRId64 " dropped",
             timing->frame_rate.num, timing->frame_rate.den, timing->repeated, timing->dropped);
    }
    for (int t = 0; t < state->audio_track_count; ++t) {
        const AudioTrack* track = &state->audio_tracks[t];
        if (track->overflowed && track->origin_known && track->overflow_from < track->written) {
            note(
                "audio stream %d ran more than %d s ahead of the pictures: from %.3f s of the output on, "
                "what could not wait became silence",
                track->input_index, longest_queue_seconds,
                double(track->overflow_from - track->origin) / sample_rate(track));
        }
        if (track->damaged_packets == 0) continue;
        const AVStream* stream = state->input_context->streams[track->input_index];
        char first[64] = "";
        if (track->first_damage != AV_NOPTS_VALUE)
            snprintf(first, sizeof first, ", the first at %.3f s in the input",
                     track->first_damage * av_q2d(stream->time_base));
        note("audio stream %d: %" PRId64 " damaged packet%s became silence%s", track->input_index,
             track->damaged_packets, track->damaged_packets == 1 ? "" : "s", first);
    }
}

int finish_sound(TranscodeState* state) {
    if (state->audio_track_count == 0) return 0;
    int result = 0;
    if (state->picture_timing.started) result = read_on_for_sound(state);
    for (int t = 0; t < state->audio_track_count && result == 0; ++t) {
        AudioTrack* track = &state->audio_tracks[t];
        if (decode_sound_packet(state, track, nullptr) != LOOP_RUNNING) result = 1;
        if (result == 0 && convert_and_queue(state, track, nullptr) < 0) note_damage(track, nullptr);
        if (result == 0 && state->picture_timing.started) result = write_track(state, track, true);
        if (result == 0) result = encode_sound(state, track, nullptr);
    }
    report_sound_notes(state);
    return result;
}
