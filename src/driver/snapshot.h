#pragma once
#include "driver/transcode_state.h"

// The 21st picture of a run with the snapshot on.
bool snapshot_due(const TranscodeState* state);

// Writes the working picture to snapshot_path as 8-bit R, G, B, rows top to bottom, graded on
// the custom road: a PNG image, or raw bytes for any other name. False, after a message on
// standard output, when the file cannot be written.
bool dump_snapshot(TranscodeState* state);

// The plain road's snapshot: the decoded picture as the working picture, no grade, then
// dumped.
LoopEnd take_plain_road_snapshot(TranscodeState* state);
