#include "learn/MakeupCalibration.h"
#include "processor/OrlixAudioProcessor.h"
#include "state/BaseValues.h"
#include "state/StateIds.h"
#include "support/HostSimulation.h"
#include "support/LearnFixtures.h"
#include "support/Signals.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

using namespace orlix;
using testsupport::HostSimulation;
using testsupport::setParameter;

namespace
{
constexpr double rate = 48000.0;

const std::vector<float>& drums()
{
    static const auto x = testsupport::drumLoop(rate, 2.0, 120.0, 0.8f);
    return x;
}

const std::vector<float>& chord()
{
    static const auto x = testsupport::sustainedChord(rate, 2.0, 0.3f);
    return x;
}

float baseOf(OrlixAudioProcessor& p, ParameterIndex index)
{
    float v = 0.0f;
    const juce::ScopedLock lock(p.state().getStateLock());
    getBaseValue(p.getParameterState().state, parameterId(index), v);
    return v;
}

float normalised(OrlixAudioProcessor& p, ParameterIndex index, float value)
{
    return p.getParameterState().getParameter(parameterId(index))->convertTo0to1(value);
}
} // namespace

TEST(LearnRun, FinishesSetsTheControlsAsOneUndoStepAndStoresTheDriveTable)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    setParameter(p, pSource, (float)sourceDrum);
    setParameter(p, pNuance, 6.0f); // Loop
    host.tick();
    testsupport::GestureCounter gestures;
    p.addListener(&gestures);
    const auto before = p.undoHistory().takeSnapshot();

    ASSERT_TRUE(host.learn(drums()));
    p.removeListener(&gestures);

    const auto& result = p.learn().getLastLearnResult();
    ASSERT_TRUE(result.valid);
    EXPECT_GE(p.learn().getLastLearnStatistics().seconds, 8.0f);
    EXPECT_NEAR(p.state().rawParameter(pThreshold), result.threshold, 0.051f);
    EXPECT_NEAR(p.state().rawParameter(pRatio), result.ratio, 0.006f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pAutoMakeup), 1.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pCharacter), 0.0f); // Learn never sets the character itself
    EXPECT_EQ(p.state().baseCharacter(), result.character);
    EXPECT_GE(gestures.begun, 10);
    EXPECT_EQ(gestures.begun, gestures.ended);

    // The TARGET control becomes available with the profile's target.
    host.tick();
    EXPECT_TRUE(p.learn().target().available);
    EXPECT_FLOAT_EQ(p.learn().target().learnedDb, lookupProfile(sourceDrum, 6).targetDb);
    EXPECT_FLOAT_EQ(p.learn().target().shownDb, p.learn().target().learnedDb);
    EXPECT_GE(p.learn().target().maxDb, p.learn().target().learnedDb);
    EXPECT_FALSE(p.learn().target().edited);

    // Undo waits while the drive level table is on its way; the table arrives
    // in the background and is stored with the result.
    ASSERT_TRUE(p.learn().isDriveEqPending());
    EXPECT_FALSE(p.undoHistory().undo());
    ASSERT_TRUE(host.waitForDriveEq());
    {
        const juce::ScopedLock lock(p.state().getStateLock());
        const auto& tree = p.getParameterState().state;
        EXPECT_TRUE(tree.hasProperty(ids::learnDriveEq));
        EXPECT_TRUE(tree.hasProperty(ids::learnMkHist));
        EXPECT_TRUE(parseLearnCurves(tree).driveEqValid);
        EXPECT_EQ(p.undoHistory().undoSize(), 1u);
    }

    // One undo returns everything, Learn data included, to before the run.
    ASSERT_TRUE(p.undoHistory().undo());
    EXPECT_TRUE(p.undoHistory().takeSnapshot().isEquivalentTo(before));
    EXPECT_FALSE(p.getParameterState().state.hasProperty(ids::learnValid));
    host.tick();
    EXPECT_FALSE(p.learn().target().available);
}

TEST(LearnRun, KeepsListeningWhenPlaybackStopsAndCancelsCleanly)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    p.learn().setLearnRequested(true);
    host.play(std::vector<float>(drums().begin(), drums().begin() + (int)(rate * 1.5)));
    host.tick(); // drains what arrived since the last tick
    ASSERT_TRUE(p.learn().isLearnListening());
    const float progress = p.learn().status().progress;
    EXPECT_GT(progress, 0.0f);
    for (int i = 0; i < 50; ++i)
        host.tick(); // the host stopped: no audio, only the timer
    EXPECT_TRUE(p.learn().isLearnListening());
    EXPECT_FLOAT_EQ(p.learn().status().progress, progress);

    p.learn().setLearnRequested(false);
    host.tick();
    EXPECT_FALSE(p.learn().isLearnListening());
    EXPECT_EQ(p.learn().status().progress, 0.0f);
    EXPECT_FALSE(p.getParameterState().state.hasProperty(ids::learnValid));
}

