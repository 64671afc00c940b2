#include "learn/CaptureFifo.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

namespace
{
// audio thread
// The signed sample with the largest magnitude across channels; the first
// channel wins ties, so silence and equal channels pick channel 1.
float loudestSample(const float* const* channels, int numChannels, int index) noexcept
{
    float loudest = channels[0][index];
    for (int c = 1; c < numChannels; ++c)
    {
        const float x = channels[c][index];
        if (std::abs(x) > std::abs(loudest))
            loudest = x;
    }
    return loudest;
}
} // namespace

CaptureFifo::CaptureFifo()
{
    prepare(0.0, 1);
}

void CaptureFifo::prepare(double sampleRate, int numInputChannels)
{
    const double rate = std::isfinite(sampleRate) ? std::floor(sampleRate) : 0.0;
    const int slots = (int)juce::jlimit(8192.0, (double)(1 << 30), rate);
    const bool stereo = numInputChannels >= 2;
    storage = UntouchedPages((size_t)slots * (stereo ? 3 : 1));
    capacity = slots;
    mono = storage.data();
    channel1 = stereo ? mono + slots : nullptr;
    channel2 = stereo ? mono + 2 * slots : nullptr;
    fifo.setTotalSize(slots);
}

bool CaptureFifo::stereoCaptureOn(int numChannels) const noexcept
{
    return numChannels >= 2 && keepsChannels();
}

// audio thread
void CaptureFifo::feed(const float* const* channels, int numChannels, int numSamples,
                       std::atomic<int>& learnPhase) noexcept
{
    if (learnPhase.load() == learnPhaseArmed)
    {
        // The timer does not read until it sees the capturing phase, so the
        // positions can be reset here without a race.
        fifo.reset();
        learnPhase.store(learnPhaseCapturing);
    }
    if (learnPhase.load() != learnPhaseCapturing || numChannels < 1 || numSamples < 1)
        return;

    int start1 = 0, size1 = 0, start2 = 0, size2 = 0;
    fifo.prepareToWrite(numSamples, start1, size1, start2, size2);
    const bool stereo = stereoCaptureOn(numChannels);
    writeRegion(channels, numChannels, stereo, 0, start1, size1);
    writeRegion(channels, numChannels, stereo, size1, start2, size2);
    fifo.finishedWrite(size1 + size2);
}

// audio thread
void CaptureFifo::writeRegion(const float* const* channels, int numChannels, bool stereo, int blockOffset,
                              int fifoStart, int size) noexcept
{
    for (int i = 0; i < size; ++i)
        mono[fifoStart + i] = loudestSample(channels, numChannels, blockOffset + i);
    if (!stereo)
        return;
    std::copy_n(channels[0] + blockOffset, size, channel1 + fifoStart);
    std::copy_n(channels[1] + blockOffset, size, channel2 + fifoStart);
}

CaptureRegion CaptureFifo::regionAt(int start, int size) const noexcept
{
    CaptureRegion region;
    region.mono = mono + start;
    region.numSamples = size;
    if (keepsChannels())
    {
        region.channel1 = channel1 + start;
        region.channel2 = channel2 + start;
    }
    return region;
}

} // namespace orlix
