#pragma once

#include "engine/EngineSettings.h"

#include <array>

namespace orlix
{

// The parsed make-up histogram, make-up curves and drive level table of the
// stored Learn result: what the audio thread needs of it, in a fixed-size record.
struct LearnCurves
{
    bool valid = false;

    bool histogramValid = false;
    std::array<float, makeupHistogramBins> histogramWeight{};
    std::array<float, makeupHistogramBins> histogramValue{};

    bool curvesValid = false;
    std::array<std::array<float, makeupCurvePoints>, 3> curveX{}; // OPTO, FET, VCA
    std::array<std::array<float, makeupCurvePoints>, 3> curveY{};

    bool driveEqValid = false;
    std::array<std::array<float, 5>, numDriveTypes> driveEq{}; // column 0 is always 0 dB
};

} // namespace orlix
