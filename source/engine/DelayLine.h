#pragma once

#include <vector>

namespace orlix
{

// A fixed delay of `delay` samples for blocks of up to `maxBlock` samples,
// one ring per channel, processed in place.
class DelayLine
{
public:
    void prepare(int numChannels, int delaySamples, int maxBlock)
    {
        delay = delaySamples;
        size = delaySamples + maxBlock + 1;
        rings.assign((size_t)numChannels, std::vector<float>((size_t)size, 0.0f));
        writeIndex = 0;
    }

    void clear() noexcept
    {
        for (auto& ring : rings)
            std::fill(ring.begin(), ring.end(), 0.0f);
    }

    int getDelay() const noexcept { return delay; }
    int numChannels() const noexcept { return (int)rings.size(); }

    // Delays the first numChannels channels; all channels share one write position,
    // so call it once per block with every channel (or advance() for idle ones).
    // audio thread
    void process(float* const* channels, int numChannelsToProcess, int n) noexcept
    {
        if (delay == 0)
            return;
        for (int ch = 0; ch < numChannelsToProcess && ch < (int)rings.size(); ++ch)
        {
            float* ring = rings[(size_t)ch].data();
            float* x = channels[ch];
            int w = writeIndex;
            int r = writeIndex - delay;
            if (r < 0)
                r += size;
            for (int i = 0; i < n; ++i)
            {
                ring[w] = x[i];
                x[i] = ring[r];
                if (++w == size)
                    w = 0;
                if (++r == size)
                    r = 0;
            }
        }
        writeIndex = (writeIndex + n) % size;
    }

private:
    std::vector<std::vector<float>> rings;
    int delay = 0;
    int size = 1;
    int writeIndex = 0;
};

} // namespace orlix
