#pragma once

#include "state/PluginState.h"

#include <juce_data_structures/juce_data_structures.h>

#include <deque>
#include <functional>
#include <optional>

namespace orlix
{

// The plug-in's own undo history of whole-state snapshots (message thread only).
// An editor gesture begins, changes parameters, commits, then ends: one gesture
// is at most one entry, holding the state from before it. Host loads empty the
// history; host automation never makes entries.
class UndoHistory
{
public:
    static constexpr size_t limit = 100;

    explicit UndoHistory(PluginState& stateToRestore);

    // Learn tells when undo must wait (a run requested or listening, a drive
    // table on its way) and hears when a restore has changed the state.
    void setBusyCheck(std::function<bool()> isBusy) { learnBusy = std::move(isBusy); }
    void setRestoreListener(std::function<void()> listener) { restored = std::move(listener); }

    juce::ValueTree takeSnapshot();

    void beginUndoGesture();
    void commitUndoGesture();
    void discardUndoGesture();
    void endUndoGesture(); // one gesture closed; the last one drops the pending snapshot
    // The editor goes away: no gesture stays open.
    void closeAllGestures();
    int gestureDepth() const noexcept { return openGestures; }

    void pushUndo(juce::ValueTree snapshot);
    void dropPendingSnapshot() { pending.reset(); }
    bool undo();
    bool redo();
    // What the editor's buttons show: the stacks after a host load has emptied them.
    bool canUndo();
    bool canRedo();
    bool restoreSnapshot(const juce::ValueTree& snapshot, int epochOfSnapshot);

    // Lets a late result (the drive level table) reach the snapshots it belongs to.
    void updateSnapshots(const std::function<void(juce::ValueTree&)>& update);

    size_t undoSize() const noexcept { return undoStack.size(); }
    size_t redoSize() const noexcept { return redoStack.size(); }
    bool hasPendingSnapshot() const noexcept { return pending.has_value(); }
    const std::deque<juce::ValueTree>& undoEntries() const noexcept { return undoStack; }

private:
    // Entries made before a host load describe another project: forget them.
    void checkEpoch();
    bool stepThroughHistory(std::deque<juce::ValueTree>& from, std::deque<juce::ValueTree>& to,
                            const char* checkpointLabel);
    static void pushLimited(std::deque<juce::ValueTree>& stack, juce::ValueTree snapshot);
    // Pops until an entry differs from `current`; nothing when none does.
    static std::optional<juce::ValueTree> popDifferentFrom(std::deque<juce::ValueTree>& stack,
                                                           const juce::ValueTree& current);

    PluginState& state;
    std::function<bool()> learnBusy;
    std::function<void()> restored;

    std::deque<juce::ValueTree> undoStack, redoStack;
    std::optional<juce::ValueTree> pending; // taken when the outermost gesture began
    int epoch = 0;                          // the host-load generation the entries belong to
    int openGestures = 0;                   // gestureDepth

    JUCE_DECLARE_NON_COPYABLE(UndoHistory)
};

} // namespace orlix
