#include "processor/Metering.h"

#include <cmath>

namespace orlix
{
namespace
{
// A true peak this close to full scale lights the clip light.
constexpr float clipLevel = 0.999f;
} // namespace

void Metering::prepare(double sampleRate, int numChannels)
{
    const int hop = std::max(1, (int)std::lround(sampleRate * 0.01));
    if (hop != meterHistory.getHop())
    {
        meterHistory.setHop(hop);
        meterHistory.clear();
    }
    inputTruePeak.assign((size_t)numChannels, TruePeakDetector{});
    outputTruePeak.assign((size_t)numChannels, TruePeakDetector{});
    meterInputPeak = 0.0f;
    meterOutputPeak = 0.0f;
    meterGainReduction = 0.0f;
    clearClipFlags();
}

void Metering::raise(std::atomic<float>& cell, float value) noexcept
{
    float current = cell.load();
    while (value > current && !cell.compare_exchange_weak(current, value))
    {
    }
}

float Metering::meterPoint(std::vector<TruePeakDetector>& detectors, std::atomic<bool>& flag,
                           const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept
{
    float peak = 0.0f;
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const float* x = buffer.getReadPointer(ch);
        const float channelPeak = TruePeakDetector::largestMagnitude(x, numSamples);
        peak = std::max(peak, channelPeak);
        if (ch >= (int)detectors.size())
            continue;
        auto& detector = detectors[(size_t)ch];
        if (flag.load(std::memory_order_relaxed))
            detector.skip(x, numSamples);
        else if (detector.reaches(x, numSamples, clipLevel, channelPeak))
            flag = true;
    }
    return peak;
}

float Metering::meterInput(const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept
{
    const float peak = meterPoint(inputTruePeak, inputClip, buffer, numChannels, numSamples);
    raise(meterInputPeak, peak);
    return peak;
}

// audio thread
void Metering::meterOutput(const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples,
                           float inputPeak, float gainReduction, double nowMs) noexcept
{
    const float peak = meterPoint(outputTruePeak, outputClip, buffer, numChannels, numSamples);
    raise(meterOutputPeak, peak);
    raise(meterGainReduction, gainReduction);
    meterHistory.write(numSamples, inputPeak, peak, gainReduction, nowMs);
}

} // namespace orlix
