#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace orlix::cli
{

// Where Learn listens in a file: samples [start, end).
struct ListenStretch
{
    int start = 0, end = 0;
    float loudness = -100.0f;     // of the stretch, LUFS
    float fileLoudness = -100.0f; // of the whole file, LUFS
};

// The stretch of `seconds` (the whole file when it is shorter) whose integrated
// loudness is closest to the whole file's: the part that sounds most like the file.
// Candidates start every 100 ms; the earliest of equally close stretches wins.
ListenStretch representativeStretch(const juce::AudioBuffer<float>& audio, double sampleRate,
                                    double seconds = 8.0);

} // namespace orlix::cli
