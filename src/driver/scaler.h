#pragma once
#include "driver/transcode_state.h"

// The scaler that turns this decoded picture into width x height in format. It is made
// on the first picture and again only when a picture differs in size, format or colour
// description from what it was made for. Null, after a message on standard output and
// in the log, when FFmpeg cannot make one.
// The whole decoded picture into destination (a reference-counted frame of the scaler's
// output size and format). Negative, after a message, when the scaler fails.
int scale_frame(SwsContext* scaler, AVFrame* destination, const AVFrame* frame);

// threads: the scaler's own slice threads, 0 for as many as there are cores.
SwsContext* scaler_for_frame(SwsContext** scaler, ScalerSource* made_for, const AVFrame* frame, int width,
                             int height, AVPixelFormat format, int threads);
