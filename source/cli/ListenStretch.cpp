#include "cli/ListenStretch.h"

#include "engine/Loudness.h"

#include <cmath>
#include <vector>

namespace orlix::cli
{

ListenStretch representativeStretch(const juce::AudioBuffer<float>& audio, double sampleRate, double seconds)
{
    ListenStretch whole;
    whole.end = audio.getNumSamples();
    const int length = audio.getNumSamples();
    const int stretch = (int)std::lround(seconds * sampleRate);
    // The 400 ms blocks with 75 % overlap of the loudness measurement, so that a
    // stretch's loudness is measured exactly as the file's is.
    const int window = (int)std::floor(0.4 * sampleRate);
    const int hop = std::max(1, window / 4);
    if (length <= 0 || window <= 0 || window > length)
        return whole;

    std::vector<loudness::KWeighting> filters((size_t)audio.getNumChannels(),
                                              loudness::KWeighting(sampleRate));
    std::vector<double> weighted((size_t)length, 0.0);
    for (int ch = 0; ch < audio.getNumChannels(); ++ch)
    {
        const float* x = audio.getReadPointer(ch);
        for (int i = 0; i < length; ++i)
        {
            const double y = filters[(size_t)ch].process(x[i]);
            weighted[(size_t)i] += y * y;
        }
    }
    std::vector<double> blockPowers;
    for (int start = 0; start + window <= length; start += hop)
    {
        double sum = 0.0;
        for (int i = start; i < start + window; ++i)
            sum += weighted[(size_t)i];
        blockPowers.push_back(sum / window);
    }
    whole.fileLoudness = whole.loudness = (float)loudness::gatedLoudness(blockPowers);
    if (stretch >= length || whole.fileLoudness <= -100.0f)
        return whole;

    const int blocksPerStretch = (stretch - window) / hop + 1;
    ListenStretch best = whole;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (size_t first = 0; first + (size_t)blocksPerStretch <= blockPowers.size(); ++first)
    {
        const int start = (int)first * hop;
        if (start + stretch > length)
            break;
        const std::vector<double> inside(blockPowers.begin() + (long)first,
                                         blockPowers.begin() + (long)first + blocksPerStretch);
        const double l = loudness::gatedLoudness(inside);
        const double distance = std::abs(l - whole.fileLoudness);
        if (l > -100.0 && distance < bestDistance)
        {
            bestDistance = distance;
            best.start = start;
            best.end = start + stretch;
            best.loudness = (float)l;
        }
    }
    return best;
}

} // namespace orlix::cli
