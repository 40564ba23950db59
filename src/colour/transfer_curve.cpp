#include "colour/transfer_curve.h"

#include <cmath>

namespace {

// Log-to-linear for a 10-bit log code: reference black 0, reference white 1023,
// 1/300 decade per code step, then the display exponent.
double log_to_light(double log_code, double exponent) {
    return std::pow(std::pow(10.0, (log_code - 1023.0) * 0.0033333333333333335), exponent);
}

}  // namespace

// The float roundings between the steps are deliberate: they decide which side of a
// half several codes land on, and graded output must not move by one code.
int linear_code(int code, float gamma) {
    const double exponent = double(gamma) / 1.8;
    const double black = log_to_light(0.0, exponent);
    const float gain = float(255.0 / (1.0 - black));
    const float offset = float(double(gain) - 255.0);

    const float log_code = float(double(float(code / 255.0)) * 1023.0);
    float light = 255.0f;
    if (log_code < 1023.0f) light = float(double(float(log_to_light(log_code, exponent))) * gain - offset);
    if (light > 255.0f) light = 255.0f;

    const float scaled = float(double(float(light / 255.0)) * 1023.0);
    const int n = int(double(scaled) + 0.5);
    // Only an exotic gamma could leave 0..1023; the result indexes EncodingCurves.
    return n < 0 ? 0 : (n > 1023 ? 1023 : n);
}

void build_transfer_curve(TransferCurve* curve, float gamma, int colour_mode) {
    // Modes 0..2 pick a stored output curve; any other mode keeps the linear value, so a
    // stray mode can never index outside the three rows.
    const bool stored_row = colour_mode >= 0 && colour_mode <= 2;
    for (int code = 0; code < 256; ++code) {
        const int n = linear_code(code, gamma);
        curve->entries[code] = stored_row ? EncodingCurves[colour_mode * 1024 + n] : float(n);
    }
    curve->transfer_curve_built = true;
}
