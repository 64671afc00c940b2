#pragma once

#include <algorithm>
#include <vector>

namespace orlix
{

// A fixed delay of `delay` samples for blocks of any length, one history per
// channel, processed in place with block copies.
class DelayLine
{
public:
    void prepare(int numChannels, int delaySamples)
    {
        delay = delaySamples;
        histories.assign((size_t)numChannels, std::vector<float>((size_t)delaySamples, 0.0f));
        nextHistory.assign((size_t)delaySamples, 0.0f);
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
        if (delay == 0 || n <= 0)
            return;
        for (int ch = 0; ch < numChannelsToProcess && ch < (int)histories.size(); ++ch)
        {
            float* x = channels[ch];
            auto& history = histories[(size_t)ch];
            if (n >= delay)
            {
                // The block's last `delay` samples are the next history; the rest moves up
                // by `delay` and the old history fills the front.
                std::copy(x + n - delay, x + n, nextHistory.begin());
                std::copy_backward(x, x + n - delay, x + n);
                std::copy(history.begin(), history.end(), x);
            }
            else
            {
                // A block shorter than the delay comes wholly out of the history.
                std::copy(history.begin() + n, history.end(), nextHistory.begin());
                std::copy(x, x + n, nextHistory.begin() + (delay - n));
                std::copy(history.begin(), history.begin() + n, x);
            }
            history.swap(nextHistory);
        }
    }

private:
    std::vector<std::vector<float>> histories;
    std::vector<float> nextHistory; // swapped with a channel's history: no copy back
    int delay = 0;
};

} // namespace orlix
