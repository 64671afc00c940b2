#pragma once

#include "engine/DriveEqWorker.h"
#include "learn/LearnSession.h"
#include "processor/ParameterLayout.h"
#include "state/PluginState.h"
#include "state/StateIds.h"
#include "state/UndoHistory.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <vector>

namespace testsupport
{

// The framework wants an audio processor to hold parameters; this one does
// nothing else.
class ParameterHost final : public juce::AudioProcessor
{
public:
    const juce::String getName() const override { return "parameter host"; }
    void prepareToPlay(double, int) override {}
    void releaseResources() override {}
    void processBlock(juce::AudioBuffer<float>&, juce::MidiBuffer&) override {}
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override { return {}; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock&) override {}
    void setStateInformation(const void*, int) override {}
};

// State, undo history and Learn of one instance, wired as the plug-in wires
// them but without its processor: the test plays the audio thread (capture)
// and the timer (tick) itself.
struct BareLearnRig
{
    BareLearnRig()
    {
        state.initialiseStateKeys();
        learn.prepare(rate, 2);
    }
    ~BareLearnRig() { worker.stop(); }

    void setParameter(orlix::ParameterIndex index, float value)
    {
        auto* parameter = parameters.getParameter(orlix::parameterId(index));
        parameter->setValueNotifyingHost(parameter->convertTo0to1(value));
    }

    // Requests a run and feeds the material (looped) in 512-sample blocks with
    // a tick every 40 ms of audio, until the run ends or the limit passes.
    bool learnFrom(const std::vector<float>& material, double maxSeconds = 60.0)
    {
        learn.setLearnRequested(true);
        learn.tick();
        const int block = 512;
        int sinceTick = 0;
        for (double played = 0.0; learn.isLearnRequested() && played < maxSeconds;)
            for (size_t start = 0; start + (size_t)block <= material.size() && learn.isLearnRequested();
                 start += (size_t)block)
            {
                const float* channels[2] = {material.data() + start, material.data() + start};
                learn.capture(channels, 2, block);
                played += block / rate;
                if ((sinceTick += block) >= (int)(0.04 * rate) - block)
                {
                    learn.tick();
                    sinceTick = 0;
                }
            }
        return !learn.isLearnRequested();
    }

    static constexpr double rate = 48000.0;
    ParameterHost host;
    std::shared_ptr<std::atomic<int>> source = std::make_shared<std::atomic<int>>(0);
    juce::AudioProcessorValueTreeState parameters{host, nullptr, orlix::ids::parametersType,
                                                  orlix::createParameterLayout(source)};
    orlix::PluginState state{parameters, source};
    orlix::UndoHistory undo{state};
    orlix::DriveEqWorker worker;
    orlix::LearnSession learn{state, undo, worker};
};

} // namespace testsupport
