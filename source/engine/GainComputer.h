#pragma once

#include "engine/CharacterModel.h"
#include "engine/EngineSettings.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orlix
{

// dB of a linear amplitude with the system's -100 dB floor.
// 20 log10(v) = (20 log10 2) log2(v): log2 is the cheaper function.
inline constexpr float dbPerOctaveOfAmplitude = 6.020599913f;

inline float amplitudeDb(float v) noexcept
{
    return v > 0.0f ? std::max(dbPerOctaveOfAmplitude * std::log2(v), -100.0f) : -100.0f;
}

// dB of a power (mean square) with the same floor.
inline float powerDb(float p) noexcept
{
    return p > 0.0f ? std::max(0.5f * dbPerOctaveOfAmplitude * std::log2(p), -100.0f) : -100.0f;
}

// Linear gain of a dB value; -100 dB or less is exactly 0.
inline float gainOfDb(float db) noexcept
{
    return db > -100.0f ? std::exp2(db / dbPerOctaveOfAmplitude) : 0.0f;
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

// The loss in mean power (dB) the compressor, mixed with the dry share, inflicts on
// material with the settings' make-up histogram; 0 without histogram weight.
float histogramLoudnessDrop(const EngineSettings& settings) noexcept;

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

// The same values as arrays over a run of samples, for the block detector. Each points to
// `n` values; the flags say what holds for the whole run, so the work can skip what is 0.
struct DetectorRamps
{
    const float* peakShare;
    const float* slowWeight;
    const float* optoFlag;
    const float* fetFlag;
    const float* knee;
    const float* ratio;
    const float* threshold;
    bool optoOff = false;        // the OPTO flag is 0 throughout
    bool fetOff = false;         // the FET flag is 0 throughout
    float constantShare = -1.0f; // the peak share when it holds still, else -1
    bool slowWeightOne = false;  // the slow path's weight is 1 throughout
};

// Scratch arrays the block detector works in, each at least as long as the run.
struct DetectorScratch
{
    float* envelope;
    float* meanSquare;
    float* level;
    float* target;
    float* scaledCurve; // OPTO only: the curve in units of the ratio's growth per dB of reduction
};

// Stereo-linked detector with the fast and slow (program-dependent) paths.
struct LevelDetector
{
    float peakEnvelope = 0.0f;
    float meanSquare = 0.0f;
    float fast = 0.0f;
    float slow = 0.0f;
    float gainReduction = 0.0f;

    // run() works in slices; the envelopes of the next run's first slice can be worked out
    // beside this run's last one and carried over.
    static constexpr int slice = 64;
    std::array<float, slice> carriedEnvelope{}, carriedMeanSquare{};
    int carried = 0;

    void reset() noexcept { *this = LevelDetector{}; }

    // x is the largest absolute sample of the frame; returns the gain reduction in dB.
    // audio thread
    float step(float x, const DetectorCoefficients& c, const DetectorControls& k) noexcept
    {
        peakEnvelope = x > peakEnvelope ? x : x + (peakEnvelope - x) * c.peakRelease;
        meanSquare = x * x * (1.0f - c.rms) + c.rms * meanSquare;

        const float over = level(k.peakShare) - k.threshold;
        float factor = 1.0f;
        if (k.fetFlag > 0.0f)
            factor +=
                k.fetFlag * 0.6f * (over > 0.0f ? std::exp2(over * (-1.0f / (6.0f * 0.693147181f))) : 1.0f);
        if (k.optoFlag > 0.0f)
            factor += k.optoFlag * 0.4f * std::clamp(gainReduction * 0.1f, 0.0f, 1.0f);
        const float target = gainComputer(over, k.ratio * factor, k.knee);

        fast = target + (fast - target) * (target > fast ? c.attack : c.release);
        const float half = target * 0.5f;
        slow = half + (slow - half) * (slow < half ? c.slowAttack : c.slowRelease);
        gainReduction = std::max(slow * k.slowWeight, fast);
        return gainReduction;
    }

    // The step above over a run of n sample frames, giving the same values to within rounding
    // (the logarithms are polynomials, and the recursions sum their terms in an order with
    // fewer dependent operations) in loops the compiler can vectorise: the envelopes, the
    // levels, the gain computer and the time behaviour each get their own pass, and only the
    // passes with a recursion stay sample by sample. Returns the largest reduction.
    // `following` (at most a slice) peak values after the n are the start of the next run:
    // their envelopes are carried to it, so it must come next, with the same coefficients.
    // audio thread
    float run(const float* peak, int n, const DetectorCoefficients& c, const DetectorRamps& k,
              const DetectorScratch& scratch, float* reduction, int following = 0) noexcept;

    // The detector level in dB: RMS and peak envelope blended by the peak share.
    float level(float peakShare) const noexcept
    {
        if (peakShare >= 1.0f)
            return amplitudeDb(peakEnvelope);
        if (peakShare <= 0.0f)
            return powerDb(meanSquare);
        // An even blend above both floors needs only one logarithm:
        // (10 log10 ms + 20 log10 env) / 2 = 5 log10 (ms env^2).
        if (!(peakShare < 0.5f) && !(peakShare > 0.5f) && meanSquare > 1e-10f && peakEnvelope > 1e-5f)
            return 0.25f * dbPerOctaveOfAmplitude * std::log2(meanSquare * peakEnvelope * peakEnvelope);
        return (1.0f - peakShare) * powerDb(meanSquare) + peakShare * amplitudeDb(peakEnvelope);
    }
};

} // namespace orlix
