#include "driver/transcode_loop.h"

#include <cstdio>

#include "driver/audio_sync.h"
#include "driver/audio_tracks.h"
#include "driver/custom_road.h"
#include "driver/encode_mux.h"
#include "driver/keyboard.h"
#include "driver/output.h"
#include "driver/plain_road.h"
#include "driver/read_ahead.h"
#include "driver/report.h"
#include "driver/snapshot.h"
#include "driver/stamp_jumps.h"
#include "driver/status_line.h"

struct LoopEndRule {
    LoopEnd end;
    int exit_status;
    bool drains;
};

// Every orderly way out keeps every picture already handed to the encoder; only a
// failing encoder or writer leaves the rest behind, and with no picture there is nothing
// to drain.
static const LoopEndRule loop_end_rules[] = {
    {LOOP_END_COUNT, 0, true},         {LOOP_END_INPUT, 0, true},        {LOOP_END_KEY, 0, true},
    {LOOP_END_SIGNAL, 130, true},      {LOOP_END_SNAPSHOT, 0, true},     {LOOP_END_READ_ERROR, 1, true},
    {LOOP_END_DECODE_ERROR, 1, true},  {LOOP_END_SCALER_ERROR, 1, true}, {LOOP_END_SNAPSHOT_ERROR, 1, true},
    {LOOP_END_ENCODE_ERROR, 1, false}, {LOOP_END_NO_PICTURE, 1, false},
};

static const LoopEndRule* rule_for(LoopEnd end) {
    for (const LoopEndRule& rule : loop_end_rules) {
        if (rule.end == end) return &rule;
    }
    return nullptr;
}

int exit_status_for(LoopEnd end) {
    const LoopEndRule* rule = rule_for(end);
    return rule != nullptr ? rule->exit_status : 1;
}

bool loop_end_drains(LoopEnd end) {
    const LoopEndRule* rule = rule_for(end);
    return rule != nullptr && rule->drains;
}

static bool count_reached(const TranscodeState* state) {
    return state->frame_limit > 0 && state->processed_frames >= state->frame_limit;
}

// One decoded picture: converted on its road, counted, encoded, its successor's time
// stamp stepped, and the sound it covers written. With sound, pictures keep to their time
// stamps: one whose output slot is taken already is counted but not shown, and where the
// source left a gap the picture before fills it.
static LoopEnd transcode_picture(TranscodeState* state) {
    if (count_reached(state)) return LOOP_END_COUNT;
    int64_t repeats = 0;
    if (state->picture_timing.active && !snapshot_due(state)) {
        repeats = place_picture(&state->picture_timing, state->decoded_frame->best_effort_timestamp);
        if (repeats < 0) {
            ++state->processed_frames;
            return LOOP_RUNNING;
        }
    }
    // A stamp hours on (a clock that jumped, a broken file) repeats a picture for as long: a
    // stop asked for meanwhile ends the run there, as it would between packets.
    for (; repeats > 0; --repeats) {
        if (stop_requested) return LOOP_END_SIGNAL;
        if (keyboard_quit_pressed()) return LOOP_END_KEY;
        if (encode_and_mux_frame(state, state->encoder_frame) != 0) return LOOP_END_ENCODE_ERROR;
        state->encoder_frame->pts += 1;
    }
    if (take_encoder_picture(state) != 0) return LOOP_END_ENCODE_ERROR;
    LoopEnd end;
    if (state->options.custom_conversion) {
        end = convert_frame_custom(state);
    } else if (snapshot_due(state)) {
        end = take_plain_road_snapshot(state);
    } else {
        end = convert_frame_plain(state);
    }
    if (end != LOOP_RUNNING) return end;
    ++state->processed_frames;
    if (encode_and_mux_frame(state, state->encoder_frame) != 0) return LOOP_END_ENCODE_ERROR;
    state->encoder_frame->pts += 1;
    return write_due_sound(state);
}

static LoopEnd report_decode_error() {
    print_beside_status_line(CONSOLE_MESSAGE, "Error decoding video frame\n");
    av_log(nullptr, AV_LOG_DEBUG, "Error decoding video frame\n");
    return LOOP_END_DECODE_ERROR;
}

// A packet may give no picture or several; a null packet asks the decoder for the
// pictures it still holds back.
static LoopEnd decode_packet(TranscodeState* state, const AVPacket* packet) {
    int status = avcodec_send_packet(state->decoder_context, packet);
    if (status < 0 && status != AVERROR_EOF) return report_decode_error();
    for (;;) {
        status = avcodec_receive_frame(state->decoder_context, state->decoded_frame);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return LOOP_RUNNING;
        if (status < 0) return report_decode_error();
        LoopEnd end = transcode_picture(state);
        if (end != LOOP_RUNNING) return end;
    }
}

