#include "engine/Loudness.h"

#include <algorithm>
#include <cmath>

namespace orlix::loudness
{

KWeighting::KWeighting(double sampleRate)
{
    {
        const double k = std::tan(5284.078578647624 / sampleRate);
        const double q = 0.7071752369554196;
        const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        shelf.b0 = (vh + vb * k / q + k * k) / a0;
        shelf.b1 = 2.0 * (k * k - vh) / a0;
        shelf.b2 = (vh - vb * k / q + k * k) / a0;
        shelf.a1 = 2.0 * (k * k - 1.0) / a0;
        shelf.a2 = (1.0 - k / q + k * k) / a0;
    }
    {
        const double k = std::tan(119.8061151453059 / sampleRate);
        const double q = 0.5003270373238773;
        const double a0 = 1.0 + k / q + k * k;
        highPass.b0 = 1.0;
        highPass.b1 = -2.0;
        highPass.b2 = 1.0;
        highPass.a1 = 2.0 * (k * k - 1.0) / a0;
        highPass.a2 = (1.0 - k / q + k * k) / a0;
    }
}

namespace
{
double loudnessOfPower(double power)
{
    return -0.691 + 10.0 * std::log10(std::max(power, 1e-15));
}

double meanOf(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return sum / (double)values.size();
}
} // namespace

double gatedLoudness(const std::vector<double>& blockPowers)
{
    std::vector<double> kept;
    for (double p : blockPowers)
        if (loudnessOfPower(p) > -70.0)
            kept.push_back(p);
    if (kept.empty())
        return -100.0;
    const double absoluteGated = loudnessOfPower(meanOf(kept));
    std::vector<double> loud;
    for (double p : kept)
        if (loudnessOfPower(p) > absoluteGated - 10.0)
            loud.push_back(p);
    return loud.empty() ? absoluteGated : loudnessOfPower(meanOf(loud));
}

float integratedLoudness(const float* const* channels, int numChannels, int length, double sampleRate)
{
    if (channels == nullptr || numChannels <= 0 || length <= 0 || !(sampleRate > 0.0))
        return -100.0f;
    for (int ch = 0; ch < numChannels; ++ch)
        if (channels[ch] == nullptr)
            return -100.0f;
    const int window = (int)std::floor(0.4 * sampleRate);
    if (window <= 0 || window > length)
        return -100.0f;
    const int hop = std::max(1, window / 4);

    std::vector<KWeighting> filters((size_t)numChannels, KWeighting(sampleRate));
    std::vector<double> ring((size_t)window, 0.0);
    std::vector<double> blockPowers;
    blockPowers.reserve((size_t)((length - window) / hop + 1));
    double runningSum = 0.0;
    for (int i = 0; i < length; ++i)
    {
        double s = 0.0;
        for (int ch = 0; ch < numChannels; ++ch)
        {
            const double y = filters[(size_t)ch].process(channels[ch][i]);
            s += y * y;
        }
        auto& slot = ring[(size_t)(i % window)];
        runningSum += s - slot;
        slot = s;
        const int count = i + 1;
        if (count >= window && (count - window) % hop == 0)
        {
            // Re-sum now and then so the running sum cannot drift.
            if (blockPowers.size() % 64 == 63)
            {
                runningSum = 0.0;
                for (double v : ring)
                    runningSum += v;
            }
            blockPowers.push_back(std::max(runningSum, 0.0) / window);
        }
    }
    return (float)gatedLoudness(blockPowers);
}

float integratedLoudness(const std::vector<std::vector<float>>& channels, double sampleRate)
{
    if (channels.empty())
        return -100.0f;
    std::vector<const float*> pointers;
    size_t length = channels[0].size();
    for (const auto& c : channels)
    {
        pointers.push_back(c.data());
        length = std::min(length, c.size());
    }
    return integratedLoudness(pointers.data(), (int)pointers.size(), (int)length, sampleRate);
}

} // namespace orlix::loudness
