#include "cli/DemoProgramme.h"

#include <cmath>

namespace orlix::cli
{
namespace
{
constexpr double demoRate = 48000.0;
} // namespace

AudioFile demoProgramme()
{
    const int length = (int)(demoRate * 12.0);
    const int beat = (int)(demoRate * 0.5);
    const double pi2 = 2.0 * juce::MathConstants<double>::pi;
    const double bassNotes[] = {55.0, 55.0, 65.41, 73.42};
    juce::Random random(20261209);
    AudioFile file;
    file.sampleRate = demoRate;
    file.audio.setSize(2, length);
    file.audio.clear();
    for (int i = 0; i < length; ++i)
    {
        const int inBeat = i % beat;
        const int beatIndex = i / beat;
        const double t = inBeat / demoRate;
        const bool kick = beatIndex % 2 == 0;
        const double drum =
            kick ? 0.9 * std::sin(pi2 * 50.0 * t * (1.0 + 2.0 * std::exp(-t / 0.02))) * std::exp(-t / 0.18)
                 : 0.5 * (random.nextFloat() * 2.0 - 1.0) * std::exp(-t / 0.06);
        const double hat = (i % (beat / 2)) < 2000 ? 0.12 * (random.nextFloat() * 2.0 - 1.0) *
                                                         std::exp(-(i % (beat / 2)) / demoRate / 0.01)
                                                   : 0.0;
        const double note = bassNotes[(beatIndex / 2) % 4];
        const double bass =
            0.16 * std::tanh(2.0 * std::sin(pi2 * note * i / demoRate)) * (0.6 + 0.4 * std::exp(-t / 0.3));
        file.audio.setSample(0, i, (float)(0.8 * (drum + 0.9 * hat + bass)));
        file.audio.setSample(1, i, (float)(0.8 * (drum + 1.1 * hat + bass)));
    }
    return file;
}

} // namespace orlix::cli
