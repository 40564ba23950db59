#pragma once
// The one-dimensional tone curve: an 8-bit code read as a logarithmic 10-bit code,
// turned linear, then passed through one of the stored output curves.
#include <cstdint>

struct TransferCurve {
    float entries[256];  // whole numbers 0..1023, indexed by an 8-bit code
    bool transfer_curve_built;
};

// Three stored output curves of 1024 entries each, row r at r * 1024.
// Row 0: the house curve; row 1: BT.709; row 2: power 1/1.8 with a linear start.
extern const float EncodingCurves[3 * 1024];

// First stage only: the linear 10-bit value (0..1023) for an 8-bit code.
int linear_code(int code, float gamma);

// Fills every entry for the colour mode (0, 1, 2: a stored curve; 3 and above: the
// linear value itself) and sets transfer_curve_built. colour_mode must not be negative.
void build_transfer_curve(TransferCurve* curve, float gamma, int colour_mode);
