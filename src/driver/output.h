#pragma once
#include "driver/transcode_state.h"

// The output step: container from the file name (MOV when the name says nothing), the
// ProRes stream and encoder, the pictures, the file and its header. Returns 0, or the
// exit status after reporting why.
int open_output(TranscodeState* state);

// Adds the output's one video stream and an encoder context with the stream defaults.
// *encoder receives the encoder found for codec_id. 0 on success, 1 after logging.
int create_output_stream(TranscodeState* state, AVCodecID codec_id, const AVCodec** encoder);

// Opens the encoder, copies its parameters to the stream, allocates encoder_frame and the
// two pictures. 0 on success, 1 after logging.
int open_output_encoder(TranscodeState* state, const AVCodec* encoder);

// Closes the output file and removes it when this run created it: a file that holds no
// picture is no video.
void discard_output_file(TranscodeState* state);

// What the output's pixels are, given what the decoder says of the input's and which
// road makes them.
ColourDescription describe_output_colours(const AVCodecContext* decoder, const RunOptions* options);

// The same description as the ProRes frame headers can carry it.
ColourDescription prores_header_colours(ColourDescription colours);

// The four-character tag that names a ProRes 422 profile (0 Proxy .. 3 HQ); 0 for others.
uint32_t prores_tag_for_profile(int profile);

// The file behind an output name ("file:" prefix dropped), or null for other protocols.
const char* local_file_path(const char* path);

// True when both names lead to the same existing file.
bool same_file(const char* first_path, const char* second_path);
