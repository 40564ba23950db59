#pragma once
// --timecode: the input's start timecode, found before the output header is written and
// handed to the muxer with it.
#include "driver/transcode_state.h"

// What a timecode text says at a frame rate.
enum TimecodeVerdict {
    TIMECODE_FITS,
    TIMECODE_NOT_A_TIMECODE,  // not hh:mm:ss:ff with hours below 24, minutes and seconds below 60
    TIMECODE_MISFITS_RATE,    // a frame the rate has not, drop-frame at a rate that drops none, or a
                              // rate a tmcd track cannot count (below 1 or above 255 a second)
};

// Reads "hh:mm:ss:ff" (';' or '.' before the frames: drop-frame) and checks it against the
// rate. When it fits, canonical receives it as the muxers and FFmpeg's readers write it:
// two-digit fields, three for the frames above 100 a second, ';' for drop-frame.
TimecodeVerdict read_timecode(const char* text, AVRational rate, char canonical[AV_TIMECODE_STR_SIZE]);

// The first timecode found: the video stream's tag, a tmcd stream's tag, the container's tag,
// else the S12M side data of the input's first picture (read ahead). Stores it in state->start_timecode
// when it fits the output's frame rate; otherwise says on standard error that the output has
// none. The run goes on either way.
void find_start_timecode(TranscodeState* state);

// Puts the start timecode (and on MOV the input's reel name) on the output's video stream,
// where the muxers look for it when the header is written. Nothing without one.
void attach_start_timecode(TranscodeState* state);
