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
    p.undoHistory().beginUndoGesture();
    p.undoHistory().commitUndoGesture(); // nothing changed yet
    EXPECT_FALSE(p.undoHistory().canUndo());
    for (float ratio : {5.0f, 6.0f, 7.0f})
    {
        setParameter(p, pRatio, ratio);
        p.undoHistory().commitUndoGesture();
    }
    p.undoHistory().endUndoGesture();
    EXPECT_EQ(p.undoHistory().undoSize(), 1u);
    ASSERT_TRUE(p.undoHistory().undo());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 4.0f); // the state from before the gesture

    // Clicking the choice that is already selected changes nothing.
    editParameter(p, pCharacter, 0.0f);
    EXPECT_TRUE(p.undoHistory().undoSize() == 0);
}

TEST(UndoGestures, AGestureBackToItsStartLeavesNothingToUndo)
{
    OrlixAudioProcessor p;
    p.undoHistory().beginUndoGesture();
    setParameter(p, pRatio, 6.0f);
    p.undoHistory().commitUndoGesture();
    setParameter(p, pRatio, 4.0f);
    p.undoHistory().commitUndoGesture();
    p.undoHistory().endUndoGesture();
    // The entry holds the state the knob returned to: undo skips it as equivalent.
    EXPECT_FALSE(p.undoHistory().undo());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 4.0f);
}

TEST(UndoGestures, BypassNeitherMakesEntriesNorChangesWithUndo)
{
    OrlixAudioProcessor p;
    editParameter(p, pBypass, 1.0f);
    EXPECT_FALSE(p.undoHistory().canUndo());

    editParameter(p, pRatio, 8.0f);
    setParameter(p, pBypass, 0.0f);
    ASSERT_TRUE(p.undoHistory().undo());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pBypass), 0.0f);
    setParameter(p, pBypass, 1.0f);
    ASSERT_TRUE(p.undoHistory().redo());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 8.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pBypass), 1.0f);
}

TEST(UndoStacks, HundredEntriesAtMostAndRedoRules)
{
    OrlixAudioProcessor p;
    for (int i = 0; i < 101; ++i)
        editParameter(p, pThreshold, -20.0f - 0.1f * (float)i);
    EXPECT_EQ(p.undoHistory().undoSize(), 100u);
    int undone = 0;
    while (p.undoHistory().undo())
        ++undone;
    EXPECT_EQ(undone, 100);
    EXPECT_NEAR(p.state().rawParameter(pThreshold), -20.0f, 1e-4f); // the very first state is gone

    ASSERT_TRUE(p.undoHistory().redo());
    ASSERT_TRUE(p.undoHistory().redo());
    EXPECT_EQ(p.undoHistory().undoSize(), 2u); // redo keeps the undo entries
    editParameter(p, pRatio, 9.0f);
    EXPECT_TRUE(p.undoHistory().redoSize() == 0); // a new edit clears redo
}

TEST(UndoStacks, HostLoadEmptiesTheHistory)
{
    OrlixAudioProcessor p;
    editParameter(p, pRatio, 6.0f);
    editParameter(p, pRatio, 7.0f);
    ASSERT_TRUE(p.undoHistory().undo());
    const auto blob = testsupport::saveState(p);
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    EXPECT_FALSE(p.undoHistory().undo());
    EXPECT_FALSE(p.undoHistory().redo());
    EXPECT_FALSE(p.undoHistory().canUndo());
    EXPECT_FALSE(p.undoHistory().canRedo());
}

TEST(UndoStacks, RefusedWhileLearnRunsTheDriveTableIsPendingOrAGestureIsOpen)
{
    OrlixAudioProcessor p;
    editParameter(p, pRatio, 6.0f);
    p.learn().setLearnRequested(true);
    EXPECT_FALSE(p.undoHistory().undo());
    p.learn().setLearnRequested(false);
    p.undoHistory().beginUndoGesture();
    EXPECT_FALSE(p.undoHistory().undo());
    p.undoHistory().endUndoGesture();
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 6.0f);
    EXPECT_TRUE(p.undoHistory().undo());
}

TEST(UndoStacks, TargetChangeAloneMakesAnEntryAndUndoRestoresLearnKeys)
{
    OrlixAudioProcessor p;
    testsupport::writeSampleLearnResult(p);
    p.undoHistory().beginUndoGesture();
    {
        const juce::ScopedLock lock(p.state().getStateLock());
        p.getParameterState().state.setProperty(ids::targetDb, 7.5, nullptr);
    }
    p.undoHistory().commitUndoGesture();
    p.undoHistory().endUndoGesture();
    ASSERT_EQ(p.undoHistory().undoSize(), 1u);
    ASSERT_TRUE(p.undoHistory().undo());
    EXPECT_DOUBLE_EQ((double)p.getParameterState().state.getProperty(ids::targetDb), 5.25);
}

TEST(UndoStacks, CheckpointsAreReachedInOrder)
{
    OrlixAudioProcessor p;
    juce::StringArray labels;
    p.state().setCheckpointHook([&](const juce::String& label) { labels.add(label); });
    editParameter(p, pRatio, 6.0f);
    p.undoHistory().undo();
    p.undoHistory().redo();
    EXPECT_EQ(labels, juce::StringArray({"commit-before-push", "undo-after-pop", "restore-before-lock",
                                         "redo-after-pop", "restore-before-lock"}));
}
