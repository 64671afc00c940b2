#pragma once

#include "engine/CharacterModel.h"
#include "engine/EngineSettings.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

// dB of a linear amplitude with the system's -100 dB floor.
inline float amplitudeDb(float v) noexcept
{
    return v > 0.0f ? std::max(20.0f * std::log10(v), -100.0f) : -100.0f;
}

// dB of a power (mean square) with the same floor.
inline float powerDb(float p) noexcept
{
    return p > 0.0f ? std::max(10.0f * std::log10(p), -100.0f) : -100.0f;
}

// Linear gain of a dB value; -100 dB or less is exactly 0.
inline float gainOfDb(float db) noexcept
{
    return db > -100.0f ? std::pow(10.0f, db * 0.05f) : 0.0f;
}

// The soft-knee curve: gain reduction in dB for an overshoot over the threshold.
inline float gainComputer(float over, float ratio, float knee) noexcept
{
    if (-knee > 2.0f * over)
        return 0.0f;
    const float slope = 1.0f - 1.0f / std::max(ratio, 1.0f);
    if (knee >= 2.0f * std::abs(over))
    {
        const float x = over + knee * 0.5f;
        return slope * x * x / (2.0f * knee);
    }
    return slope * over;
}

// The character's static gain-reduction curve, without time behaviour.
float staticGainReduction(float level, float threshold, float ratio, float knee, int character) noexcept;

// Make-up gain in dB for a block with these settings.
float automaticMakeup(const EngineSettings& settings) noexcept;

// Per-block one-pole coefficients of the detector and gain smoothing.
struct DetectorCoefficients
{
    float attack = 0.0f;
    float release = 0.0f;
    float slowAttack = 0.0f;
    float slowRelease = 0.0f;
    float rms = 0.0f;
    float peakRelease = 0.0f;
};

float onePoleCoefficient(double seconds, double sampleRate) noexcept;
DetectorCoefficients detectorCoefficients(const EngineSettings& settings, const CharacterModel& model,
                                          double sampleRate) noexcept;

// The per-sample values that ramp over 20 ms in the engine.
struct DetectorControls
{
    float peakShare;
    float slowWeight;
    float optoFlag;
    float fetFlag;
    float knee;
    float ratio;
    float threshold;
};

// Stereo-linked detector with the fast and slow (program-dependent) paths.
struct LevelDetector
{
    float peakEnvelope = 0.0f;
    float meanSquare = 0.0f;
    float fast = 0.0f;
    float slow = 0.0f;
    float gainReduction = 0.0f;

    void reset() noexcept { *this = LevelDetector{}; }

    // x is the largest absolute sample of the frame; returns the gain reduction in dB.
    // audio thread
    float step(float x, const DetectorCoefficients& c, const DetectorControls& k) noexcept
    {
        peakEnvelope = x > peakEnvelope ? x : x + (peakEnvelope - x) * c.peakRelease;
        meanSquare = x * x * (1.0f - c.rms) + c.rms * meanSquare;

        float level;
        if (k.peakShare >= 1.0f)
            level = amplitudeDb(peakEnvelope);
        else if (k.peakShare <= 0.0f)
            level = powerDb(meanSquare);
        else
            level = (1.0f - k.peakShare) * powerDb(meanSquare) + k.peakShare * amplitudeDb(peakEnvelope);

        const float over = level - k.threshold;
        float factor = 1.0f;
        if (k.fetFlag > 0.0f)
            factor += k.fetFlag * 0.6f * std::exp(-std::max(over, 0.0f) * (1.0f / 6.0f));
        if (k.optoFlag > 0.0f)
            factor += k.optoFlag * 0.4f * std::clamp(gainReduction * 0.1f, 0.0f, 1.0f);
        const float target = gainComputer(over, k.ratio * factor, k.knee);

        fast = target + (fast - target) * (target > fast ? c.attack : c.release);
        const float half = target * 0.5f;
        slow = half + (slow - half) * (slow < half ? c.slowAttack : c.slowRelease);
        gainReduction = std::max(slow * k.slowWeight, fast);
        return gainReduction;
    }
};

} // namespace orlix