TEST(LearnRun, QuietMaterialReportsLowSignalAndNeverFinishes)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    p.learn().setLearnRequested(true);
    const auto quiet = testsupport::sine(440.0, rate, (int)(rate * 5), 0.0005f);
    host.play(quiet);
    EXPECT_TRUE(p.learn().isLearnListening());
    EXPECT_TRUE(p.learn().status().signalLow);
    EXPECT_GT(p.learn().status().secondsAnalysed, 3.0f);
}

TEST(LearnRun, HeldGestureDelaysTheFinish)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    p.learn().setLearnRequested(true);
    p.undoHistory().beginUndoGesture();
    for (int i = 0; i < 6; ++i)
        host.play(drums());
    EXPECT_TRUE(p.learn().isLearnRequested());
    EXPECT_FALSE(p.getParameterState().state.hasProperty(ids::learnValid));
    p.undoHistory().endUndoGesture();
    host.tick();
    EXPECT_FALSE(p.learn().isLearnRequested());
    EXPECT_TRUE(p.learn().getLastLearnResult().valid);
}

TEST(LearnRun, HostLoadWhileListeningLetsTheRunFinishWithoutWriting)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    const auto saved = testsupport::saveState(p);
    p.learn().setLearnRequested(true);
    host.play(drums());
    p.setStateInformation(saved.getData(), (int)saved.getSize());
    const float ratioBefore = p.state().rawParameter(pRatio);
    ASSERT_TRUE(host.learn(drums()));
    EXPECT_FALSE(p.learn().getLastLearnResult().valid);
    EXPECT_FALSE(p.getParameterState().state.hasProperty(ids::learnValid));
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), ratioBefore);
    EXPECT_FALSE(p.undoHistory().canUndo());
}

TEST(LearnRemap, NuanceChangeKeepsTheUserOffsetAndResetsTheTarget)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    ASSERT_TRUE(host.learnAs(sourceVocal, chord()));

    // The user raises the threshold by 2 dB and moves TARGET.
    const float learnedThreshold = p.state().rawParameter(pThreshold);
    setParameter(p, pThreshold, learnedThreshold + 2.0f);
    const float offset =
        normalised(p, pThreshold, learnedThreshold + 2.0f) - normalised(p, pThreshold, learnedThreshold);
    ASSERT_TRUE(p.learn().setTargetFromMarker(5.2f));
    setParameter(p, pThreshold, p.state().rawParameter(pThreshold) + 2.0f);
    const float userOffset = normalised(p, pThreshold, p.state().rawParameter(pThreshold)) -
                             normalised(p, pThreshold, baseOf(p, pThreshold));
    EXPECT_NEAR(userOffset, offset, 1e-3f);

    setParameter(p, pNuance, 1.0f); // Lead -> Backing
    host.tick();
    const float newBase = baseOf(p, pThreshold);
    EXPECT_NEAR(normalised(p, pThreshold, p.state().rawParameter(pThreshold)) -
                    normalised(p, pThreshold, newBase),
                userOffset, 2e-3f);
    EXPECT_DOUBLE_EQ((double)p.getParameterState().state.getProperty(ids::targetDb), 6.0);
    host.tick();
    EXPECT_FLOAT_EQ(p.learn().target().learnedDb, 6.0f);
    EXPECT_TRUE(p.learn().target().edited); // the kept offset shows as an edit
}

TEST(LearnRemap, AutoRepicksOnSourceChangeAConcreteCharacterOnlyMovesTheBase)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    setParameter(p, pSource, (float)sourceDrum);
    host.tick();
    ASSERT_TRUE(host.learn(drums()));
    const auto stats = p.learn().getLastLearnStatistics();

    setParameter(p, pSource, (float)sourcePiano);
    host.tick();
    const int autoPick = mapping::mapLearn(stats, sourcePiano, 0, 0).character;
    EXPECT_EQ(p.state().baseCharacter(), autoPick);
    EXPECT_EQ(p.state().effectiveCharacter(), autoPick);

    setParameter(p, pCharacter, (float)characterVca);
    setParameter(p, pSource, (float)sourceDrum);
    host.tick();
    EXPECT_FLOAT_EQ(p.state().rawParameter(pCharacter), (float)characterVca);
    EXPECT_EQ(p.state().baseCharacter(), mapping::mapLearn(stats, sourceDrum, 0, 0).character);
    EXPECT_EQ(p.state().effectiveCharacter(), characterVca);
}

