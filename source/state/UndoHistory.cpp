#include "state/UndoHistory.h"

#include "state/BaseValues.h"
#include "state/StateIds.h"

namespace orlix
{

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

UndoHistory::UndoHistory(PluginState& stateToRestore) : state(stateToRestore) {}

void UndoHistory::checkEpoch()
{
    const int generation = state.loadGeneration();
    if (generation == epoch)
        return;
    undoStack.clear();
    redoStack.clear();
    pending.reset();
    epoch = generation;
}

void UndoHistory::pushLimited(std::deque<juce::ValueTree>& stack, juce::ValueTree snapshot)
{
    stack.push_back(std::move(snapshot));
    while (stack.size() > limit)
        stack.pop_front();
}

std::optional<juce::ValueTree> UndoHistory::popDifferentFrom(std::deque<juce::ValueTree>& stack,
                                                             const juce::ValueTree& current)
{
    while (!stack.empty())
    {
        auto entry = stack.back();
        stack.pop_back();
        if (!entry.isEquivalentTo(current))
            return entry;
    }
    return std::nullopt;
}

juce::ValueTree UndoHistory::takeSnapshot()
{
    auto snapshot = state.copyState();
    // Undo never changes BYPASS: snapshots leave it out.
    setBypassChild(snapshot, 0.0f);
    return snapshot;
}

void UndoHistory::beginUndoGesture()
{
    if (openGestures++ != 0)
        return;
    checkEpoch();
    if (!pending)
        pending = takeSnapshot();
}

void UndoHistory::commitUndoGesture()
{
    if (!pending)
        return;
    const auto& before = *pending;

    bool changed = false;
    for (const auto& child : before)
    {
        const auto id = child.getProperty(ids::id).toString();
        const int index = parameterIndexOf(id);
        float stored = 0.0f;
        if (!child.hasType(ids::param) || id == bypassId || index < 0 ||
            !getParamChildValue(before, id, stored))
            continue;
        auto* parameter = state.getParameterState().getParameter(id);
        const auto& range = parameter->getNormalisableRange();
        const float then = range.convertTo0to1(range.snapToLegalValue(stored));
        if (std::abs(then - parameter->getValue()) > 1e-6f)
            changed = true;
    }
    {
        const juce::ScopedLock lock(state.getStateLock());
        const auto now = storedTarget(state.tree());
        const auto then = storedTarget(before);
        if (now.has_value() != then.has_value() || (now && !juce::exactlyEqual(*now, *then)))
            changed = true;
    }
    if (!changed)
        return; // a later change in the same gesture can still commit it

    state.checkpoint("commit-before-push");
    pushUndo(*pending);
    pending.reset();
}

void UndoHistory::discardUndoGesture()
{
    pending.reset();
}

void UndoHistory::endUndoGesture()
{
    openGestures = std::max(0, openGestures - 1);
    if (openGestures == 0)
        discardUndoGesture();
}

void UndoHistory::closeAllGestures()
{
    openGestures = 0;
    discardUndoGesture();
}

void UndoHistory::pushUndo(juce::ValueTree snapshot)
{
    pushLimited(undoStack, std::move(snapshot));
    redoStack.clear();
}

bool UndoHistory::undo()
{
    return stepThroughHistory(undoStack, redoStack, "undo-after-pop");
}

bool UndoHistory::redo()
{
    return stepThroughHistory(redoStack, undoStack, "redo-after-pop");
}

bool UndoHistory::canUndo()
{
    checkEpoch();
    return !undoStack.empty();
}

bool UndoHistory::canRedo()
{
    checkEpoch();
    return !redoStack.empty();
}

void UndoHistory::updateSnapshots(const std::function<void(juce::ValueTree&)>& update)
{
    for (auto& s : undoStack)
        update(s);
    for (auto& s : redoStack)
        update(s);
    if (pending)
        update(*pending);
}

// Undo and redo are mirror images: restore the newest different entry of one stack
// and keep the present state on the other (without clearing either).
bool UndoHistory::stepThroughHistory(std::deque<juce::ValueTree>& from, std::deque<juce::ValueTree>& to,
                                     const char* checkpointLabel)
{
    if ((learnBusy && learnBusy()) || openGestures > 0)
        return false;
    checkEpoch();
    pending.reset();
    const auto current = takeSnapshot();
    const auto entry = popDifferentFrom(from, current);
    if (!entry)
        return false;
    state.checkpoint(checkpointLabel);
    pushLimited(to, current);
    return restoreSnapshot(*entry, epoch);
}

bool UndoHistory::restoreSnapshot(const juce::ValueTree& snapshot, int epochOfSnapshot)
{
    auto copy = snapshot.createCopy();
    setBypassChild(copy, state.rawParameter(pBypass));
    state.checkpoint("restore-before-lock");
    {
        const juce::ScopedLock lock(state.getStateLock());
        if (state.loadGeneration() != epochOfSnapshot)
            return false;
        state.applyStateTree(copy, false);
    }
    checkEpoch();
    pending.reset();
    if (restored)
        restored();
    return true;
}

} // namespace orlix
