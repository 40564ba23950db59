#pragma once
#include "driver/transcode_state.h"

// The 21st picture of a run with the snapshot on.
bool snapshot_due(const TranscodeState* state);

// The byte a working-picture sample shows as: its top 10 bits scaled to 0..255.
uint8_t snapshot_byte(uint16_t sample);

// Writes the working picture to snapshot_path as 8-bit R, G, B, rows top to bottom: a PNG
// image, or raw bytes for any other name. False, after a message on standard output, when
// the file cannot be written.
bool dump_snapshot(TranscodeState* state);

// The plain road's snapshot: the decoded picture as the working picture, no tone
// mapping, then dumped.
LoopEnd take_plain_road_snapshot(TranscodeState* state);
