#pragma once

#include "engine/DriveEqWorker.h"
#include "engine/DynamicsEngine.h"
#include "learn/LearnSession.h"
#include "processor/LiveProcessorCount.h"
#include "processor/Metering.h"
#include "processor/ParameterLayout.h"
#include "state/LearnCurves.h"
#include "state/PluginState.h"
#include "state/UndoHistory.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <memory>

// The plug-in instance: the framework's callbacks, the road of one audio
// block, and the subsystems it owns. Learn, state, undo and metering are
// objects of their own; this class wires them to the host.
class OrlixAudioProcessor : public juce::AudioProcessor, private juce::Timer
{
public:
    OrlixAudioProcessor();
    ~OrlixAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override { return "Orlix"; }
    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void releaseResources() override;
    void processBlock(juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;
    void reset() override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    juce::AudioProcessorParameter* getBypassParameter() const override { return bypassParameter; }
    bool hasEditor() const override { return true; }
    juce::AudioProcessorEditor* createEditor() override;
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override { return "Default"; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock& destData) override
    {
        pluginState.getStateInformation(destData);
    }
    void setStateInformation(const void* data, int sizeInBytes) override
    {
        pluginState.setStateInformation(data, sizeInBytes);
    }
    bool isBusesLayoutSupported(const BusesLayout& layouts) const override;

    //==============================================================================
    // What the 40 ms timer does; hosts' message threads and tools call it through the timer.
    void timerTick();

    juce::AudioProcessorValueTreeState& getParameterState() noexcept { return parameters; }
    orlix::PluginState& state() noexcept { return pluginState; }
    const orlix::PluginState& state() const noexcept { return pluginState; }
    orlix::UndoHistory& undoHistory() noexcept { return history; }
    orlix::LearnSession& learn() noexcept { return learnSession; }
    const orlix::LearnSession& learn() const noexcept { return learnSession; }
    orlix::Metering& metering() noexcept { return meters; }
    const orlix::DynamicsEngine& getEngine() const noexcept { return engine; }

private:
    void timerCallback() override { timerTick(); }

    // Declared first so that it is destroyed last (see CountedInstance).
    orlix::CountedInstance countedInstance;
    std::shared_ptr<std::atomic<int>> cachedSource = std::make_shared<std::atomic<int>>(0);
    juce::AudioProcessorValueTreeState parameters;
    juce::AudioProcessorParameter* bypassParameter = nullptr;

    orlix::PluginState pluginState;
    orlix::UndoHistory history;
    orlix::Metering meters;
    orlix::DynamicsEngine engine;
    orlix::LearnCurves audioLearnCurves; // the audio thread's copy

    double tailSampleRate = 44100.0;
    double preparedSampleRate = 0.0;
    int preparedChannels = 0;
    int engineLatency = 0;

    // The worker computes on copies of its own; the destructor stops it first.
    orlix::DriveEqWorker driveEqWorker;
    orlix::LearnSession learnSession{pluginState, history, driveEqWorker};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(OrlixAudioProcessor)
};
