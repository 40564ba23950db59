#include "driver/picture_timing.h"

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

int64_t slot_for_stamp(const PictureTiming* timing, int64_t pts) {
    const AVRational slot = {timing->frame_rate.den, timing->frame_rate.num};
    return av_rescale_q_rnd(pts - timing->origin, timing->time_base, slot,
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

int64_t place_picture(PictureTiming* timing, int64_t pts) {
    // A first picture without a stamp starts the clock at 0, where the container's clock starts.
    if (!timing->started) {
        timing->origin = pts == AV_NOPTS_VALUE ? 0 : pts;
        timing->last_stamp = AV_NOPTS_VALUE;
        timing->started = true;
    }
    const bool moved_on =
        pts != AV_NOPTS_VALUE && (timing->last_stamp == AV_NOPTS_VALUE || pts > timing->last_stamp);
    if (pts != AV_NOPTS_VALUE) timing->last_stamp = pts;
    const int64_t slot = moved_on ? slot_for_stamp(timing, pts) : timing->next_slot;
    // Its slot is taken already: the picture before it, nearer in time, shows there.
    if (slot < timing->next_slot) {
        ++timing->dropped;
        return -1;
    }
    const int64_t repeats = slot - timing->next_slot;
    timing->repeated += repeats;
    timing->next_slot = slot + 1;
    return repeats;
}
