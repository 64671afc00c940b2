#pragma once

#include "processor/OrlixAudioProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <vector>

namespace testsupport
{

// Counts the change gestures a host would see.
struct GestureCounter : juce::AudioProcessorListener
{
    int begun = 0, ended = 0, changes = 0;
    void audioProcessorParameterChanged(juce::AudioProcessor*, int, float) override { ++changes; }
    void audioProcessorChanged(juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin(juce::AudioProcessor*, int) override { ++begun; }
    void audioProcessorParameterChangeGestureEnd(juce::AudioProcessor*, int) override { ++ended; }
};

// Plays audio through a processor in host-sized blocks and runs its timer as a
// host's message thread would: at least one tick per 40 ms of audio, so the
// Learn capture never overflows.
class HostSimulation
{
public:
    explicit HostSimulation(OrlixAudioProcessor& p, double rate = 48000.0, int channels = 2,
                            int blockSize = 512)
        : processor(p), sampleRate(rate), numChannels(channels), block(channels, blockSize)
    {
        processor.setPlayConfigDetails(channels, channels, rate, blockSize);
        processor.prepareToPlay(rate, blockSize);
    }

    // Plays `left`/`right` (right may be empty for mono) and returns the processed first channel.
    std::vector<float> play(const std::vector<float>& left, const std::vector<float>& right = {})
    {
        std::vector<float> out;
        out.reserve(left.size());
        juce::MidiBuffer midi;
        const int n = block.getNumSamples();
        for (size_t start = 0; start + (size_t)n <= left.size(); start += (size_t)n)
        {
            block.copyFrom(0, 0, left.data() + start, n);
            if (numChannels > 1)
                block.copyFrom(1, 0, (right.empty() ? left : right).data() + start, n);
            processor.processBlock(block, midi);
            out.insert(out.end(), block.getReadPointer(0), block.getReadPointer(0) + n);
            samplesSinceTick += n;
            if (samplesSinceTick >= (int)(0.04 * sampleRate) - n)
                tick();
        }
        return out;
    }

    void tick()
    {
        processor.timerTick();
        samplesSinceTick = 0;
    }

    // Presses LEARN and plays the material in a loop until the run ends (or the limit).
    bool learn(const std::vector<float>& left, const std::vector<float>& right = {}, double maxSeconds = 60.0)
    {
        processor.learn().setLearnRequested(true);
        double played = 0.0;
        while (processor.learn().isLearnRequested() && played < maxSeconds)
        {
            play(left, right);
            played += (double)left.size() / sampleRate;
        }
        return !processor.learn().isLearnRequested();
    }

    // Chooses the SOURCE, learns on the material and lets the timer publish the result.
    bool learnAs(orlix::Source source, const std::vector<float>& material)
    {
        auto* prm = processor.getParameterState().getParameter(orlix::parameterId(orlix::pSource));
        prm->setValueNotifyingHost(prm->convertTo0to1((float)source));
        tick();
        const bool finished = learn(material);
        tick();
        return finished;
    }

    // Runs timer ticks (no audio) until the drive level table has arrived.
    bool waitForDriveEq(double seconds = 120.0)
    {
        const auto until = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
        while (processor.learn().isDriveEqPending() && juce::Time::getMillisecondCounterHiRes() < until)
        {
            tick();
            juce::Thread::sleep(10);
        }
        return !processor.learn().isDriveEqPending();
    }

    OrlixAudioProcessor& processor;
    double sampleRate;
    int numChannels;
    juce::AudioBuffer<float> block;
    int samplesSinceTick = 0;
};

inline void setParameter(OrlixAudioProcessor& p, orlix::ParameterIndex index, float value)
{
    auto* prm = p.getParameterState().getParameter(orlix::parameterId(index));
    prm->setValueNotifyingHost(prm->convertTo0to1(value));
}

// An editor edit: one gesture around one parameter change.
inline void editParameter(OrlixAudioProcessor& p, orlix::ParameterIndex index, float value)
{
    p.undoHistory().beginUndoGesture();
    setParameter(p, index, value);
    p.undoHistory().commitUndoGesture();
    p.undoHistory().endUndoGesture();
}

} // namespace testsupport
