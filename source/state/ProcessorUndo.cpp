// The processor's own undo history: whole-state snapshots made by editor
// gestures and Learn runs, restored through the state loader.
#include "processor/OrlixAudioProcessor.h"

#include "state/BaseValues.h"
#include "state/StateIds.h"

using namespace orlix;

namespace
{
const juce::String bypassId = parameterId(pBypass);

void setBypassChild(juce::ValueTree& tree, float value)
{
    setParamChildValue(tree, bypassId, value);
}

std::optional<double> storedTarget(const juce::ValueTree& tree)
{
    return readDoubleProperty(tree, ids::targetDb);
}
} // namespace

juce::ValueTree OrlixAudioProcessor::takeSnapshot()
{
    juce::ValueTree snapshot;
    {
        const juce::ScopedLock lock(stateLock);
        snapshot = parameters.copyState();
    }
    // Undo never changes BYPASS: snapshots leave it out.
    setBypassChild(snapshot, 0.0f);
    return snapshot;
}

void OrlixAudioProcessor::beginUndoGesture()
{
    if (gestureDepth++ != 0)
        return;
    undoHistory.checkEpoch(stateLoadGeneration.load());
    if (!undoHistory.pending)
        undoHistory.pending = takeSnapshot();
}

void OrlixAudioProcessor::commitUndoGesture()
{
    if (!undoHistory.pending)
        return;
    const auto& before = *undoHistory.pending;

    bool changed = false;
    for (const auto& child : before)
    {
        const auto id = child.getProperty(ids::id).toString();
        const int index = parameterIndexOf(id);
        float stored = 0.0f;
        if (!child.hasType(ids::param) || id == bypassId || index < 0 ||
            !getParamChildValue(before, id, stored))
            continue;
        auto* parameter = parameters.getParameter(id);
        const auto& range = parameter->getNormalisableRange();
        const float then = range.convertTo0to1(range.snapToLegalValue(stored));
        if (std::abs(then - parameter->getValue()) > 1e-6f)
            changed = true;
    }
    {
        const juce::ScopedLock lock(stateLock);
        const auto now = storedTarget(parameters.state);
        const auto then = storedTarget(before);
        if (now.has_value() != then.has_value() || (now && !juce::exactlyEqual(*now, *then)))
            changed = true;
    }
    if (!changed)
        return; // a later change in the same gesture can still commit it

    checkpoint("commit-before-push");
    pushUndo(*undoHistory.pending);
    undoHistory.pending.reset();
}

void OrlixAudioProcessor::discardUndoGesture()
{
    undoHistory.pending.reset();
}

void OrlixAudioProcessor::endUndoGesture()
{
    gestureDepth = std::max(0, gestureDepth - 1);
    if (gestureDepth == 0)
        discardUndoGesture();
}

void OrlixAudioProcessor::pushUndo(juce::ValueTree snapshot)
{
    UndoHistory::pushLimited(undoHistory.undoStack, std::move(snapshot));
    undoHistory.redoStack.clear();
}

bool OrlixAudioProcessor::undo()
{
    return stepThroughHistory(undoHistory.undoStack, undoHistory.redoStack, "undo-after-pop");
}

bool OrlixAudioProcessor::redo()
{
    return stepThroughHistory(undoHistory.redoStack, undoHistory.undoStack, "redo-after-pop");
}

// Undo and redo are mirror images: restore the newest different entry of one stack
// and keep the present state on the other (without clearing either).
bool OrlixAudioProcessor::stepThroughHistory(std::deque<juce::ValueTree>& from,
                                             std::deque<juce::ValueTree>& to, const char* checkpointLabel)
{
    if (learnRequested || learnListening || driveEqPending || gestureDepth > 0)
        return false;
    undoHistory.checkEpoch(stateLoadGeneration.load());
    undoHistory.pending.reset();
    const auto current = takeSnapshot();
    const auto entry = UndoHistory::popDifferentFrom(from, current);
    if (!entry)
        return false;
    checkpoint(checkpointLabel);
    UndoHistory::pushLimited(to, current);
    return restoreSnapshot(*entry, undoHistory.epoch);
}

bool OrlixAudioProcessor::restoreSnapshot(const juce::ValueTree& snapshot, int epoch)
{
    auto copy = snapshot.createCopy();
    setBypassChild(copy, currentParameterValue(pBypass));
    checkpoint("restore-before-lock");
    {
        const juce::ScopedLock lock(stateLock);
        if (stateLoadGeneration.load() != epoch)
            return false;
        applyStateTree(copy, false);
    }
    undoHistory.checkEpoch(stateLoadGeneration.load());
    undoHistory.pending.reset();
    {
        const juce::ScopedLock lock(stateLock);
        LearnStatistics stats;
        if (!readLearnStatistics(parameters.state, stats))
            stats = LearnStatistics{};
        lastLearnStatistics = stats;
    }
    publishTarget();
    return true;
}
