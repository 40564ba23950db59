#pragma once
#include "driver/transcode_state.h"

// Hands frame to the encoder and writes every packet it gives back; a null frame drains
// the encoder to its end. Prints the progress line: once per picture handed over, and,
// while draining, once per packet written. 0 when nothing failed, 1 after an encoder or
// writer error (reported on standard output and in the log).
int encode_and_mux_frame(TranscodeState* state, AVFrame* frame);

// Releases the encoder, its picture and frame.
void close_output_encoder(TranscodeState* state);