TEST(LearnTarget, SnapsToTheLearnValueAndStopsAtTheMaximum)
{
    OrlixAudioProcessor p;
    HostSimulation host(p);
    ASSERT_TRUE(host.learnAs(sourceDrum, drums()));
    const float learned = p.learn().target().learnedDb;
    const auto stored = [&] { return (double)p.getParameterState().state.getProperty(ids::targetDb); };

    ASSERT_TRUE(p.learn().setTargetFromMarker(learned + 0.004f));
    EXPECT_NEAR(stored(), learned, 1e-9);
    ASSERT_TRUE(p.learn().setTargetFromMarker(5.04f));
    EXPECT_NEAR(stored(), 5.0, 1e-9);
    ASSERT_TRUE(p.learn().setTargetFromMarker(50.0f));
    EXPECT_NEAR(stored(), std::round(p.learn().target().maxDb * 100.0) / 100.0, 1e-6);
    host.tick();
    EXPECT_NEAR(p.learn().target().shownDb, p.learn().target().maxDb, 0.006f);
    EXPECT_FALSE(p.learn().target().edited); // TARGET moves the base values with the controls

    p.learn().setLearnRequested(true);
    EXPECT_FALSE(p.learn().setTargetFromMarker(3.0f));
}

TEST(MakeupCalibration, CurvesStartAtTheOriginAndNeverGoBack)
{
    const auto finished = testsupport::learnFrom(testsupport::drumLoop(rate, 4.0), rate);
    const auto result = mapping::mapForProfileTarget(finished.statistics, sourceDrum, 0, 0);
    ASSERT_TRUE(result.valid);
    const auto histogram = calibration::buildMakeupHistogram(finished.captured, rate);
    ASSERT_TRUE(histogram.valid);
    float total = 0.0f;
    for (float w : histogram.weights)
        total += w;
    EXPECT_NEAR(total, 1.0f, 1e-4f);

    const calibration::CalibrationContext context{result, finished.statistics, finished.captured, rate,
                                                  histogram};
    for (int character : {1, 2, 3})
    {
        const auto curve = calibration::buildMakeupCurve(character, context);
        ASSERT_TRUE(curve.valid);
        EXPECT_EQ(curve.points.x[0], 0.0f);
        EXPECT_EQ(curve.points.y[0], 0.0f);
        for (size_t i = 1; i < 13; ++i)
            EXPECT_GE(curve.points.x[i], curve.points.x[i - 1]) << character;
    }
    const auto texts = calibration::runCalibration(result, finished.statistics, finished.captured, rate);
    ASSERT_TRUE(texts.has_value());
    EXPECT_EQ(texts->curves.upToFirstOccurrenceOf("|", false, false).length() > 0, true);
    EXPECT_EQ(juce::StringArray::fromTokens(texts->curves, "|", "").size(), 3);
}

TEST(MakeupCalibration, TooLittleAudioGivesNoDataOrSkipsTheEnginePass)
{
    const auto tiny = testsupport::noise((int)(0.019 * rate), 0.5f);
    EXPECT_FALSE(calibration::buildMakeupHistogram(tiny, rate).valid);
    EXPECT_FALSE(calibration::runCalibration(LearnResult{}, LearnStatistics{}, tiny, rate).has_value());

    float drop = 123.0f;
    const auto halfSecond = testsupport::drumLoop(rate, 0.9);
    EXPECT_FALSE(calibration::engineLoudnessDrop(calibration::learnedSettings(LearnResult{}, 3), halfSecond,
                                                 rate, drop));
    EXPECT_EQ(drop, 123.0f);
    const auto enough = testsupport::drumLoop(rate, 1.1);
    LearnResult heavy;
    heavy.threshold = -40.0f;
    heavy.ratio = 8.0f;
    ASSERT_TRUE(calibration::engineLoudnessDrop(calibration::learnedSettings(heavy, 3), enough, rate, drop));
    EXPECT_GT(drop, 3.0f);
}

TEST(MakeupCalibration, AThreadThatCannotStartLeavesTheCalibrationUnavailable)
{
    const auto finished = testsupport::learnFrom(testsupport::drumLoop(rate, 4.0), rate);
    const auto result = mapping::mapForProfileTarget(finished.statistics, sourceDrum, 0, 0);
    ASSERT_TRUE(result.valid);

    // The first or the second thread fails to start; one that did start must be
    // joined (a joinable thread going out of scope would end the host).
    for (int failingCall : {0, 1})
    {
        int calls = 0;
        const calibration::ThreadStarter failing = [&](std::function<void()> work)
        {
            if (calls++ == failingCall)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(work));
        };
        const auto texts =
            calibration::runCalibration(result, finished.statistics, finished.captured, rate, failing);
        EXPECT_FALSE(texts.has_value()) << failingCall;
        EXPECT_EQ(calls, failingCall + 1);
    }
}
