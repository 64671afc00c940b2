#pragma once

#include <algorithm>
#include <vector>

namespace orlix
{

// A fixed delay of `delay` samples for blocks of up to `maxBlock` samples, one
// history per channel, processed in place with block copies.
class DelayLine
{
public:
    void prepare(int numChannels, int delaySamples, int maxBlock)
    {
        delay = delaySamples;
        histories.assign((size_t)numChannels, std::vector<float>((size_t)delaySamples, 0.0f));
        scratch.assign((size_t)(delaySamples + maxBlock), 0.0f);
    }

    void clear() noexcept
    {
        for (auto& history : histories)
            std::fill(history.begin(), history.end(), 0.0f);
    }

    int getDelay() const noexcept { return delay; }
    int numChannels() const noexcept { return (int)histories.size(); }

    // audio thread
    void process(float* const* channels, int numChannelsToProcess, int n) noexcept
    {
        if (delay == 0)
            return;
        for (int ch = 0; ch < numChannelsToProcess && ch < (int)histories.size(); ++ch)
        {
            // [history | block] holds the block delayed at its start and the next history at its end.
            float* x = channels[ch];
            auto& history = histories[(size_t)ch];
            std::copy(history.begin(), history.end(), scratch.begin());
            std::copy(x, x + n, scratch.begin() + delay);
            std::copy(scratch.begin(), scratch.begin() + n, x);
            std::copy(scratch.begin() + n, scratch.begin() + n + delay, history.begin());
        }
    }

private:
    std::vector<std::vector<float>> histories;
    std::vector<float> scratch;
    int delay = 0;
};

} // namespace orlix
