#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace testsupport
{

inline std::vector<float> sine(double frequency, double sampleRate, int length, float amplitude = 1.0f,
                               double phase = 0.0)
{
    std::vector<float> x((size_t)length);
    for (int i = 0; i < length; ++i)
        x[(size_t)i] =
            amplitude *
            (float)std::sin(2.0 * juce::MathConstants<double>::pi * frequency * i / sampleRate + phase);
    return x;
}

inline std::vector<float> constant(int length, float value)
{
    return std::vector<float>((size_t)length, value);
}

// Deterministic white noise in -1..1.
inline std::vector<float> noise(int length, float amplitude = 1.0f, std::uint32_t seed = 1)
{
    std::vector<float> x((size_t)length);
    std::uint32_t state = seed;
    for (auto& v : x)
    {
        state = state * 1664525u + 1013904223u;
        v = amplitude * ((float)(state >> 8) / 8388608.0f - 1.0f);
    }
    return x;
}

// Drum-like hits: a noise burst plus a low thump with an exponential decay,
// repeated at `bpm` quarter notes.
inline std::vector<float> drumLoop(double sampleRate, double seconds, double bpm = 120.0,
                                   float amplitude = 0.8f)
{
    const int length = (int)(sampleRate * seconds);
    const int period = (int)(sampleRate * 60.0 / bpm);
    std::vector<float> x((size_t)length, 0.0f);
    auto burst = noise(period, 1.0f, 7);
    for (int start = 0; start < length; start += period)
    {
        const bool accent = (start / period) % 2 == 0;
        for (int i = 0; i < period && start + i < length; ++i)
        {
            const double t = i / sampleRate;
            const double thump =
                std::sin(2.0 * juce::MathConstants<double>::pi * 60.0 * t) * std::exp(-t / 0.12);
            const double hiss = burst[(size_t)i] * std::exp(-t / 0.03);
            x[(size_t)(start + i)] = amplitude * (float)((accent ? 0.8 : 0.5) * thump + 0.3 * hiss);
        }
    }
    return x;
}

// A sustained chord (three partials) with a slow noisy amplitude wobble.
inline std::vector<float> sustainedChord(double sampleRate, double seconds, float amplitude = 0.3f)
{
    const int length = (int)(sampleRate * seconds);
    std::vector<float> x((size_t)length);
    const double pi2 = 2.0 * juce::MathConstants<double>::pi;
    for (int i = 0; i < length; ++i)
    {
        const double t = i / sampleRate;
        const double wobble = 1.0 + 0.3 * std::sin(pi2 * 0.7 * t) + 0.15 * std::sin(pi2 * 2.3 * t);
        x[(size_t)i] = amplitude * (float)(wobble *
                                           (std::sin(pi2 * 220.0 * t) + 0.6 * std::sin(pi2 * 277.18 * t) +
                                            0.5 * std::sin(pi2 * 329.63 * t)) /
                                           2.1);
    }
    return x;
}

inline juce::AudioBuffer<float> toBuffer(const std::vector<float>& left, const std::vector<float>& right)
{
    juce::AudioBuffer<float> buffer(2, (int)left.size());
    buffer.copyFrom(0, 0, left.data(), (int)left.size());
    buffer.copyFrom(1, 0, right.data(), (int)right.size());
    return buffer;
}

inline juce::AudioBuffer<float> toBuffer(const std::vector<float>& mono)
{
    juce::AudioBuffer<float> buffer(1, (int)mono.size());
    buffer.copyFrom(0, 0, mono.data(), (int)mono.size());
    return buffer;
}

inline float peakOf(const float* x, int n)
{
    float p = 0.0f;
    for (int i = 0; i < n; ++i)
        p = std::max(p, std::abs(x[i]));
    return p;
}

inline double rmsDb(const float* x, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += (double)x[i] * x[i];
    return 10.0 * std::log10(std::max(sum / std::max(n, 1), 1e-20));
}

} // namespace testsupport
