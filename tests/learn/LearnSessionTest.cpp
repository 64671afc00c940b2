// Learn, state and undo on their own, without the plug-in's processor: the
// test is the audio thread and the timer.
#include "state/BaseValues.h"
#include "support/BareLearnRig.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <system_error>

using namespace orlix;
using testsupport::BareLearnRig;

namespace
{
const std::vector<float>& drums()
{
    static const auto x = testsupport::drumLoop(BareLearnRig::rate, 2.0, 120.0, 0.8f);
    return x;
}
} // namespace

TEST(LearnSession, ArmsOnTheFirstTickListensAndFinishesWithoutAProcessor)
{
    BareLearnRig rig;
    rig.setParameter(pSource, (float)sourceDrum);
    rig.learn.tick();
    rig.undo.beginUndoGesture();
    rig.setParameter(pRatio, 6.0f);
    rig.undo.commitUndoGesture();
    rig.undo.endUndoGesture();

    rig.learn.setLearnRequested(true);
    EXPECT_TRUE(rig.learn.fadesToDry());
    EXPECT_FALSE(rig.learn.isLearnListening());
    rig.learn.tick();
    EXPECT_TRUE(rig.learn.isLearnListening());
    EXPECT_FALSE(rig.undo.undo()); // undo waits while a run is on
    EXPECT_FLOAT_EQ(rig.state.rawParameter(pRatio), 6.0f);

    ASSERT_TRUE(rig.learnFrom(drums()));
    const auto& result = rig.learn.getLastLearnResult();
    ASSERT_TRUE(result.valid);
    EXPECT_NEAR(rig.state.rawParameter(pThreshold), result.threshold, 0.051f);
    EXPECT_NEAR(rig.state.rawParameter(pRatio), result.ratio, 0.006f);
    EXPECT_EQ(rig.undo.undoSize(), 2u); // the edit, then the run
    EXPECT_TRUE(rig.learn.isDriveEqPending());
    {
        const juce::ScopedLock lock(rig.state.getStateLock());
        EXPECT_TRUE(rig.state.tree().hasProperty(ids::learnMkCurve));
    }
    rig.learn.tick();
    EXPECT_TRUE(rig.learn.target().available);
}

TEST(LearnSession, ACalibrationThreadThatCannotStartFinishesTheRunWithoutCalibration)
{
    BareLearnRig rig;
    rig.setParameter(pSource, (float)sourceDrum);
    rig.learn.tick();
    int starts = 0;
    rig.learn.setCalibrationThreadStarter(
        [&](std::function<void()> work)
        {
            if (++starts == 2)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(work));
        });

    ASSERT_TRUE(rig.learnFrom(drums()));
    EXPECT_EQ(starts, 2);
    ASSERT_TRUE(rig.learn.getLastLearnResult().valid);
    EXPECT_NEAR(rig.state.rawParameter(pRatio), rig.learn.getLastLearnResult().ratio, 0.006f);
    EXPECT_EQ(rig.undo.undoSize(), 1u);
    // The result is stored without make-up data: the engine makes up by its
    // plain estimate, and no drive table is measured for missing curves.
    {
        const juce::ScopedLock lock(rig.state.getStateLock());
        const auto& tree = rig.state.tree();
        EXPECT_TRUE((bool)tree.getProperty(ids::learnValid));
        EXPECT_FALSE(tree.hasProperty(ids::learnMkHist));
        EXPECT_FALSE(tree.hasProperty(ids::learnMkCurve));
    }
    EXPECT_FALSE(rig.learn.isDriveEqPending());
    EXPECT_FALSE(rig.state.buildEngineSettings(parseLearnCurves(rig.state.copyState())).histogramValid);
}

TEST(LearnSession, UndoWaitsWhileLearnIsBusyAndRestoresRefreshLearn)
{
    BareLearnRig rig;
    rig.undo.beginUndoGesture();
    rig.setParameter(pRatio, 6.0f);
    rig.undo.commitUndoGesture();
    rig.undo.endUndoGesture();
    ASSERT_EQ(rig.undo.undoSize(), 1u);

    bool busy = true;
    rig.undo.setBusyCheck([&] { return busy; });
    EXPECT_FALSE(rig.undo.undo());
    EXPECT_FLOAT_EQ(rig.state.rawParameter(pRatio), 6.0f);

    busy = false;
    int restores = 0;
    rig.undo.setRestoreListener([&] { ++restores; });
    EXPECT_TRUE(rig.undo.undo());
    EXPECT_EQ(restores, 1);
    EXPECT_FLOAT_EQ(rig.state.rawParameter(pRatio), 4.0f);
}

TEST(PluginState, LoadsAndSavesWithoutAProcessor)
{
    BareLearnRig writer, reader;
    writer.setParameter(pRatio, 7.0f);
    juce::MemoryBlock blob;
    writer.state.getStateInformation(blob);

    const int generation = reader.state.loadGeneration();
    reader.state.setStateInformation(blob.getData(), (int)blob.getSize());
    EXPECT_EQ(reader.state.loadGeneration(), generation + 1);
    EXPECT_TRUE(reader.state.takeHostStateLoaded());
    EXPECT_FALSE(reader.state.takeHostStateLoaded());
    EXPECT_FLOAT_EQ(reader.state.rawParameter(pRatio), 7.0f);
    float base = 0.0f;
    ASSERT_TRUE(getBaseValue(reader.state.tree(), "ratio", base));
    EXPECT_FLOAT_EQ(base, 4.0f); // the writer's base: the ratio was the user's own change
}
