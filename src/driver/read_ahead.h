#pragma once
// Some facts about the input are told only by a decoded picture (its field order, an S12M
// timecode) and are needed before the output header is written. The input is read up to its
// first picture before the loop, every packet kept for the loop, so that a pipe is read once
// and the loop's own decoder sees exactly what it would have.
#include "driver/transcode_state.h"

// Decodes the input's first picture with a decoder of its own into state->first_picture, which
// stays null when no picture comes within the read-ahead's bounds. Never fails: what is read
// stays for the loop either way.
void read_ahead_to_first_picture(TranscodeState* state);

// The next packet of the input: those read ahead first, then av_read_frame's, with its status.
int read_input_packet(TranscodeState* state, AVPacket* packet);

// Frees the packets read ahead that the loop did not take, and the first picture.
void release_read_ahead(TranscodeState* state);
