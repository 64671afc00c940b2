#pragma once

#include "support/Programme.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace benchsupport
{

inline constexpr double comparisonRate = 48000.0;
inline constexpr int comparisonBlockSize = 512;

// Programme material peaking near -2 dBFS, the same for Orlix and its peer: the
// input clip light never latches, so the true-peak detector keeps working on
// every loud block.
inline const juce::AudioBuffer<float>& comparisonProgramme()
{
    static const auto buffer = []
    {
        auto b = testsupport::programme(comparisonRate, 10.0);
        b.applyGain(0.8f / b.getMagnitude(0, b.getNumSamples()));
        return b;
    }();
    return buffer;
}

// Copies the next block of the programme into `block`, looping.
inline void nextComparisonBlock(juce::AudioBuffer<float>& block, int& position)
{
    const auto& input = comparisonProgramme();
    if (position + comparisonBlockSize > input.getNumSamples())
        position = 0;
    for (int ch = 0; ch < 2; ++ch)
        block.copyFrom(ch, 0, input, ch, position, comparisonBlockSize);
    position += comparisonBlockSize;
}

} // namespace benchsupport
