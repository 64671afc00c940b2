#include "processor/OrlixAudioProcessor.h"
#include "state/StateIds.h"
#include "support/HostSimulation.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

using namespace orlix;
using testsupport::editParameter;
using testsupport::setParameter;

TEST(UndoGestures, OneGestureMakesAtMostOneEntryAndOnlyOnARealChange)
{
    OrlixAudioProcessor p;
    p.beginUndoGesture();
    p.commitUndoGesture(); // nothing changed yet
    EXPECT_FALSE(p.canUndo());
    for (float ratio : {5.0f, 6.0f, 7.0f})
    {
        setParameter(p, pRatio, ratio);
        p.commitUndoGesture();
    }
    p.endUndoGesture();
    EXPECT_EQ(p.getUndoHistory().undoStack.size(), 1u);
    ASSERT_TRUE(p.undo());
    EXPECT_FLOAT_EQ(p.rawParameter(pRatio), 4.0f); // the state from before the gesture

    // Clicking the choice that is already selected changes nothing.
    editParameter(p, pCharacter, 0.0f);
    EXPECT_TRUE(p.getUndoHistory().undoStack.empty());
}

TEST(UndoGestures, AGestureBackToItsStartLeavesNothingToUndo)
{
    OrlixAudioProcessor p;
    p.beginUndoGesture();
    setParameter(p, pRatio, 6.0f);
    p.commitUndoGesture();
    setParameter(p, pRatio, 4.0f);
    p.commitUndoGesture();
    p.endUndoGesture();
    // The entry holds the state the knob returned to: undo skips it as equivalent.
    EXPECT_FALSE(p.undo());
    EXPECT_FLOAT_EQ(p.rawParameter(pRatio), 4.0f);
}

TEST(UndoGestures, BypassNeitherMakesEntriesNorChangesWithUndo)
{
    OrlixAudioProcessor p;
    editParameter(p, pBypass, 1.0f);
    EXPECT_FALSE(p.canUndo());

    editParameter(p, pRatio, 8.0f);
    setParameter(p, pBypass, 0.0f);
    ASSERT_TRUE(p.undo());
    EXPECT_FLOAT_EQ(p.rawParameter(pBypass), 0.0f);
    setParameter(p, pBypass, 1.0f);
    ASSERT_TRUE(p.redo());
    EXPECT_FLOAT_EQ(p.rawParameter(pRatio), 8.0f);
    EXPECT_FLOAT_EQ(p.rawParameter(pBypass), 1.0f);
}

TEST(UndoStacks, HundredEntriesAtMostAndRedoRules)
{
    OrlixAudioProcessor p;
    for (int i = 0; i < 101; ++i)
        editParameter(p, pThreshold, -20.0f - 0.1f * (float)i);
    EXPECT_EQ(p.getUndoHistory().undoStack.size(), 100u);
    int undone = 0;
    while (p.undo())
        ++undone;
    EXPECT_EQ(undone, 100);
    EXPECT_NEAR(p.rawParameter(pThreshold), -20.0f, 1e-4f); // the very first state is gone

    ASSERT_TRUE(p.redo());
    ASSERT_TRUE(p.redo());
    EXPECT_EQ(p.getUndoHistory().undoStack.size(), 2u); // redo keeps the undo entries
    editParameter(p, pRatio, 9.0f);
    EXPECT_TRUE(p.getUndoHistory().redoStack.empty()); // a new edit clears redo
}

TEST(UndoStacks, HostLoadEmptiesTheHistory)
{
    OrlixAudioProcessor p;
    editParameter(p, pRatio, 6.0f);
    editParameter(p, pRatio, 7.0f);
    ASSERT_TRUE(p.undo());
    const auto blob = testsupport::saveState(p);
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    EXPECT_FALSE(p.undo());
    EXPECT_FALSE(p.redo());
    EXPECT_FALSE(p.canUndo());
    EXPECT_FALSE(p.canRedo());
}

TEST(UndoStacks, RefusedWhileLearnRunsTheDriveTableIsPendingOrAGestureIsOpen)
{
    OrlixAudioProcessor p;
    editParameter(p, pRatio, 6.0f);
    p.learnRequested = true;
    EXPECT_FALSE(p.undo());
    p.learnRequested = false;
    p.driveEqPending = true;
    EXPECT_FALSE(p.undo());
    p.driveEqPending = false;
    p.beginUndoGesture();
    EXPECT_FALSE(p.undo());
    p.endUndoGesture();
    EXPECT_FLOAT_EQ(p.rawParameter(pRatio), 6.0f);
    EXPECT_TRUE(p.undo());
}

TEST(UndoStacks, TargetChangeAloneMakesAnEntryAndUndoRestoresLearnKeys)
{
    OrlixAudioProcessor p;
    testsupport::writeSampleLearnResult(p);
    p.beginUndoGesture();
    {
        const juce::ScopedLock lock(p.stateLock);
        p.getParameterState().state.setProperty(ids::targetDb, 7.5, nullptr);
    }
    p.commitUndoGesture();
    p.endUndoGesture();
    ASSERT_EQ(p.getUndoHistory().undoStack.size(), 1u);
    ASSERT_TRUE(p.undo());
    EXPECT_DOUBLE_EQ((double)p.getParameterState().state.getProperty(ids::targetDb), 5.25);
}

TEST(UndoStacks, CheckpointsAreReachedInOrder)
{
    OrlixAudioProcessor p;
    juce::StringArray labels;
    p.checkpointHook = [&](const juce::String& label) { labels.add(label); };
    editParameter(p, pRatio, 6.0f);
    p.undo();
    p.redo();
    EXPECT_EQ(labels, juce::StringArray({"commit-before-push", "undo-after-pop", "restore-before-lock",
                                         "redo-after-pop", "restore-before-lock"}));
}
