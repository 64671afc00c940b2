#pragma once

#include "learn/UntouchedPages.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <vector>

namespace orlix
{

// Values of the Learn phase flag shared by the timer and the audio thread.
enum LearnPhase
{
    learnPhaseIdle = 0,
    learnPhaseArmed = 1, // the audio thread must empty the FIFO before capturing
    learnPhaseCapturing = 2
};

// A run of consecutive samples waiting in the FIFO. The channel pointers are
// null when the FIFO keeps no channel copies (mono input).
struct CaptureRegion
{
    const float* mono = nullptr;
    const float* channel1 = nullptr;
    const float* channel2 = nullptr;
    int numSamples = 0;

    bool hasChannels() const noexcept { return channel1 != nullptr && channel2 != nullptr; }
};

// Carries Learn's input from the audio thread to the timer: one analysis sample
// per frame (the loudest of its channels) plus, for stereo input, channels 1 and
// 2 unchanged. The audio thread is the only writer and the timer the only
// reader; when the reader falls behind, the writer drops what does not fit
// instead of waiting.
class CaptureFifo
{
public:
    CaptureFifo();

    // Message thread: sizes the buffers for about a second of audio. Allocates,
    // but the memory becomes resident only in makeResident(): most instances never learn.
    void prepare(double sampleRate, int numInputChannels);

    // Message thread: makes every page of the buffers resident, so the audio thread never
    // faults on them. Call before arming the phase.
    void makeResident() noexcept { storage.touch(); }
    bool isResident() const noexcept { return storage.isTouched(); }

    // audio thread
    // Arms and fills the FIFO according to the phase; never allocates, locks or waits.
    void feed(const float* const* channels, int numChannels, int numSamples,
              std::atomic<int>& learnPhase) noexcept;

    // Message thread: hands every waiting sample to `consumeRegion` (called with
    // a CaptureRegion, oldest first) and frees the space. Call only while the
    // phase is capturing, so that the audio thread does not reset the positions.
    template <typename RegionConsumer> void drain(RegionConsumer&& consumeRegion)
    {
        while (fifo.getNumReady() > 0)
        {
            int start1 = 0, size1 = 0, start2 = 0, size2 = 0;
            fifo.prepareToRead(fifo.getNumReady(), start1, size1, start2, size2);
            if (size1 > 0)
                consumeRegion(regionAt(start1, size1));
            if (size2 > 0)
                consumeRegion(regionAt(start2, size2));
            fifo.finishedRead(size1 + size2);
        }
    }

    int getCapacity() const noexcept { return capacity; }
    int getNumReady() const noexcept { return fifo.getNumReady(); }
    bool keepsChannels() const noexcept { return channel1 != nullptr; }

private:
    CaptureRegion regionAt(int start, int size) const noexcept;
    bool stereoCaptureOn(int numChannels) const noexcept;
    void writeRegion(const float* const* channels, int numChannels, bool stereo, int blockOffset,
                     int fifoStart, int size) noexcept;

    juce::AbstractFifo fifo{1};
    UntouchedPages storage; // the mono samples, then (for stereo input) channels 1 and 2
    int capacity = 0;
    float* mono = nullptr;
    float* channel1 = nullptr;
    float* channel2 = nullptr;
};

} // namespace orlix
