#pragma once
#include "driver/transcode_state.h"

// Rows of the encoder's pictures are aligned as the encoder's own frames would be.
constexpr int encoder_picture_alignment = 64;

// Rows held for a picture of height rows, as av_frame_get_buffer holds them: coding fields,
// the ProRes encoder reads whole macroblocks of each field, up to 16 rows past the picture
// when its height is a multiple of 16 but not of 32.
constexpr int encoder_picture_rows(int height) { return (height + 31) & ~31; }

// Gives encoder_frame a fresh picture from the pool, since the encoder may still hold the
// last one, marked with the fields of the decoded picture. 0, or 1 after an error report.
int take_encoder_picture(TranscodeState* state);

// Hands frame to the encoder and writes every packet it gives back; a null frame drains
// the encoder to its end. Prints the progress line: once per picture handed over, and,
// while draining, once per packet written. 0 when nothing failed, 1 after an encoder or
// writer error (reported on standard output and in the log).
int encode_and_mux_frame(TranscodeState* state, AVFrame* frame);

// Releases the encoder, its picture and frame.
void close_output_encoder(TranscodeState* state);
