#pragma once

#include "support/Signals.h"

namespace testsupport
{

// Programme-like stereo material: a drum loop under a sustained chord, the drums a little
// louder on the left, so a compressor keeps working and the mid and side both carry signal.
inline juce::AudioBuffer<float> programme(double sampleRate, double seconds)
{
    const auto drums = drumLoop(sampleRate, seconds, 124.0, 0.9f);
    const auto chord = sustainedChord(sampleRate, seconds, 0.35f);
    std::vector<float> left(drums.size()), right(drums.size());
    for (size_t i = 0; i < drums.size(); ++i)
    {
        left[i] = drums[i] + chord[i];
        right[i] = 0.8f * drums[i] + chord[i];
    }
    return toBuffer(left, right);
}

} // namespace testsupport
