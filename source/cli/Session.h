#pragma once

#include "cli/AudioFiles.h"
#include "processor/OrlixAudioProcessor.h"

#include <functional>
#include <ostream>

namespace orlix::cli
{

struct RenderReport
{
    float gainReductionP95 = 0.0f;                     // dB, over 512-sample windows that reduce at all
    float loudnessIn = -100.0f, loudnessOut = -100.0f; // LUFS
    float samplePeakDb = -100.0f, truePeakDb = -100.0f;
    double realTimeFactor = 0.0;
};

// Drives the real processor the way a host does: prepares it, plays audio in
// host-sized blocks and runs its timer at least every 40 ms of audio.
class Session
{
public:
    using Progress = std::function<void(double fraction, const juce::String& label)>;

    Session(double sampleRate, int numChannels, int blockSize);

    // A parameter by id and the text a host user would type; false with a one-line error.
    bool applySetting(const juce::String& id, const juce::String& text, juce::String& error);
    bool loadState(const juce::File& file, juce::String& error);

    // Plays the audio before `listenStart` as a host would, then presses LEARN and
    // plays the stretch from `listenStart` to `listenEnd` (looping it) until the run
    // finishes. False when the material never reaches the counted length;
    // `countedSeconds` tells how far it got.
    bool learn(const juce::AudioBuffer<float>& audio, int listenStart, int listenEnd, double& countedSeconds,
               const Progress& progress);
    // Listens from the start of the audio.
    bool learn(const juce::AudioBuffer<float>& audio, double& countedSeconds, const Progress& progress)
    {
        return learn(audio, 0, audio.getNumSamples(), countedSeconds, progress);
    }
    void waitForDriveTable(double maxSeconds);

    // Latency-compensated render of the whole file: same length, aligned with the input.
    juce::AudioBuffer<float> render(const juce::AudioBuffer<float>& audio, RenderReport& report,
                                    const Progress& progress);

    OrlixAudioProcessor processor;

private:
    void prepare();
    void playBlock(juce::AudioBuffer<float>& block);
    void playFrom(const juce::AudioBuffer<float>& audio, int start, int n, juce::AudioBuffer<float>& block);

    double sampleRate;
    int numChannels;
    int blockSize;
    int samplesSinceTick = 0;
};

} // namespace orlix::cli
