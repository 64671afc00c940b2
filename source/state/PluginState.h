#pragma once

#include "engine/EngineSettings.h"
#include "processor/ParameterLayout.h"
#include "state/LearnCurves.h"
#include "state/LearnTextFormats.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

namespace orlix
{

// The plug-in's persisted state: the parameters' value tree (whose tree is the
// state a host saves), the Learn result and base values on its root, host
// save and load with the migrations of older states, and the hand-over of the
// Learn curves to the audio thread.
//
// stateLock guards the tree's Learn properties and every read-modify-write of
// them; it is always taken before the value tree's own lock, never after.
class PluginState
{
public:
    PluginState(juce::AudioProcessorValueTreeState& parameterState,
                std::shared_ptr<std::atomic<int>> sourceCell);

    // The missing applied and base keys of a new instance, and its first
    // published curves. Called once the owner is fully built.
    void initialiseStateKeys();

    //==============================================================================
    juce::AudioProcessorValueTreeState& getParameterState() noexcept { return parameters; }
    const juce::AudioProcessorValueTreeState& getParameterState() const noexcept { return parameters; }

    // Denormalised value; safe on any thread.
    float rawParameter(ParameterIndex index) const noexcept { return rawParameters[(size_t)index]->load(); }
    int roundedParameter(ParameterIndex index) const noexcept;
    // A change the host hears as one gesture.
    void setParameterWithGesture(ParameterIndex index, float denormalisedValue);

    // The character AUTO stands for: Learn's pick, 0 until Learn has run.
    int baseCharacter() const noexcept { return cachedBaseCharacter.load(); }
    void refreshCachedBaseCharacter();
    // The character parameter, or AUTO's pick (VCA until Learn has run).
    int effectiveCharacter() const noexcept;

    // The engine settings of the current raw parameter values and these Learn curves.
    EngineSettings buildEngineSettings(const LearnCurves& curves) const noexcept;

    //==============================================================================
    // Host save and load (any thread), and the loader that undo shares.
    void getStateInformation(juce::MemoryBlock& destData);
    void setStateInformation(const void* data, int sizeInBytes);
    void applyStateTree(const juce::ValueTree& tree, bool fromHost);
    // What a parameter holds once this tree is live: its snapped "PARAM" value, else its default.
    float valueAfterLoad(const juce::ValueTree& tree, ParameterIndex index) const;

    // The live tree; hold the state lock while reading or changing its Learn properties.
    juce::ValueTree& tree() noexcept { return parameters.state; }
    juce::CriticalSection& getStateLock() const noexcept { return stateLock; }
    // A copy of the live tree with the parameter values flushed into it.
    juce::ValueTree copyState();

    int loadGeneration() const noexcept { return stateLoadGeneration.load(); }
    int revision() const noexcept { return learnRevision.load(); }
    void noteLearnWrite() noexcept { ++learnRevision; }
    // True once after each host load.
    bool takeHostStateLoaded() noexcept { return hostStateLoaded.exchange(false); }
    int version() const;

    // The stored Learn record, its trace decoded through the cache; hold the state lock.
    bool readStoredStatistics(LearnStatistics& stats);
    int storedLearnId() const;

    //==============================================================================
    // Parses the stored curves under the state lock and hands them to the audio thread.
    void publishLearnCurves();
    // audio thread: the latest published curves, if the hand-over is free this block.
    void takeLearnCurves(LearnCurves& into) noexcept;

    //==============================================================================
    // Optional observer of fixed points inside Learn and undo; nothing installs it in the plug-in.
    void setCheckpointHook(std::function<void(const juce::String&)> hook)
    {
        checkpointHook = std::move(hook);
    }
    void checkpoint(const char* label) const;

private:
    juce::AudioProcessorValueTreeState& parameters;
    std::array<std::atomic<float>*, numParameters> rawParameters{};
    std::shared_ptr<std::atomic<int>> cachedSource;

    mutable juce::CriticalSection stateLock;
    int stateVersion = 1; // guarded by stateLock
    std::atomic<int> stateLoadGeneration{0};
    std::atomic<int> learnRevision{0};
    std::atomic<bool> hostStateLoaded{false};
    std::atomic<int> cachedBaseCharacter{3};
    TraceCache traceCache; // guarded by stateLock

    LearnCurves publishedLearnCurves;
    juce::SpinLock learnCurvesBusy;

    std::function<void(const juce::String&)> checkpointHook;

    JUCE_DECLARE_NON_COPYABLE(PluginState)
};

} // namespace orlix
