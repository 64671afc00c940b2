#pragma once

#include "processor/MeterHistory.h"
#include "processor/TruePeakDetector.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <vector>

namespace orlix
{

// What the window shows of the audio: input and output sample peaks, the
// gain reduction, the true-peak clip flags and the 10 ms history. The audio
// thread raises the cells twice a block (input, output); the editor takes them.
class Metering
{
public:
    // Sizes the detectors and clears the cells and flags; the history is
    // cleared only when its frame length changes with the rate.
    void prepare(double sampleRate, int numChannels);
    void releaseResources() noexcept { meterHistory.clear(); }
    void noteReset(double nowMs) noexcept { meterHistory.noteReset(nowMs); }

    // audio thread: the input, before the engine; returns its sample peak.
    float meterInput(const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    // audio thread: the output, its gain reduction, and the history frames.
    void meterOutput(const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples, float inputPeak,
                     float gainReduction, double nowMs) noexcept;

    // The editor takes the largest value raised since it last looked.
    float takeInputPeak() noexcept { return meterInputPeak.exchange(0.0f); }
    float takeOutputPeak() noexcept { return meterOutputPeak.exchange(0.0f); }
    float takeGainReduction() noexcept { return meterGainReduction.exchange(0.0f); }

    bool inputClipped() const noexcept { return inputClip.load(); }
    bool outputClipped() const noexcept { return outputClip.load(); }
    void clearClipFlags() noexcept
    {
        inputClip = false;
        outputClip = false;
    }

    const MeterHistory& history() const noexcept { return meterHistory; }
    void clearHistory() noexcept { meterHistory.clear(); }

private:
    // One look at each channel: its sample peak (the largest is returned) and, from it,
    // whether its true peak can reach full scale. The flag rises when it does and stays
    // until the editor clears it, so meanwhile only the detectors' history is kept.
    static float meterPoint(std::vector<TruePeakDetector>& detectors, std::atomic<bool>& flag,
                            const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    static void raise(std::atomic<float>& cell, float value) noexcept;

    std::vector<TruePeakDetector> inputTruePeak, outputTruePeak;
    std::atomic<float> meterInputPeak{0.0f}, meterOutputPeak{0.0f}, meterGainReduction{0.0f};
    std::atomic<bool> inputClip{false}, outputClip{false};
    MeterHistory meterHistory;
};

} // namespace orlix
