#pragma once

#include <juce_dsp/juce_dsp.h>

#include <cmath>
#include <vector>

namespace testsupport
{

// Magnitude spectrum (bins 0 .. N/2) of the first 2^order samples, Blackman-Harris window
// (sidelobes near -92 dB), so weak components next to a strong tone stay visible.
inline std::vector<double> magnitudeSpectrum(const float* x, int order)
{
    const int n = 1 << order;
    std::vector<float> data((size_t)(2 * n), 0.0f);
    const double twoPi = juce::MathConstants<double>::twoPi;
    for (int i = 0; i < n; ++i)
    {
        const double p = twoPi * i / n;
        const double w =
            0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        data[(size_t)i] = (float)(w * x[i]);
    }
    juce::dsp::FFT fft(order);
    fft.performFrequencyOnlyForwardTransform(data.data(), true);
    return std::vector<double>(data.begin(), data.begin() + n / 2 + 1);
}

// The largest magnitude within `halfWidth` bins of `bin`.
inline double peakAround(const std::vector<double>& spectrum, int bin, int halfWidth)
{
    double peak = 0.0;
    for (int b = std::max(0, bin - halfWidth); b <= std::min((int)spectrum.size() - 1, bin + halfWidth); ++b)
        peak = std::max(peak, spectrum[(size_t)b]);
    return peak;
}

inline double decibels(double ratio)
{
    return 20.0 * std::log10(std::max(ratio, 1e-30));
}

} // namespace testsupport
