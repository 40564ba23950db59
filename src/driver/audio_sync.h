#pragma once
#include "driver/transcode_state.h"

// A packet of one of the tracks: decoded, converted, queued at its time, and whatever sound
// the pictures written so far cover handed on. A packet the decoder refuses becomes silence of
// its length. LOOP_RUNNING, or LOOP_END_ENCODE_ERROR after the encoder or writer failed.
LoopEnd decode_sound_packet(TranscodeState* state, AudioTrack* track, const AVPacket* packet);

// After each picture handed to the encoder: every track written up to its end.
LoopEnd write_due_sound(TranscodeState* state);

// At the end of every orderly run: reads on for sound the last pictures still lack (not far),
// drains the decoders and resamplers, writes each track to the end of the last picture, with
// silence where no sound came, drains the encoders and names, on standard error, what was
// repeated, dropped or damaged. 0, or 1 after the encoder or writer failed.
int finish_sound(TranscodeState* state);
