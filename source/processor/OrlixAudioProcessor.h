#pragma once

#include "engine/DynamicsEngine.h"
#include "engine/EngineSettings.h"
#include "processor/MeterHistory.h"
#include "processor/ParameterLayout.h"
#include "processor/TruePeakDetector.h"
#include "state/LearnCurves.h"
#include "state/LearnTextFormats.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

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
    const juce::String getProgramName(int) override { return {}; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock& destData) override;
    void setStateInformation(const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported(const BusesLayout& layouts) const override;

    //==============================================================================
    // Meter hand-over to the editor: the audio thread only raises the cells,
    // the editor takes them with an exchange against 0.
    float takeInputPeak() noexcept { return meterInputPeak.exchange(0.0f); }
    float takeOutputPeak() noexcept { return meterOutputPeak.exchange(0.0f); }
    float takeGainReduction() noexcept { return meterGainReduction.exchange(0.0f); }
    const orlix::MeterHistory& history() const noexcept { return meterHistory; }
    void clearHistory() noexcept { meterHistory.clear(); }

    float rawParameter(orlix::ParameterIndex index) const noexcept { return rawParameters[(size_t)index]->load(); }

    juce::AudioProcessorValueTreeState& getParameterState() noexcept { return parameters; }

    // The engine settings of the current raw parameter values and these Learn curves.
    orlix::EngineSettings buildEngineSettings(const orlix::LearnCurves& curves) const noexcept;
    const orlix::DynamicsEngine& getEngine() const noexcept { return engine; }

    // Learn run requested by the editor; the compressor fades to dry while it is set.
    std::atomic<bool> learnRequested{false};
    // The character AUTO stands for: Learn's pick, 0 until Learn has run.
    std::atomic<int> cachedBaseCharacter{3};

    //==============================================================================
    // State: the live tree of `parameters` is the persisted state. stateLock
    // guards its Learn properties and is always taken before the tree's own lock.
    void applyStateTree(const juce::ValueTree& tree, bool fromHost);
    void publishLearnCurves();
    float currentParameterValue(orlix::ParameterIndex index) const; // denormalised

    juce::CriticalSection stateLock;
    int stateVersion = 1;
    std::atomic<int> stateLoadGeneration{0};
    std::atomic<int> learnRevision{0};
    std::atomic<bool> hostStateLoaded{false};
    orlix::TraceCache traceCache;

    std::atomic<bool> inputClip{false}, outputClip{false};

private:
    void timerCallback() override;
    void initialiseStateKeys();
    static float blockTruePeak(std::vector<orlix::TruePeakDetector>& detectors, const juce::AudioBuffer<float>& buffer,
                               int numChannels, int numSamples) noexcept;
    static float blockSamplePeak(const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    static void raise(std::atomic<float>& cell, float value) noexcept;

    std::shared_ptr<std::atomic<int>> cachedSource = std::make_shared<std::atomic<int>>(0);

public:
    juce::AudioProcessorValueTreeState parameters;

private:
    std::array<std::atomic<float>*, orlix::numParameters> rawParameters{};
    juce::AudioProcessorParameter* bypassParameter = nullptr;

    orlix::DynamicsEngine engine;
    orlix::LearnCurves audioLearnCurves;
    orlix::LearnCurves publishedLearnCurves;
    juce::SpinLock learnCurvesBusy;

    std::vector<orlix::TruePeakDetector> inputTruePeak, outputTruePeak;
    std::atomic<float> meterInputPeak{0.0f}, meterOutputPeak{0.0f}, meterGainReduction{0.0f};
    orlix::MeterHistory meterHistory;

    double tailSampleRate = 44100.0;
    double preparedSampleRate = 0.0;
    int preparedChannels = 0;
    int engineLatency = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(OrlixAudioProcessor)
};
