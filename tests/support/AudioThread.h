#pragma once

#include "processor/OrlixAudioProcessor.h"
#include "support/Signals.h"

#include <atomic>
#include <thread>

namespace testsupport
{

// A host's audio thread: drum blocks through the processor until stopped.
class AudioThread
{
public:
    explicit AudioThread(OrlixAudioProcessor& p, int blockSize = 256)
        : thread(
              [this, &p, blockSize]
              {
                  juce::AudioBuffer<float> block(2, blockSize);
                  juce::MidiBuffer midi;
                  const auto x = drumLoop(48000.0, blockSize / 48000.0);
                  while (!stopRequested)
                  {
                      for (int ch = 0; ch < 2; ++ch)
                          block.copyFrom(ch, 0, x.data(), blockSize);
                      p.processBlock(block, midi);
                      ++blocks;
                  }
              })
    {
    }

    ~AudioThread() { stop(); }

    void stop()
    {
        stopRequested = true;
        if (thread.joinable())
            thread.join();
    }

    std::atomic<int> blocks{0};

private:
    std::atomic<bool> stopRequested{false};
    std::thread thread;
};

} // namespace testsupport
