#include "learn/LearnSession.h"

#include "state/BaseValues.h"
#include "state/StateIds.h"

namespace orlix
{

namespace
{
constexpr float normalisedTolerance = 2e-6f;

juce::Random& learnIdGenerator()
{
    thread_local juce::Random random = []
    {
        juce::Random r;
        r.setSeedRandomly();
        return r;
    }();
    return random;
}

// The character AUTO would choose for this material, whatever is selected now.
int baseCharacterFor(const LearnStatistics& stats, int source, int nuance, int character,
                     const LearnResult& result)
{
    return character != characterAuto ? mapping::mapLearn(stats, source, nuance, characterAuto).character
                                      : result.character;
}
} // namespace

LearnSession::LearnSession(PluginState& stateToUse, UndoHistory& undo, DriveEqWorker& worker)
    : state(stateToUse), undoHistory(undo), driveEqWorker(worker)
{
    undoHistory.setBusyCheck([this] { return isBusy(); });
    undoHistory.setRestoreListener([this] { restoredFromUndo(); });
}

void LearnSession::prepare(double sampleRate, int inputChannels)
{
    tailSampleRate = sampleRate;
    captureFifo.prepare(sampleRate, inputChannels);
    learnAnalyzer.prepare(sampleRate);
    learnPhase = 0;
    learnListening = false;
    clearProgress();
}

void LearnSession::restoredFromUndo()
{
    LearnStatistics stats;
    {
        const juce::ScopedLock lock(state.getStateLock());
        if (!readLearnStatistics(state.tree(), stats))
            stats = LearnStatistics{};
    }
    lastLearnStatistics = stats;
    publishTarget();
}

void LearnSession::clearProgress()
{
    learnProgress = 0.0f;
    learnSignalLow = false;
    learnSecondsAnalysed = 0.0f;
}

//==============================================================================
void LearnSession::tick()
{
    if (state.takeHostStateLoaded() && driveEqPending && state.storedLearnId() != driveEqLearnId.load())
    {
        // The host replaced the Learn result the table was being measured for.
        driveEqWorker.stop();
        driveEqPending = false;
    }

    if (undoHistory.gestureDepth() == 0)
    {
        collectDriveEqResult();
        if (!learnRequested && !learnListening && reconcileSourceAndNuance())
            return;
    }

    publishTarget();

    if (learnRequested)
    {
        if (!learnListening)
            startListening();
        else
            listen();
    }
    else if (learnListening)
        cancelRun();
}

void LearnSession::collectDriveEqResult()
{
    DriveEqTable table;
    int id = 0;
    if (!driveEqPending || !driveEqWorker.takeResult(table, id))
        return;
    driveEqPending = false;
    if (!table.valid)
        return;
    const auto text = driveEqText(table);
    {
        const juce::ScopedLock lock(state.getStateLock());
        if (state.storedLearnId() == id)
        {
            state.tree().setProperty(ids::learnDriveEq, text, nullptr);
            state.publishLearnCurves();
        }
    }
    writeDriveEqIntoSnapshots(id, text);
}

void LearnSession::writeDriveEqIntoSnapshots(int learnId, const juce::String& text)
{
    undoHistory.updateSnapshots(
        [&](juce::ValueTree& snapshot)
        {
            const auto id = readDoubleProperty(snapshot, ids::learnId);
            if (id && (int)*id == learnId)
                snapshot.setProperty(ids::learnDriveEq, text, nullptr);
        });
}

bool LearnSession::reconcileSourceAndNuance()
{
    int source = 0, nuance = 0, generation = 0;
    {
        const juce::ScopedLock lock(state.getStateLock());
        generation = state.loadGeneration();
        source = state.roundedParameter(pSource);
        nuance = state.roundedParameter(pNuance);
        if (clampNuance(source, nuance) != nuance)
            state.setParameterWithGesture(pNuance, (float)clampNuance(source, nuance));

        source = state.roundedParameter(pSource);
        nuance = state.roundedParameter(pNuance);
        auto& tree = state.tree();
        if (!tree.hasProperty(ids::appliedSource))
            tree.setProperty(ids::appliedSource, source, nullptr);
        if (!tree.hasProperty(ids::appliedNuance))
            tree.setProperty(ids::appliedNuance, nuance, nullptr);
        const auto appliedSource = readDoubleProperty(tree, ids::appliedSource);
        const auto appliedNuance = readDoubleProperty(tree, ids::appliedNuance);
        if (appliedSource && appliedNuance && (int)std::lround(*appliedSource) == source &&
            (int)std::lround(*appliedNuance) == nuance)
            return false;
        tree.setProperty(ids::appliedSource, source, nullptr);
        tree.setProperty(ids::appliedNuance, nuance, nullptr);
    }

    state.checkpoint("reconcile-mid");
    LearnStatistics stats;
    {
        const juce::ScopedLock lock(state.getStateLock());
        if (!readLearnStatistics(state.tree(), stats))
            return false;
    }
    lastLearnStatistics = stats;
    const int character = state.roundedParameter(pCharacter);
    lastLearnResult = mapping::mapLearn(stats, source, nuance, character);
    if (!lastLearnResult.valid)
        return false;

    const int baseCharacter = baseCharacterFor(stats, source, nuance, character, lastLearnResult);
    const auto profile = lookupProfile(source, nuance);
    const float target = std::clamp(profile.targetDb, 1.0f, 20.0f);
    const auto rk = mapping::ratioKneeForTarget(lastLearnResult, profile, target);
    lastLearnResult.ratio = rk.ratio;
    lastLearnResult.knee = rk.knee;
    lastLearnResult.threshold =
        std::clamp(mapping::findThreshold(stats, lastLearnResult, target, rk.ratio, rk.knee), -60.0f, -1.0f);

    state.checkpoint("reconcile-before-write");
    {
        const juce::ScopedLock lock(state.getStateLock());
        if (state.loadGeneration() != generation)
            return false; // the host loaded a state while this mapping ran: it stays
        applyLearnedRecord(lastLearnResult, true, baseCharacter);
        setTargetDb(profile.targetDb);
    }
    publishTarget();
    return true;
}

void LearnSession::startListening()
{
    driveEqWorker.stop();
    driveEqPending = false;
    learnGeneration = state.loadGeneration();
    learnPhase = 0;
    learnAnalyzer.reset();
    clearProgress();
    learnListening = true;
    captureFifo.makeResident();
    learnPhase = 1;
}

void LearnSession::listen()
{
    if (learnPhase.load() != 2)
        return; // armed, but no audio has arrived yet
    if (undoHistory.gestureDepth() > 0 && learnAnalyzer.hasCountedEnough())
        return; // finishing waits until the user lets go
    learnAnalyzer.drainCapture(captureFifo);
    const auto progress = (float)learnAnalyzer.progress();
    const auto seconds = (float)learnAnalyzer.secondsAnalysed();
    learnProgress = progress;
    learnSignalLow = seconds > 3.0f && progress < 0.05f;
    learnSecondsAnalysed = seconds;
    // A run never finishes under an open gesture, even when this drain reached the count.
    if (learnAnalyzer.hasCountedEnough() && undoHistory.gestureDepth() == 0)
        finishRun();
}

void LearnSession::cancelRun()
{
    learnPhase = 0;
    learnListening = false;
    clearProgress();
}

void LearnSession::finishRun()
{
    learnPhase = 0;
    learnListening = false;
    auto finished = learnAnalyzer.finishStatistics();
    lastLearnStatistics = finished.statistics;

    auto snapshot = undoHistory.takeSnapshot();
    const int source = state.roundedParameter(pSource);
    const int nuance = state.roundedParameter(pNuance);
    const int character = state.roundedParameter(pCharacter);
    lastLearnResult = mapping::mapForProfileTarget(lastLearnStatistics, source, nuance, character);

    if (lastLearnResult.valid)
    {
        const int baseCharacter =
            baseCharacterFor(lastLearnStatistics, source, nuance, character, lastLearnResult);
        const auto texts = calibration::runCalibration(lastLearnResult, lastLearnStatistics,
                                                       finished.captured, tailSampleRate, threadStarter);

        state.checkpoint("learn-before-write");
        bool wrote = false;
        {
            const juce::ScopedLock lock(state.getStateLock());
            wrote = writeLearnResult(source, nuance,
                                     texts ? std::optional<juce::String>(texts->histogram) : std::nullopt,
                                     texts ? std::optional<juce::String>(texts->curves) : std::nullopt);
        }

        if (wrote)
        {
            undoHistory.pushUndo(snapshot);
            undoHistory.dropPendingSnapshot();
            LearnCurves curves;
            {
                const juce::ScopedLock lock(state.getStateLock());
                if (learnGeneration == state.loadGeneration())
                {
                    state.checkpoint("learn-apply-mid");
                    applyLearnedRecord(lastLearnResult, false, baseCharacter);
                }
                curves = parseLearnCurves(state.tree());
            }
            if (curves.histogramValid)
            {
                const int id = state.storedLearnId();
                driveEqLearnId = id;
                driveEqPending = driveEqWorker.start(std::move(finished.captured), tailSampleRate, id,
                                                     state.buildEngineSettings(curves),
                                                     std::move(finished.capturedChannels));
            }
            else
            {
                driveEqWorker.stop();
                driveEqPending = false;
            }
        }
        else
            lastLearnResult = LearnResult{}; // a host load replaced the state meanwhile
    }

    learnRequested = false;
    clearProgress();
}

bool LearnSession::writeLearnResult(int source, int nuance, const std::optional<juce::String>& histogram,
                                    const std::optional<juce::String>& curves)
{
    const juce::ScopedLock lock(state.getStateLock());
    if (state.loadGeneration() != learnGeneration)
        return false;
    auto& tree = state.tree();
    writeLearnStatistics(tree, lastLearnStatistics);
    tree.setProperty(ids::appliedSource, source, nullptr);
    tree.setProperty(ids::appliedNuance, nuance, nullptr);

    const int previous = state.storedLearnId();
    int id = 0;
    do
        id = learnIdGenerator().nextInt(2147483646) + 1;
    while (id == previous);
    tree.setProperty(ids::learnId, id, nullptr);

    state.checkpoint("learn-state-mid");
    setTargetDb(lookupProfile(source, nuance).targetDb);
    state.noteLearnWrite();
    if (histogram && curves)
    {
        tree.setProperty(ids::learnMkHist, *histogram, nullptr);
        tree.setProperty(ids::learnMkCurve, *curves, nullptr);
    }
    else
    {
        tree.removeProperty(ids::learnMkHist, nullptr);
        tree.removeProperty(ids::learnMkCurve, nullptr);
    }
    tree.removeProperty(ids::learnDriveEq, nullptr);
    state.publishLearnCurves();
    return true;
}

//==============================================================================
void LearnSession::applyLearnedRecord(const LearnResult& r, bool keepUserOffsets, int baseCharacter)
{
    applyLearnedValue(pThreshold, r.threshold, keepUserOffsets);
    applyLearnedValue(pRatio, r.ratio, keepUserOffsets);
    applyLearnedValue(pAttack, r.attack, keepUserOffsets);
    applyLearnedValue(pRelease, r.release, keepUserOffsets);
    applyLearnedValue(pKnee, std::clamp(r.knee / 24.0f * 100.0f, 0.0f, 100.0f), keepUserOffsets);
    applyLearnedValue(pMix, r.mix, keepUserOffsets);
    applyLearnedValue(pAutoMakeup, 1.0f, keepUserOffsets);
    applyLearnedValue(pAutoRelease, r.autoRelease ? 1.0f : 0.0f, keepUserOffsets);
    applyLearnedValue(pDrive, r.drive, keepUserOffsets);
    applyLearnedValue(pDriveType, (float)r.driveType, keepUserOffsets);
    {
        const juce::ScopedLock lock(state.getStateLock());
        setBaseValue(state.tree(), parameterId(pCharacter), (float)baseCharacter);
        state.tree().setProperty(ids::appliedCharacter, r.character, nullptr);
    }
    state.refreshCachedBaseCharacter();
}

void LearnSession::applyLearnedValue(ParameterIndex index, float x, bool keepUserOffset)
{
    const auto id = parameterId(index);
    const auto* row = baseValueRowOf(id);
    auto* parameter = state.getParameterState().getParameter(id);
    if (row == nullptr || parameter == nullptr)
        return;

    const juce::ScopedLock lock(state.getStateLock());
    const auto& range = parameter->getNormalisableRange();
    const float current = state.rawParameter(index);
    float base = 0.0f;
    const bool hasBase = getBaseValue(state.tree(), id, base);
    const float snapped = range.snapToLegalValue(x);
    float newBase = snapped;

    if (row->discrete)
    {
        if (keepUserOffset && hasBase && std::lround(current) != std::lround(base))
            newBase = snapped; // the user's own choice stays
        else
        {
            state.setParameterWithGesture(index, snapped);
            newBase = state.rawParameter(index);
        }
    }
    else
    {
        const float offset =
            keepUserOffset && hasBase ? range.convertTo0to1(current) - range.convertTo0to1(base) : 0.0f;
        if (std::abs(offset) > normalisedTolerance)
        {
            // Keep the user's adjustment as the same normalised offset from the new value.
            const float moved = std::clamp(range.convertTo0to1(snapped) + offset, 0.0f, 1.0f);
            state.setParameterWithGesture(index, range.snapToLegalValue(range.convertFrom0to1(moved)));
            newBase = snapped;
        }
        else
        {
            state.setParameterWithGesture(index, snapped);
            newBase = state.rawParameter(index);
        }
    }
    setBaseValue(state.tree(), id, newBase);
}

void LearnSession::setTargetDb(float db)
{
    const juce::ScopedLock lock(state.getStateLock());
    state.tree().setProperty(ids::targetDb, std::round((double)db * 100.0) / 100.0, nullptr);
}

LearnSession::LearnedSnapshot LearnSession::takeLearnedSnapshot()
{
    const juce::ScopedLock lock(state.getStateLock());
    LearnedSnapshot snapshot;
    const auto& tree = state.tree();
    snapshot.valid = state.readStoredStatistics(snapshot.stats);
    const auto target = readDoubleProperty(tree, ids::targetDb);
    snapshot.hasTarget = target.has_value();
    snapshot.storedTarget = target ? (float)*target : 0.0f;
    const auto applied = readDoubleProperty(tree, ids::appliedCharacter);
    snapshot.appliedCharacter = applied ? (int)std::lround(*applied) : 0;
    snapshot.effectiveCharacter = state.effectiveCharacter();
    snapshot.revision = state.revision();
    snapshot.learnId = state.storedLearnId();
    return snapshot;
}

void LearnSession::publishTarget()
{
    auto unavailable = [this]
    {
        targetAvailable = false;
        shownTargetDb = 0.0f;
        learnedTargetDb = 0.0f;
        maxTargetDb = 20.0f;
        targetEdited = false;
    };
    if (learnRequested || learnListening ||
        state.getParameterState().getParameter(parameterId(pSource)) == nullptr)
        return unavailable();
    const auto snapshot = takeLearnedSnapshot();
    if (!snapshot.valid || !snapshot.hasTarget)
        return unavailable();

    const juce::ScopedLock lock(state.getStateLock());
    const auto* cache = mappingForCurrentChoices(snapshot);
    if (cache == nullptr)
        return unavailable();

    learnedTargetDb = cache->profile.targetDb;
    maxTargetDb = cache->maxTarget;
    shownTargetDb = std::abs(snapshot.storedTarget - cache->profile.targetDb) <= 0.006f
                        ? cache->profile.targetDb
                        : snapshot.storedTarget;
    targetAvailable = true;

    bool edited = snapshot.appliedCharacter != 0 && snapshot.appliedCharacter != snapshot.effectiveCharacter;
    for (auto index : {pThreshold, pRatio, pKnee})
    {
        float base = 0.0f;
        const auto id = parameterId(index);
        if (!getBaseValue(state.tree(), id, base))
            continue;
        const auto& range = state.getParameterState().getParameter(id)->getNormalisableRange();
        if (std::abs(range.convertTo0to1(state.rawParameter(index)) - range.convertTo0to1(base)) >
            normalisedTolerance)
            edited = true;
    }
    targetEdited = edited;
}

bool LearnSession::setTargetFromMarker(float x)
{
    if (learnRequested || learnListening)
        return false;
    const int source = state.roundedParameter(pSource);
    const int nuance = clampNuance(source, state.roundedParameter(pNuance));
    const auto snapshot = takeLearnedSnapshot();
    if (!snapshot.valid || !snapshot.hasTarget)
        return false;

    mapping::TargetSettings settings{};
    float target = 0.0f;
    {
        const juce::ScopedLock lock(state.getStateLock());
        const auto* cache = mapping::targetLimits(mappingCache, source, nuance, snapshot.effectiveCharacter,
                                                  snapshot.revision, &snapshot.stats);
        if (cache == nullptr)
            return false;
        target = cache->profile.targetDb;
        if (!(std::abs(x - target) < 0.005f))
            target = std::min(cache->maxTarget, std::clamp(mapping::roundToStep(x, 0.1f), 1.0f, 20.0f));
        settings = mapping::settingsForTarget(cache->stats, cache->result, cache->profile, target);
    }

    state.checkpoint("target-before-write");
    const juce::ScopedLock lock(state.getStateLock());
    if (state.storedLearnId() != snapshot.learnId)
        return false;
    applyLearnedValue(pThreshold, std::clamp(settings.threshold, -60.0f, -1.0f), false);
    applyLearnedValue(pRatio, settings.ratio, false);
    applyLearnedValue(pKnee, std::clamp(settings.knee / 24.0f * 100.0f, 0.0f, 100.0f), false);
    state.tree().setProperty(ids::appliedCharacter, snapshot.effectiveCharacter, nullptr);
    setTargetDb(target);
    publishTarget();
    undoHistory.commitUndoGesture();
    return true;
}

const MappingCache* LearnSession::mappingForCurrentChoices(const LearnedSnapshot& snapshot)
{
    const int source = state.roundedParameter(pSource);
    const int nuance = clampNuance(source, state.roundedParameter(pNuance));
    return mapping::targetLimits(mappingCache, source, nuance, snapshot.effectiveCharacter, snapshot.revision,
                                 &snapshot.stats);
}

std::optional<float> LearnSession::estimatedGainReduction()
{
    const auto snapshot = takeLearnedSnapshot();
    if (!snapshot.valid)
        return std::nullopt;
    const juce::ScopedLock lock(state.getStateLock());
    const auto* cache = mappingForCurrentChoices(snapshot);
    if (cache == nullptr)
        return std::nullopt;
    const auto curve = mapping::buildDetectorCurve(cache->stats, cache->result.character);
    if (curve.empty())
        return std::nullopt;
    const float kneeDb = state.rawParameter(pKnee) / 100.0f * 24.0f;
    return mapping::estimateGainReduction(curve, cache->stats, cache->result, state.rawParameter(pThreshold),
                                          state.rawParameter(pRatio), kneeDb);
}

} // namespace orlix
