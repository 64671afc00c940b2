#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

namespace testsupport
{

// 32 bits are written as floating point, fewer as integers.
inline bool writeWav(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                     int bits = 32)
{
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream>(file);
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(
        wav.createWriterFor(stream.get(), sampleRate, (unsigned int)audio.getNumChannels(), bits, {}, 0));
    if (writer == nullptr)
        return false;
    stream.release();
    return writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples());
}

inline juce::AudioBuffer<float> readWav(const juce::File& file, double* sampleRate = nullptr)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(
        wav.createReaderFor(file.createInputStream().release(), true));
    juce::AudioBuffer<float> audio;
    if (reader == nullptr)
        return audio;
    audio.setSize((int)reader->numChannels, (int)reader->lengthInSamples);
    reader->read(&audio, 0, (int)reader->lengthInSamples, 0, true, true);
    if (sampleRate != nullptr)
        *sampleRate = reader->sampleRate;
    return audio;
}

} // namespace testsupport
