#include "processor/MeterHistory.h"

#include <gtest/gtest.h>

using namespace orlix;

TEST(MeterHistory, BlockLongerThanAFrameWritesWholeFramesAndKeepsTheRestPending)
{
    MeterHistory history;
    history.setHop(480);
    history.clear();
    history.write(1024, 0.5f, 0.25f, 3.0f, 1000.0);
    ASSERT_EQ(history.writeCount(), 2);
    EXPECT_EQ(history.pendingSamples(), 64);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_NEAR(history.frame(i).inputDb, -6.0206f, 1e-3f);
        EXPECT_NEAR(history.frame(i).outputDb, -12.041f, 1e-3f);
        EXPECT_FLOAT_EQ(history.frame(i).gainReductionDb, 3.0f);
    }
}

TEST(MeterHistory, HostResetWritesOneEmptyFramePer10msOfWallClock)
{
    MeterHistory history;
    history.setHop(480);
    history.clear();
    history.write(480, 1.0f, 1.0f, 6.0f, 0.0);
    history.noteReset(1000.0);
    history.noteReset(1100.0); // a second reset counts from the first
    history.write(480, 1.0f, 1.0f, 6.0f, 1250.0);
    ASSERT_EQ(history.writeCount(), 1 + 25 + 1);
    for (int i = 1; i <= 25; ++i)
    {
        EXPECT_EQ(history.frame(i).inputDb, -100.0f);
        EXPECT_EQ(history.frame(i).gainReductionDb, 0.0f);
    }
    EXPECT_FLOAT_EQ(history.frame(26).gainReductionDb, 6.0f);
    EXPECT_EQ(history.resetMs(), -1.0);
}

TEST(MeterHistory, GapIsLimitedToTheRingAndNeverNegative)
{
    MeterHistory history;
    history.clear();
    history.noteReset(0.0);
    history.write(1, 0.0f, 0.0f, 0.0f, 1.0e7);
    EXPECT_EQ(history.writeCount(), MeterHistory::capacity);

    history.clear();
    history.noteReset(500.0);
    history.write(1, 0.0f, 0.0f, 0.0f, 400.0); // clock behind the reset stamp
    EXPECT_EQ(history.writeCount(), 0);
}

TEST(MeterHistory, SilenceAndTinyLevelsFloorAtMinus100)
{
    EXPECT_EQ(levelDb(0.0f), -100.0f);
    EXPECT_EQ(levelDb(1e-9f), -100.0f);
    EXPECT_NEAR(levelDb(1.0f), 0.0f, 1e-6f);
}
