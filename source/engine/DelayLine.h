#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

namespace orlix
{

// A fixed delay of `delay` samples for blocks of up to `maxBlock`, one buffer per channel that
// keeps the last `delay` samples ahead of the block. A block is written at input(), read back
// delayed at output() (the history, then the block's own start), and advance() keeps its tail
// as the next history: the block itself never moves.
class DelayLine
{
public:
    void prepare(int numChannels, int delaySamples, int maxBlock)
    {
        delay = std::max(delaySamples, 0);
        buffers.assign((size_t)std::max(numChannels, 0), std::vector<float>((size_t)(delay + maxBlock), 0.0f));
    }

    void clear() noexcept
    {
        for (auto& buffer : buffers)
            std::fill(buffer.begin(), buffer.end(), 0.0f);
    }

    int getDelay() const noexcept { return delay; }
    int numChannels() const noexcept { return (int)buffers.size(); }

    // audio thread
    float* input(int channel) noexcept { return buffers[(size_t)channel].data() + delay; }
    const float* output(int channel) const noexcept { return buffers[(size_t)channel].data(); }

    // audio thread: after a block of n samples, written to the first numChannelsWritten channels.
    void advance(int numChannelsWritten, int n) noexcept
    {
        if (delay == 0 || n <= 0)
            return;
        for (int ch = 0; ch < numChannelsWritten && ch < (int)buffers.size(); ++ch)
        {
            float* buffer = buffers[(size_t)ch].data();
            std::memmove(buffer, buffer + n, (size_t)delay * sizeof(float));
        }
    }

private:
    std::vector<std::vector<float>> buffers;
    int delay = 0;
};

} // namespace orlix
