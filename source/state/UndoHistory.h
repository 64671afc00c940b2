#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <deque>
#include <optional>

namespace orlix
{

// The plug-in's own undo history of whole-state snapshots (message thread only).
// The processor takes and restores the snapshots; this holds them.
struct UndoHistory
{
    static constexpr size_t limit = 100;

    std::deque<juce::ValueTree> undoStack, redoStack;
    std::optional<juce::ValueTree> pending; // taken when the outermost gesture began
    int epoch = 0;                          // the host-load generation the entries belong to

    // Entries made before a host load describe another project: forget them.
    void checkEpoch(int generation)
    {
        if (generation == epoch)
            return;
        undoStack.clear();
        redoStack.clear();
        pending.reset();
        epoch = generation;
    }

    static void pushLimited(std::deque<juce::ValueTree>& stack, juce::ValueTree snapshot)
    {
        stack.push_back(std::move(snapshot));
        while (stack.size() > limit)
            stack.pop_front();
    }

    // Pops until an entry differs from `current`; nothing when none does.
    static std::optional<juce::ValueTree> popDifferentFrom(std::deque<juce::ValueTree>& stack,
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
};

} // namespace orlix
