#pragma once

#include <vector>

namespace orlix::loudness
{

// One biquad of the K-weighting filter, in double precision.
struct Biquad
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double z1 = 0.0, z2 = 0.0;

    double process(double x) noexcept
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// The K-weighting of loudness measurement: a high shelf then a high-pass.
struct KWeighting
{
    explicit KWeighting(double sampleRate);
    double process(double x) noexcept { return highPass.process(shelf.process(x)); }

    Biquad shelf, highPass;
};

// Gated integrated loudness in LUFS over whole channels (every channel weighs 1);
// -100 when nothing is measurable.
float integratedLoudness(const float* const* channels, int numChannels, int length, double sampleRate);
float integratedLoudness(const std::vector<std::vector<float>>& channels, double sampleRate);

// The gating of block powers: absolute gate at -70, relative gate 10 below the
// absolute-gated loudness. -100 when no block passes the absolute gate.
double gatedLoudness(const std::vector<double>& blockPowers);

} // namespace orlix::loudness
