#pragma once
// Interlaced sources stay interlaced: whether the encoder codes fields, and in which order,
// is settled from the stream and its first picture before the encoder opens.
#include "driver/transcode_state.h"

// Sets coded_field_order from the input's first picture (read ahead) and its stream: fields
// when the stream names a field order or the first picture is interlaced, else frames as
// before. When no picture came, the stream's word alone decides.
void settle_field_order(TranscodeState* state);

// The decoder's word on one picture.
bool picture_is_interlaced(const AVFrame* frame);
bool picture_top_field_first(const AVFrame* frame);

// Marks picture, about to be encoded, with the field order of decoded: its own when it is
// interlaced, the settled one when not. Nothing changes when the encoder codes frames.
void mark_picture_fields(const TranscodeState* state, AVFrame* picture, const AVFrame* decoded);
