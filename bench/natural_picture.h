#pragma once
// A 1920x1080 working picture (packed B, G, R 16-bit samples) of natural-looking content, the same
// for every benchmark: smooth shading, texture and sensor-like noise.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

constexpr int natural_width = 1920, natural_height = 1080;

inline std::vector<uint16_t> natural_picture() {
    std::vector<uint16_t> picture(size_t(3) * natural_width * natural_height);
    std::mt19937 random(7);
    std::normal_distribution<double> grain(0.0, 0.012);
    for (int y = 0; y < natural_height; ++y) {
        for (int x = 0; x < natural_width; ++x) {
            const double shade = 0.45 + 0.25 * std::sin(x / 310.0) * std::cos(y / 170.0);
            const double texture = 0.08 * std::sin((x + 2 * y) / 23.0) * std::sin((3 * x - y) / 41.0);
            for (int c = 0; c < 3; ++c) {
                double v =
                    shade + texture * (c + 1) / 3 + 0.1 * std::sin((x * (c + 1) - y) / 500.0) + grain(random);
                v = std::fmin(1.0, std::fmax(0.0, v));
                picture[size_t(3) * (size_t(y) * natural_width + x) + c] = uint16_t(std::lround(v * 65535));
            }
        }
    }
    return picture;
}
