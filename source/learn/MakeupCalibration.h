#pragma once

#include "engine/EngineSettings.h"
#include "learn/LearnMapping.h"
#include "state/LearnStatistics.h"
#include "state/LearnTextFormats.h"

#include <juce_core/juce_core.h>

#include <array>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

namespace orlix::calibration
{

// How the material's K-weighted energy spreads over 1 dB bins of block RMS
// level, with the energy-weighted crest factor of each bin.
struct MakeupHistogram
{
    bool valid = false;
    HistogramBins weights{};
    HistogramBins values{};
};

struct MakeupCurve
{
    bool valid = false;
    MakeupCurvePoints points;
};

struct CalibrationTexts
{
    juce::String histogram;
    juce::String curves; // empty unless all three curves are valid
};

inline constexpr std::array<float, 12> thresholdOffsets{-18.0f, -12.0f, -9.0f, -6.0f, -4.0f, -2.0f,
                                                        0.0f,   2.0f,   4.0f,  6.0f,  9.0f,  12.0f};

MakeupHistogram buildMakeupHistogram(const std::vector<float>& samples, double sampleRate);

// What one character's curve is computed from; nobody changes it while the curves are built.
struct CalibrationContext
{
    const LearnResult& result;
    const LearnStatistics& stats;
    const std::vector<float>& captured;
    double sampleRate;
    const MakeupHistogram& histogram;
};

MakeupCurve buildMakeupCurve(int character, const CalibrationContext& context);

// The engine settings of a learned result with another character.
EngineSettings learnedSettings(const LearnResult& result, int character);
// The engine's own prediction from the histogram (its make-up before the curve).
float histogramPrediction(const EngineSettings& settings, const MakeupHistogram& histogram);
float traceLoudnessDrop(const LearnStatistics& stats, const EngineSettings& settings);
bool engineLoudnessDrop(const EngineSettings& settings, const std::vector<float>& captured, double sampleRate,
                        float& drop);

// Starts a thread running the work; throws (std::system_error, as std::thread
// does) when none can be started.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;
std::thread startThread(std::function<void()> work);

// The whole calibration: histogram and the three curves (two of them on their
// own threads, joined before returning). Nothing when the histogram is invalid,
// or when a thread could not be started: the calibration is then unavailable
// and the engine makes up by its plain estimate.
std::optional<CalibrationTexts> runCalibration(const LearnResult& result, const LearnStatistics& stats,
                                               const std::vector<float>& captured, double sampleRate,
                                               const ThreadStarter& starter = startThread);

} // namespace orlix::calibration
