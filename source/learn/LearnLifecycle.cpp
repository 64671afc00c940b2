// The Learn run and the TARGET control, driven by the processor's 40 ms timer
// on the message thread.
#include "processor/OrlixAudioProcessor.h"

#include "learn/MakeupCalibration.h"
#include "state/BaseValues.h"
#include "state/StateIds.h"

using namespace orlix;

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
} // namespace

void OrlixAudioProcessor::timerCallback()
{
    timerTick();
}

void OrlixAudioProcessor::checkpoint(const char* label) const
{
    if (checkpointHook)
        checkpointHook(label);
}

int OrlixAudioProcessor::roundedParameter(ParameterIndex index) const
{
    return (int)std::lround(currentParameterValue(index));
}

int OrlixAudioProcessor::effectiveCharacter() const
{
    const int character = roundedParameter(pCharacter);
    if (character != characterAuto)
        return std::clamp(character, 1, 3);
    const int base = cachedBaseCharacter.load();
    return base != 0 ? base : characterVca;
}

int OrlixAudioProcessor::storedLearnId() const
{
    const juce::ScopedLock lock(stateLock);
    const auto id = readDoubleProperty(parameters.state, ids::learnId);
    return id ? (int)std::clamp(*id, -2147483647.0, 2147483647.0) : 0;
}

void OrlixAudioProcessor::clearProgress()
{
    learnProgress = 0.0f;
    learnSignalLow = false;
    learnSecondsAnalysed = 0.0f;
}

//==============================================================================
void OrlixAudioProcessor::timerTick()
{
    if (hostStateLoaded.exchange(false) && driveEqPending && storedLearnId() != driveEqLearnId.load())
    {
        // The host replaced the Learn result the table was being measured for.
        driveEqWorker.stop();
        driveEqPending = false;
    }

    if (gestureDepth == 0)
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

void OrlixAudioProcessor::collectDriveEqResult()
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
        const juce::ScopedLock lock(stateLock);
        if (storedLearnId() == id)
        {
            parameters.state.setProperty(ids::learnDriveEq, text, nullptr);
            publishLearnCurves();
        }
    }
    writeDriveEqIntoSnapshots(id, text);
}

void OrlixAudioProcessor::writeDriveEqIntoSnapshots(int learnId, const juce::String& text)
{
    auto update = [&](juce::ValueTree& snapshot)
    {
        const auto id = readDoubleProperty(snapshot, ids::learnId);
        if (id && (int)*id == learnId)
            snapshot.setProperty(ids::learnDriveEq, text, nullptr);
    };
    for (auto& s : undoHistory.undoStack)
        update(s);
    for (auto& s : undoHistory.redoStack)
        update(s);
    if (undoHistory.pending)
        update(*undoHistory.pending);
}

