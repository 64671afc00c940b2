#pragma once

#include <array>

namespace orlix
{

// Drive amounts (percent) of the drive level table's columns.
inline constexpr std::array<float, 5> driveEqColumns{0.0f, 10.0f, 25.0f, 50.0f, 100.0f};

inline constexpr int makeupHistogramBins = 81;
inline constexpr int makeupCurvePoints = 13;
inline constexpr int numDriveTypes = 4;

// The per-block settings record of the engine; a plain value type.
struct EngineSettings
{
    float thresholdDb = -18.0f;
    float ratio = 4.0f;
    float attackMs = 10.0f;
    float releaseMs = 200.0f;
    float kneeDb = 6.0f;
    float mix = 1.0f;
    float outputDb = 0.0f;
    bool autoMakeup = true;
    bool autoRelease = false;
    int character = 3;

    bool learnCurvesPresent = false;
    bool histogramValid = false;
    std::array<float, makeupHistogramBins> histogramWeight{};
    std::array<float, makeupHistogramBins> histogramCrest{};
    bool curveValid = false;
    std::array<float, makeupCurvePoints> curveX{};
    std::array<float, makeupCurvePoints> curveY{};

    bool driveOn = false;
    float driveAmount = 0.0f;
    int driveType = 0;
    bool driveEqValid = false;
    std::array<std::array<float, 5>, numDriveTypes> driveEq{};
};

} // namespace orlix
