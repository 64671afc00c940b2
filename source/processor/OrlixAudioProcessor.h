#pragma once

#include "engine/DriveEqWorker.h"
#include "engine/DynamicsEngine.h"
#include "engine/EngineSettings.h"
#include "learn/CaptureFifo.h"
#include "learn/LearnAnalyzer.h"
#include "learn/LearnMapping.h"
#include "processor/LiveProcessorCount.h"
#include "processor/MeterHistory.h"
#include "processor/ParameterLayout.h"
#include "processor/TruePeakDetector.h"
#include "state/LearnCurves.h"
#include "state/LearnTextFormats.h"
#include "state/UndoHistory.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
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
    const juce::String getProgramName(int) override { return "Default"; }
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

    float rawParameter(orlix::ParameterIndex index) const noexcept
    {
        return rawParameters[(size_t)index]->load();
    }

    juce::AudioProcessorValueTreeState& getParameterState() noexcept { return parameters; }

    // The engine settings of the current raw parameter values and these Learn curves.
    orlix::EngineSettings buildEngineSettings(const orlix::LearnCurves& curves) const noexcept;
    const orlix::DynamicsEngine& getEngine() const noexcept { return engine; }

    // The character AUTO stands for: Learn's pick, 0 until Learn has run.
    std::atomic<int> cachedBaseCharacter{3};

    //==============================================================================
    // Learn. The editor sets learnRequested to start a run and clears it to
    // cancel; the compressor fades to dry while it is set. Everything else runs
    // on the message thread, driven by the 40 ms timer.
    void timerTick(); // what the timer does; hosts' message threads and tools call it through the timer
    bool setTargetFromMarker(float targetDb);
    int effectiveCharacter() const;
    const orlix::LearnResult& getLastLearnResult() const noexcept { return lastLearnResult; }
    const orlix::LearnStatistics& getLastLearnStatistics() const noexcept { return lastLearnStatistics; }

    std::atomic<bool> learnRequested{false};
    std::atomic<int> learnPhase{0};
    std::atomic<float> learnProgress{0.0f};
    std::atomic<bool> learnSignalLow{false};
    std::atomic<float> learnSecondsAnalysed{0.0f};
    std::atomic<bool> driveEqPending{false};
    std::atomic<int> driveEqLearnId{0};
    std::atomic<bool> targetAvailable{false}, targetEdited{false};
    std::atomic<float> shownTargetDb{0.0f}, learnedTargetDb{0.0f}, maxTargetDb{20.0f};
    bool isLearnListening() const noexcept { return learnListening; }

    // Optional observer of fixed points inside Learn and undo; nothing installs it in the plug-in.
    std::function<void(const juce::String&)> checkpointHook;

    //==============================================================================
    // Undo and redo of whole-state snapshots (message thread). An editor gesture
    // begins, changes parameters, commits, then ends.
    juce::ValueTree takeSnapshot();
    void beginUndoGesture();
    void commitUndoGesture();
    void discardUndoGesture();
    void endUndoGesture(); // one gesture closed; the last one drops the pending snapshot
    void pushUndo(juce::ValueTree snapshot);
    bool undo();
    bool redo();
    bool canUndo() const { return !undoHistory.undoStack.empty(); }
    bool canRedo() const { return !undoHistory.redoStack.empty(); }
    // What the editor's buttons show: the stacks after a host load has emptied them.
    bool canUndoAfterEpochCheck()
    {
        undoHistory.checkEpoch(stateLoadGeneration.load());
        return canUndo();
    }
    bool canRedoAfterEpochCheck()
    {
        undoHistory.checkEpoch(stateLoadGeneration.load());
        return canRedo();
    }
    bool restoreSnapshot(const juce::ValueTree& snapshot, int epoch);
    int gestureDepth = 0;
    const orlix::UndoHistory& getUndoHistory() const noexcept { return undoHistory; }

    //==============================================================================
    // State: the live tree of `parameters` is the persisted state. stateLock
    // guards its Learn properties and is always taken before the tree's own lock.
    void applyStateTree(const juce::ValueTree& tree, bool fromHost);
    void publishLearnCurves();
    float currentParameterValue(orlix::ParameterIndex index) const; // denormalised
    // What a parameter holds once this tree is live: its snapped "PARAM" value, else its default.
    float valueAfterLoad(const juce::ValueTree& tree, orlix::ParameterIndex index) const;

    juce::CriticalSection stateLock;
    int stateVersion = 1;
    std::atomic<int> stateLoadGeneration{0};
    std::atomic<int> learnRevision{0};
    std::atomic<bool> hostStateLoaded{false};
    orlix::TraceCache traceCache;

    std::atomic<bool> inputClip{false}, outputClip{false};

private:
    struct LearnedSnapshot
    {
        bool valid = false;
        bool hasTarget = false;
        int appliedCharacter = 0;
        int effectiveCharacter = 3;
        orlix::LearnStatistics stats;
        float storedTarget = 0.0f;
        int revision = 0;
        int learnId = 0;
    };

    void timerCallback() override;
    void initialiseStateKeys();
    bool stepThroughHistory(std::deque<juce::ValueTree>& from, std::deque<juce::ValueTree>& to,
                            const char* checkpointLabel);
    void checkpoint(const char* label) const;

    // Learn lifecycle steps (message thread).
    void collectDriveEqResult();
    bool reconcileSourceAndNuance();
    void startListening();
    void listen();
    void finishRun();
    void cancelRun();
    void clearProgress();
    bool writeLearnResult(int source, int nuance, const std::optional<juce::String>& histogramText,
                          const std::optional<juce::String>& curvesText);
    void applyLearnedRecord(const orlix::LearnResult& result, bool keepUserOffsets, int baseCharacter);
    void applyLearnedValue(orlix::ParameterIndex index, float value, bool keepUserOffset);
    void setParameterWithGesture(orlix::ParameterIndex index, float denormalisedValue);
    void setTargetDb(float db);
    void publishTarget();
    LearnedSnapshot takeLearnedSnapshot();
    int baseCharacterFor(const orlix::LearnStatistics& stats, int source, int nuance, int character,
                         const orlix::LearnResult& result) const;
    void writeDriveEqIntoSnapshots(int learnId, const juce::String& text);
    int storedLearnId() const;
    int roundedParameter(orlix::ParameterIndex index) const;
    void refreshCachedBaseCharacter();
    static float blockTruePeak(std::vector<orlix::TruePeakDetector>& detectors,
                               const juce::AudioBuffer<float>& buffer, int numChannels,
                               int numSamples) noexcept;
    static float blockSamplePeak(const juce::AudioBuffer<float>& buffer, int numChannels,
                                 int numSamples) noexcept;
    static void raise(std::atomic<float>& cell, float value) noexcept;

    orlix::CountedInstance countedInstance;
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

    orlix::CaptureFifo captureFifo;
    orlix::LearnAnalyzer learnAnalyzer;
    bool learnListening = false;
    int learnGeneration = 0;
    orlix::LearnStatistics lastLearnStatistics;
    orlix::LearnResult lastLearnResult;
    orlix::MappingCache mappingCache; // guarded by stateLock
    orlix::UndoHistory undoHistory;

    double tailSampleRate = 44100.0;
    double preparedSampleRate = 0.0;
    int preparedChannels = 0;
    int engineLatency = 0;

    // Declared last so it stops before anything it reads goes away.
    orlix::DriveEqWorker driveEqWorker;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(OrlixAudioProcessor)
};
