#pragma once

#include "engine/DriveEqWorker.h"
#include "learn/CaptureFifo.h"
#include "learn/LearnAnalyzer.h"
#include "learn/LearnMapping.h"
#include "learn/MakeupCalibration.h"
#include "state/PluginState.h"
#include "state/UndoHistory.h"

#include <atomic>
#include <optional>

namespace orlix
{

// Learn between the audio thread and the message thread: the capture while a
// run listens, the run itself (listen, map, calibrate, write, apply), the
// re-mapping when SOURCE or NUANCE change, the TARGET control, and collecting
// the drive level table. Everything but capture() and fadesToDry() runs on
// the message thread, driven by tick() every 40 ms.
class LearnSession
{
public:
    LearnSession(PluginState& state, UndoHistory& undo, DriveEqWorker& driveEqWorker);

    // A new sample rate or channel count: an unfinished run starts again.
    void prepare(double sampleRate, int inputChannels);

    // audio thread
    void capture(const float* const* channels, int numChannels, int numSamples) noexcept
    {
        captureFifo.feed(channels, numChannels, numSamples, learnPhase);
    }
    // While a run is requested the compressor fades to the dry signal.
    bool fadesToDry() const noexcept { return learnRequested.load(); }

    //==============================================================================
    // The timer's Learn work, in its fixed order.
    void tick();

    // The LEARN button: request a run, or cancel it.
    void setLearnRequested(bool requested) noexcept { learnRequested = requested; }
    bool isLearnRequested() const noexcept { return learnRequested.load(); }
    bool isLearnListening() const noexcept { return learnListening; }
    bool isDriveEqPending() const noexcept { return driveEqPending.load(); }
    // A run or the drive table is under way: undo waits.
    bool isBusy() const noexcept { return learnRequested.load() || learnListening || driveEqPending.load(); }

    struct Status
    {
        float progress = 0.0f; // 0..1 of the material a run needs
        bool signalLow = false;
        float secondsAnalysed = 0.0f;
    };
    Status status() const noexcept
    {
        return {learnProgress.load(), learnSignalLow.load(), learnSecondsAnalysed.load()};
    }

    // What the TARGET marker shows.
    struct Target
    {
        bool available = false;
        bool edited = false;
        float shownDb = 0.0f;
        float learnedDb = 0.0f;
        float maxDb = 20.0f;
    };
    Target target() const noexcept
    {
        return {targetAvailable.load(), targetEdited.load(), shownTargetDb.load(), learnedTargetDb.load(),
                maxTargetDb.load()};
    }
    bool setTargetFromMarker(float targetDb);
    // Learn's own estimate of the gain reduction the current THRESHOLD, RATIO and
    // KNEE give on the material it measured (the figure TARGET is matched against);
    // empty without a stored result.
    std::optional<float> estimatedGainReduction();

    const LearnResult& getLastLearnResult() const noexcept { return lastLearnResult; }
    const LearnStatistics& getLastLearnStatistics() const noexcept { return lastLearnStatistics; }

    // How the calibration starts its worker threads; tests put a failing one in.
    void setCalibrationThreadStarter(calibration::ThreadStarter starter)
    {
        threadStarter = std::move(starter);
    }

private:
    struct LearnedSnapshot
    {
        bool valid = false;
        bool hasTarget = false;
        int appliedCharacter = 0;
        int effectiveCharacter = 3;
        LearnStatistics stats;
        float storedTarget = 0.0f;
        int revision = 0;
        int learnId = 0;
    };

    void collectDriveEqResult();
    bool reconcileSourceAndNuance();
    void startListening();
    void listen();
    void finishRun();
    void cancelRun();
    void clearProgress();
    void restoredFromUndo();
    bool writeLearnResult(int source, int nuance, const std::optional<juce::String>& histogramText,
                          const std::optional<juce::String>& curvesText);
    void applyLearnedRecord(const LearnResult& result, bool keepUserOffsets, int baseCharacter);
    void applyLearnedValue(ParameterIndex index, float value, bool keepUserOffset);
    void setTargetDb(float db);
    void publishTarget();
    LearnedSnapshot takeLearnedSnapshot();
    // The stored result mapped for the current SOURCE, NUANCE and character; under the state lock.
    const MappingCache* mappingForCurrentChoices(const LearnedSnapshot& snapshot);
    void writeDriveEqIntoSnapshots(int learnId, const juce::String& text);

    PluginState& state;
    UndoHistory& undoHistory;
    DriveEqWorker& driveEqWorker;
    calibration::ThreadStarter threadStarter = calibration::startThread;

    CaptureFifo captureFifo;
    LearnAnalyzer learnAnalyzer;
    double tailSampleRate = 44100.0;

    std::atomic<bool> learnRequested{false};
    std::atomic<int> learnPhase{0};
    std::atomic<float> learnProgress{0.0f};
    std::atomic<bool> learnSignalLow{false};
    std::atomic<float> learnSecondsAnalysed{0.0f};
    bool learnListening = false;
    int learnGeneration = 0;
    std::atomic<bool> driveEqPending{false};
    std::atomic<int> driveEqLearnId{0};

    std::atomic<bool> targetAvailable{false}, targetEdited{false};
    std::atomic<float> shownTargetDb{0.0f}, learnedTargetDb{0.0f}, maxTargetDb{20.0f};

    LearnStatistics lastLearnStatistics;
    LearnResult lastLearnResult;
    MappingCache mappingCache; // guarded by the state lock

    JUCE_DECLARE_NON_COPYABLE(LearnSession)
};

} // namespace orlix
