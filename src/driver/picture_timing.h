#pragma once
// Where each picture of a variable-rate source lands at the constant output rate: sound keeps
// the source's clock, so the pictures have to keep it too. Plain arithmetic on time stamps.
#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

// A container clock that jumps, read as one that does not: added to every stamp (AV_TIME_BASE).
struct StampJumps {
    int64_t offset;
    int64_t* next;  // per input stream: the stamp its next packet should have; null when not mended
};

struct PictureTiming {
    bool active;            // with sound: pictures follow their time stamps
    bool started;           // origin is set: the first picture came
    int64_t origin;         // in time_base
    int64_t last_stamp;     // the latest stamp a picture came with
    AVRational time_base;   // the input video stream's
    AVRational frame_rate;  // the output's
    int64_t next_slot;      // the output picture the next kept picture fills at the earliest
    int64_t repeated;
    int64_t dropped;
};

// How many times the picture before it is shown again before a picture stamped pts, or -1
// when the picture is dropped: each picture takes the output slot nearest its time, so a
// constant-rate source whose stamps jitter by less than half a frame keeps every picture.
// A picture without a stamp, or whose stamp does not move on from the one before (a broken
// file, where dropping would leave next to nothing), takes the next slot. The first picture's
// stamp is the origin, the time of slot 0. Counts what it repeats and drops.
int64_t place_picture(PictureTiming* timing, int64_t pts);

// The output slot nearest a picture stamped pts, counted from the origin.
int64_t slot_for_stamp(const PictureTiming* timing, int64_t pts);