bool OrlixAudioProcessor::reconcileSourceAndNuance()
{
    int source = 0, nuance = 0, generation = 0;
    {
        const juce::ScopedLock lock(stateLock);
        generation = stateLoadGeneration.load();
        source = roundedParameter(pSource);
        nuance = roundedParameter(pNuance);
        if (clampNuance(source, nuance) != nuance)
            setParameterWithGesture(pNuance, (float)clampNuance(source, nuance));

        source = roundedParameter(pSource);
        nuance = roundedParameter(pNuance);
        auto& tree = parameters.state;
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

    checkpoint("reconcile-mid");
    LearnStatistics stats;
    {
        const juce::ScopedLock lock(stateLock);
        if (!readLearnStatistics(parameters.state, stats))
            return false;
    }
    lastLearnStatistics = stats;
    const int character = roundedParameter(pCharacter);
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

    checkpoint("reconcile-before-write");
    {
        const juce::ScopedLock lock(stateLock);
        if (stateLoadGeneration.load() != generation)
            return false; // the host loaded a state while this mapping ran: it stays
        applyLearnedRecord(lastLearnResult, true, baseCharacter);
        setTargetDb(profile.targetDb);
    }
    publishTarget();
    return true;
}

int OrlixAudioProcessor::baseCharacterFor(const LearnStatistics& stats, int source, int nuance, int character,
                                          const LearnResult& result) const
{
    // The character AUTO would choose for this material, whatever is selected now.
    return character != characterAuto ? mapping::mapLearn(stats, source, nuance, characterAuto).character
                                      : result.character;
}

void OrlixAudioProcessor::startListening()
{
    driveEqWorker.stop();
    driveEqPending = false;
    learnGeneration = stateLoadGeneration.load();
    learnPhase = 0;
    learnAnalyzer.reset();
    clearProgress();
    learnListening = true;
    learnPhase = 1;
}

void OrlixAudioProcessor::listen()
{
    if (learnPhase.load() != 2)
        return; // armed, but no audio has arrived yet
    if (gestureDepth > 0 && learnAnalyzer.hasCountedEnough())
        return; // finishing waits until the user lets go
    learnAnalyzer.drainCapture(captureFifo);
    const auto progress = (float)learnAnalyzer.progress();
    const auto seconds = (float)learnAnalyzer.secondsAnalysed();
    learnProgress = progress;
    learnSignalLow = seconds > 3.0f && progress < 0.05f;
    learnSecondsAnalysed = seconds;
    // A run never finishes under an open gesture, even when this drain reached the count.
    if (learnAnalyzer.hasCountedEnough() && gestureDepth == 0)
        finishRun();
}

void OrlixAudioProcessor::cancelRun()
{
    learnPhase = 0;
    learnListening = false;
    clearProgress();
}

void OrlixAudioProcessor::finishRun()
{
    learnPhase = 0;
    learnListening = false;
    auto finished = learnAnalyzer.finishStatistics();
    lastLearnStatistics = finished.statistics;

    auto snapshot = takeSnapshot();
    const int source = roundedParameter(pSource);
    const int nuance = roundedParameter(pNuance);
    const int character = roundedParameter(pCharacter);
    lastLearnResult = mapping::mapForProfileTarget(lastLearnStatistics, source, nuance, character);

    if (lastLearnResult.valid)
    {
        const int baseCharacter =
            baseCharacterFor(lastLearnStatistics, source, nuance, character, lastLearnResult);
        const auto texts = calibration::runCalibration(lastLearnResult, lastLearnStatistics,
                                                       finished.captured, tailSampleRate);

        checkpoint("learn-before-write");
        bool wrote = false;
        {
            const juce::ScopedLock lock(stateLock);
            wrote = writeLearnResult(source, nuance,
                                     texts ? std::optional<juce::String>(texts->histogram) : std::nullopt,
                                     texts ? std::optional<juce::String>(texts->curves) : std::nullopt);
        }

        if (wrote)
        {
            pushUndo(snapshot);
            undoHistory.pending.reset();
            LearnCurves curves;
            {
                const juce::ScopedLock lock(stateLock);
                if (learnGeneration == stateLoadGeneration.load())
                {
                    checkpoint("learn-apply-mid");
                    applyLearnedRecord(lastLearnResult, false, baseCharacter);
                }
                curves = parseLearnCurves(parameters.state);
            }
            if (curves.histogramValid)
            {
                const int id = storedLearnId();
                driveEqLearnId = id;
                driveEqPending =
                    driveEqWorker.start(std::move(finished.captured), tailSampleRate, id,
                                        buildEngineSettings(curves), std::move(finished.capturedChannels));
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

bool OrlixAudioProcessor::writeLearnResult(int source, int nuance,
                                           const std::optional<juce::String>& histogram,
                                           const std::optional<juce::String>& curves)
{
    const juce::ScopedLock lock(stateLock);
    if (stateLoadGeneration.load() != learnGeneration)
        return false;
    auto& tree = parameters.state;
    writeLearnStatistics(tree, lastLearnStatistics);
    tree.setProperty(ids::appliedSource, source, nullptr);
    tree.setProperty(ids::appliedNuance, nuance, nullptr);

    const int previous = storedLearnId();
    int id = 0;
    do
        id = learnIdGenerator().nextInt(2147483646) + 1;
    while (id == previous);
    tree.setProperty(ids::learnId, id, nullptr);

    checkpoint("learn-state-mid");
    setTargetDb(lookupProfile(source, nuance).targetDb);
    ++learnRevision;
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
    publishLearnCurves();
    return true;
}

//==============================================================================
void OrlixAudioProcessor::setParameterWithGesture(ParameterIndex index, float denormalisedValue)
{
    auto* parameter = parameters.getParameter(parameterId(index));
    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost(parameter->convertTo0to1(denormalisedValue));
    parameter->endChangeGesture();
}

void OrlixAudioProcessor::applyLearnedRecord(const LearnResult& r, bool keepUserOffsets, int baseCharacter)
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
        const juce::ScopedLock lock(stateLock);
        setBaseValue(parameters.state, parameterId(pCharacter), (float)baseCharacter);
        parameters.state.setProperty(ids::appliedCharacter, r.character, nullptr);
    }
    refreshCachedBaseCharacter();
}

void OrlixAudioProcessor::applyLearnedValue(ParameterIndex index, float x, bool keepUserOffset)
{
    const auto id = parameterId(index);
    const auto* row = baseValueRowOf(id);
    auto* parameter = parameters.getParameter(id);
    if (row == nullptr || parameter == nullptr)
        return;

    const juce::ScopedLock lock(stateLock);
    const auto& range = parameter->getNormalisableRange();
    const float current = currentParameterValue(index);
    float base = 0.0f;
    const bool hasBase = getBaseValue(parameters.state, id, base);
    const float snapped = range.snapToLegalValue(x);
    float newBase = snapped;

    if (row->discrete)
    {
        if (keepUserOffset && hasBase && std::lround(current) != std::lround(base))
            newBase = snapped; // the user's own choice stays
        else
        {
            setParameterWithGesture(index, snapped);
            newBase = currentParameterValue(index);
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
            setParameterWithGesture(index, range.snapToLegalValue(range.convertFrom0to1(moved)));
            newBase = snapped;
        }
        else
        {
            setParameterWithGesture(index, snapped);
            newBase = currentParameterValue(index);
        }
    }
    setBaseValue(parameters.state, id, newBase);
}

void OrlixAudioProcessor::setTargetDb(float db)
{
    const juce::ScopedLock lock(stateLock);
    parameters.state.setProperty(ids::targetDb, std::round((double)db * 100.0) / 100.0, nullptr);
}

OrlixAudioProcessor::LearnedSnapshot OrlixAudioProcessor::takeLearnedSnapshot()
{
    const juce::ScopedLock lock(stateLock);
    LearnedSnapshot snapshot;
    const auto& tree = parameters.state;
    snapshot.valid = readLearnStatistics(tree, snapshot.stats, &traceCache);
    const auto target = readDoubleProperty(tree, ids::targetDb);
    snapshot.hasTarget = target.has_value();
    snapshot.storedTarget = target ? (float)*target : 0.0f;
    const auto applied = readDoubleProperty(tree, ids::appliedCharacter);
    snapshot.appliedCharacter = applied ? (int)std::lround(*applied) : 0;
    snapshot.effectiveCharacter = effectiveCharacter();
    snapshot.revision = learnRevision.load();
    snapshot.learnId = storedLearnId();
    return snapshot;
}

void OrlixAudioProcessor::publishTarget()
{
    auto unavailable = [this]
    {
        targetAvailable = false;
        shownTargetDb = 0.0f;
        learnedTargetDb = 0.0f;
        maxTargetDb = 20.0f;
        targetEdited = false;
    };
    if (learnRequested || learnListening || parameters.getParameter(parameterId(pSource)) == nullptr)
        return unavailable();
    const auto snapshot = takeLearnedSnapshot();
    if (!snapshot.valid || !snapshot.hasTarget)
        return unavailable();

    const juce::ScopedLock lock(stateLock);
    const int source = roundedParameter(pSource);
    const int nuance = clampNuance(source, roundedParameter(pNuance));
    const auto* cache = mapping::targetLimits(mappingCache, source, nuance, snapshot.effectiveCharacter,
                                              snapshot.revision, &snapshot.stats);
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
        if (!getBaseValue(parameters.state, id, base))
            continue;
        const auto& range = parameters.getParameter(id)->getNormalisableRange();
        if (std::abs(range.convertTo0to1(currentParameterValue(index)) - range.convertTo0to1(base)) >
            normalisedTolerance)
            edited = true;
    }
    targetEdited = edited;
}

bool OrlixAudioProcessor::setTargetFromMarker(float x)
{
    if (learnRequested || learnListening)
        return false;
    const int source = roundedParameter(pSource);
    const int nuance = clampNuance(source, roundedParameter(pNuance));
    const auto snapshot = takeLearnedSnapshot();
    if (!snapshot.valid || !snapshot.hasTarget)
        return false;

    mapping::TargetSettings settings{};
    float target = 0.0f;
    {
        const juce::ScopedLock lock(stateLock);
        const auto* cache = mapping::targetLimits(mappingCache, source, nuance, snapshot.effectiveCharacter,
                                                  snapshot.revision, &snapshot.stats);
        if (cache == nullptr)
            return false;
        target = cache->profile.targetDb;
        if (!(std::abs(x - target) < 0.005f))
            target = std::min(cache->maxTarget, std::clamp(mapping::roundToStep(x, 0.1f), 1.0f, 20.0f));
        settings = mapping::settingsForTarget(cache->stats, cache->result, cache->profile, target);
    }

    checkpoint("target-before-write");
    const juce::ScopedLock lock(stateLock);
    if (storedLearnId() != snapshot.learnId)
        return false;
    applyLearnedValue(pThreshold, std::clamp(settings.threshold, -60.0f, -1.0f), false);
    applyLearnedValue(pRatio, settings.ratio, false);
    applyLearnedValue(pKnee, std::clamp(settings.knee / 24.0f * 100.0f, 0.0f, 100.0f), false);
    parameters.state.setProperty(ids::appliedCharacter, snapshot.effectiveCharacter, nullptr);
    setTargetDb(target);
    publishTarget();
    commitUndoGesture();
    return true;
}