static LoopEnd end_of_input(TranscodeState* state, int read_status) {
    // A stop asked for while the read was waiting still stops the run.
    if (stop_requested) return LOOP_END_SIGNAL;
    LoopEnd end = LOOP_END_INPUT;
    if (read_status != AVERROR_EOF) {
        print_beside_status_line(CONSOLE_MESSAGE, "Error reading the input file: %d\n", read_status);
        av_log(nullptr, AV_LOG_DEBUG, "Error reading the input file: %d\n", read_status);
        end = LOOP_END_READ_ERROR;
    }
    LoopEnd flushed = decode_packet(state, nullptr);
    if (state->processed_frames == 0 && end == LOOP_END_INPUT && flushed == LOOP_RUNNING) {
        printf("Error, the input gave no picture to encode\n");
        report_failure("input '%s' gave no picture to encode", state->options.input_path);
        return LOOP_END_NO_PICTURE;
    }
    if (flushed == LOOP_RUNNING || flushed == LOOP_END_COUNT) return end;
    if (end == LOOP_END_READ_ERROR && exit_status_for(flushed) == 0) return end;
    return flushed;
}

static LoopEnd transcode_turn(TranscodeState* state) {
    if (stop_requested) return LOOP_END_SIGNAL;
    if (count_reached(state)) return LOOP_END_COUNT;
    if (keyboard_quit_pressed()) return LOOP_END_KEY;
    AVPacket* packet = state->packet;
    int status = read_input_packet(state, packet);
    if (status < 0) return end_of_input(state, status);
    mend_stamp_jump(state, packet);
    LoopEnd end = LOOP_RUNNING;
    AudioTrack* track = track_for_stream(state, packet->stream_index);
    if (packet->stream_index == state->video_stream_index) {
        end = decode_packet(state, packet);
    } else if (track != nullptr) {
        end = decode_sound_packet(state, track, packet);
    }
    av_packet_unref(packet);
    return end;
}

int transcode_loop(TranscodeState* state) {
    state->processed_frames = 0;
    keyboard_begin();
    status_line_begin();
    LoopEnd end = LOOP_RUNNING;
    while (end == LOOP_RUNNING) end = transcode_turn(state);
    if (loop_end_drains(end) && finish_sound(state) != 0) end = LOOP_END_ENCODE_ERROR;
    if (loop_end_drains(end) && encode_and_mux_frame(state, nullptr) != 0) end = LOOP_END_ENCODE_ERROR;
    return exit_status_for(end);
}

static bool report_unfinished_output(int status) {
    printf("Error, could not finish the output file: %d\n", status);
    return false;
}

int shutdown_pipeline(TranscodeState* state, int status) {
    keyboard_end();
    status_line_end(state);
    AVFormatContext* output_context = state->output_context;
    // A file whose end could not be written is reported once, however many steps failed.
    bool finished = true;
    if (state->header_written) {
        int trailer_status = av_write_trailer(output_context);
        if (trailer_status < 0) finished = report_unfinished_output(trailer_status);
        printf("\nComplete\n");
    }
    release_cube_lut(&state->cube_lut);
    stop_slice_pool(&state->slice_pool);
    release_graded_convert(&state->graded_convert);
    close_output_encoder(state);
    close_audio_tracks(state);
    end_mending_stamp_jumps(state);
    if (output_context != nullptr) {
        if (!(output_context->oformat->flags & AVFMT_NOFILE) && output_context->pb != nullptr) {
            int close_status = avio_closep(&output_context->pb);
            if (close_status < 0 && finished && state->header_written)
                finished = report_unfinished_output(close_status);
        }
        if (state->written_packets == 0) discard_output_file(state);
        avformat_free_context(output_context);
        state->output_context = nullptr;
    }
    release_read_ahead(state);
    av_frame_free(&state->decoded_frame);
    avcodec_free_context(&state->decoder_context);
    av_packet_free(&state->packet);
    avformat_close_input(&state->input_context);
    sws_freeContext(state->plain_scaler);
    sws_freeContext(state->bgr48_scaler);
    state->plain_scaler = state->bgr48_scaler = nullptr;
    av_frame_free(&state->working_frame);
    fflush(stdout);
    return finished ? status : 1;
}
