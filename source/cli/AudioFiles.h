#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <optional>

namespace orlix::cli
{

struct AudioFile
{
    juce::AudioBuffer<float> audio;
    double sampleRate = 0.0;
};

// Reads a WAV or AIFF file, mono or stereo, at 8 kHz or more. On failure the
// error says what is wrong with the file, in one line.
std::optional<AudioFile> readAudioFile(const juce::File& file, juce::String& error);

enum class SampleFormat
{
    pcm24,
    float32
};

// Writes a WAV file through a temporary file in the same folder, renamed only
// when complete; refuses to replace an existing file unless `overwrite`.
bool writeAudioFile(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                    SampleFormat format, bool overwrite, juce::String& error);

// Writes bytes the same way.
bool writeFileAtomically(const juce::File& file, const juce::MemoryBlock& data, bool overwrite,
                         juce::String& error);

// Refuses early, before any work, when an output may not be written.
bool checkOutputWritable(const juce::File& file, bool overwrite, juce::String& error);

} // namespace orlix::cli
