#include "engine/DriveEqWorker.h"
#include "engine/DynamicsEngine.h"
#include "engine/Loudness.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <thread>

using namespace orlix;

namespace
{
EngineSettings learnedSettings()
{
    EngineSettings s;
    s.thresholdDb = -24.0f;
    s.ratio = 3.0f;
    s.character = 2;
    return s;
}

bool waitForResult(DriveEqWorker& worker, DriveEqTable& table, int& id, double seconds)
{
    const auto until = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
    while (juce::Time::getMillisecondCounterHiRes() < until)
    {
        if (worker.takeResult(table, id))
            return true;
        juce::Thread::sleep(5);
    }
    return false;
}
} // namespace

TEST(RenderOffline, OutputIsLatencyAlignedAndTheTailIsFlushed)
{
    // Mix 0 and no make-up: the render must be the input itself, sample for sample.
    EngineSettings s;
    s.mix = 0.0f;
    s.autoMakeup = false;
    s.driveOn = true;
    s.driveAmount = 30.0f;
    const auto x = testsupport::drumLoop(48000.0, 1.3);
    const float* channels[1] = {x.data()};
    std::vector<std::vector<float>> scratch;
    const auto r = renderOffline(channels, 1, (int)x.size(), 48000.0, s, scratch, {});
    ASSERT_FALSE(r.aborted);
    ASSERT_EQ(scratch.size(), 1u);
    ASSERT_EQ(scratch[0].size(), x.size());
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_NEAR(scratch[0][i], x[i], 1e-6f) << i;
    EXPECT_NEAR(r.peak, testsupport::peakOf(x.data(), (int)x.size()), 1e-6f);
    EXPECT_NEAR(r.loudness, loudness::integratedLoudness({x}, 48000.0), 1e-4f);
}

TEST(RenderOffline, AbortIsCheckedEvery64Blocks)
{
    const auto x = testsupport::noise(48000 * 2, 0.3f);
    const float* channels[1] = {x.data()};
    std::vector<std::vector<float>> scratch;
    int asked = 0;
    const auto r = renderOffline(channels, 1, (int)x.size(), 48000.0, EngineSettings{}, scratch,
                                 [&]
                                 {
                                     ++asked;
                                     return asked == 2; // the second question comes before block 64
                                 });
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.loudness, -100.0f);
    EXPECT_EQ(asked, 2);
}

TEST(DriveEqTable, CompensationFollowsLoudnessUnlessThePeakLimitWins)
{
    const RenderResult reference{-20.0f, 0.5f, false};
    const float peakHalfDbUp = 0.5f * std::pow(10.0f, 0.5f / 20.0f);
    const float peak3DbUp = 0.5f * std::pow(10.0f, 3.0f / 20.0f);
    EXPECT_NEAR(DriveEqWorker::compensationFor(reference, {-18.0f, peakHalfDbUp, false}), -2.0f, 1e-4f);
    EXPECT_NEAR(DriveEqWorker::compensationFor(reference, {-22.0f, peak3DbUp, false}), -2.0f, 1e-4f);
    EXPECT_EQ(DriveEqWorker::compensationFor(reference, {-100.0f, 0.0f, false}), 0.0f);
}

TEST(DriveEqTable, ShortOrSilentAudioGivesAnInvalidTable)
{
    const auto tooShort = testsupport::noise((int)(0.39 * 48000), 0.5f);
    EXPECT_FALSE(DriveEqWorker::measure({tooShort}, 48000.0, learnedSettings(), {}).valid);
    EXPECT_FALSE(
        DriveEqWorker::measure({std::vector<float>(48000, 0.0f)}, 48000.0, learnedSettings(), {}).valid);
}

TEST(DriveEqWorker, StopDuringAJobPublishesNothing)
{
    DriveEqWorker worker;
    auto x = testsupport::drumLoop(48000.0, 10.0);
    worker.start(std::move(x), 48000.0, 7, learnedSettings(), {});
    juce::Thread::sleep(50);
    const auto before = juce::Time::getMillisecondCounterHiRes();
    worker.stop();
    // An abort check comes every 64 blocks of 512 samples: well under a second of work.
    EXPECT_LT(juce::Time::getMillisecondCounterHiRes() - before, 5000.0);
    DriveEqTable table;
    int id = 0;
    EXPECT_FALSE(worker.takeResult(table, id));
}

TEST(DriveEqWorker, OnlyTheLatestJobPublishes)
{
    DriveEqWorker worker;
    worker.start(testsupport::drumLoop(48000.0, 2.0), 48000.0, 1, learnedSettings(), {});
    worker.start(testsupport::sustainedChord(48000.0, 1.0), 48000.0, 2, learnedSettings(), {});
    DriveEqTable table;
    int id = 0;
    ASSERT_TRUE(waitForResult(worker, table, id, 120.0));
    EXPECT_EQ(id, 2);
    EXPECT_TRUE(table.valid);
    for (const auto& row : table.levels)
    {
        EXPECT_EQ(row[0], 0.0f);
        for (float v : row)
            EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_FALSE(worker.takeResult(table, id)); // taken once
}
