#include "driver/snapshot.h"

#include <cstdio>
#include <vector>

#include "driver/status_line.h"
#include "driver/working_picture.h"

bool snapshot_due(const TranscodeState* state) {
    return state->options.snapshot_enabled && state->processed_frames == 20;
}

uint8_t snapshot_byte(uint16_t sample) {
    // v * 255 / 1023 in double, held as a float, then rounded to nearest; no value lies
    // exactly halfway.
    float value = static_cast<float>(sample >> 6);
    value = static_cast<float>(value * 255.0 / 1023.0);
    return static_cast<uint8_t>(value + 0.5);
}

bool dump_snapshot(TranscodeState* state) {
    const char* path = state->options.snapshot_path;
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        status_line_break();
        printf("Error, could not open snapshot file %s\n", path);
        return false;
    }
    int width = state->encoder_context->width;
    int height = state->encoder_context->height;
    const AVFrame* working = state->working_frame;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    bool written = true;
    for (int y = 0; y < height && written; ++y) {
        const uint16_t* samples = reinterpret_cast<const uint16_t*>(
            working->data[0] + static_cast<size_t>(y) * working->linesize[0]);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = snapshot_byte(samples[3 * x + 2]);
            row[3 * x + 1] = snapshot_byte(samples[3 * x + 1]);
            row[3 * x + 2] = snapshot_byte(samples[3 * x]);
        }
        written = fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    if (fclose(file) != 0) written = false;
    if (!written) {
        status_line_break();
        printf("Error, could not write snapshot file %s\n", path);
    }
    return written;
}

LoopEnd take_plain_road_snapshot(TranscodeState* state) {
    LoopEnd end = fill_working_picture(state);
    if (end != LOOP_RUNNING) return end;
    return dump_snapshot(state) ? LOOP_END_SNAPSHOT : LOOP_END_SNAPSHOT_ERROR;
}
