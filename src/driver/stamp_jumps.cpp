#include "driver/stamp_jumps.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include "driver/audio_tracks.h"

// The ffmpeg CLI's own limits: a jump forward of more than 10 s, or back by more than a tenth
// of a second (stamps of one stream only go back at a jump of the clock).
static const int64_t longest_step_forward = 10 * int64_t(AV_TIME_BASE);
static const int64_t longest_step_back = AV_TIME_BASE / 10;

void begin_mending_stamp_jumps(TranscodeState* state) {
    StampJumps* jumps = &state->stamp_jumps;
    const AVFormatContext* input = state->input_context;
    if (!state->picture_timing.active || !(input->iformat->flags & AVFMT_TS_DISCONT)) return;
    jumps->next = static_cast<int64_t*>(av_malloc_array(input->nb_streams, sizeof(int64_t)));
    for (unsigned s = 0; jumps->next != nullptr && s < input->nb_streams; ++s)
        jumps->next[s] = AV_NOPTS_VALUE;
}

void mend_stamp_jump(TranscodeState* state, AVPacket* packet) {
    StampJumps* jumps = &state->stamp_jumps;
    const int index = packet->stream_index;
    if (jumps->next == nullptr || packet->dts == AV_NOPTS_VALUE ||
        (index != state->video_stream_index && track_for_stream(state, index) == nullptr))
        return;
    const AVRational time_base = state->input_context->streams[index]->time_base;
    int64_t dts = av_rescale_q(packet->dts, time_base, AV_TIME_BASE_Q) + jumps->offset;
    const int64_t expected = jumps->next[index];
    if (expected != AV_NOPTS_VALUE) {
        const int64_t step = dts - expected;
        if (step > longest_step_forward || step < -longest_step_back) {
            jumps->offset -= step;
            dts = expected;
        }
    }
    const int64_t shift = av_rescale_q(jumps->offset, AV_TIME_BASE_Q, time_base);
    packet->dts += shift;
    if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
    jumps->next[index] =
        dts + (packet->duration > 0 ? av_rescale_q(packet->duration, time_base, AV_TIME_BASE_Q) : 0);
}

void end_mending_stamp_jumps(TranscodeState* state) { av_freep(&state->stamp_jumps.next); }
