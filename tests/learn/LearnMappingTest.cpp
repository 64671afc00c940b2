#include "learn/LearnMapping.h"
#include "engine/CharacterModel.h"
#include "processor/ParameterLayout.h"
#include "support/LearnFixtures.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;
using namespace orlix::mapping;

namespace
{
constexpr double rate = 48000.0;

const LearnStatistics& drumStatistics()
{
    static const auto stats =
        testsupport::learnFrom(testsupport::drumLoop(rate, 4.0, 120.0, 0.8f), rate).statistics;
    return stats;
}

// Statistics whose character scores are known: FET = 1.5 + 0.7 + hfTerm, OPTO = 1.6.
LearnStatistics scoredStatistics(float hf)
{
    auto s = drumStatistics();
    s.crest = 20.0f;
    s.rise = 13.7f;
    s.hf = hf;
    s.sustain = 0.2f + (1.6f - 8.7f * 2.0f / 55.0f) * 0.6f / 1.5f;
    return s;
}
} // namespace

TEST(LearnMapping, StatisticsWithoutAUsableTraceMapToTheDefaults)
{
    auto s = drumStatistics();
    s.traceRms.pop_back();
    const auto r = mapLearn(s, sourceDrum, 0, 0);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.threshold, -18.0f);
    EXPECT_EQ(r.ratio, 4.0f);
    EXPECT_EQ(r.attack, 10.0f);
    EXPECT_EQ(r.release, 200.0f);
    EXPECT_EQ(r.knee, 6.0f);
    EXPECT_EQ(r.mix, 100.0f);
    EXPECT_EQ(r.character, 3);
    EXPECT_EQ(findThreshold(s, r, 4.0f, 4.0f, 6.0f), -1.0f); // no detector curve to search on
}

TEST(LearnMapping, ThresholdSearchReachesTheTargetOnRealMaterial)
{
    const auto& s = drumStatistics();
    for (int character : {1, 2, 3})
    {
        const auto r = mapLearn(s, sourceDrum, 0, character);
        ASSERT_TRUE(r.valid);
        const auto curve = buildDetectorCurve(s, character);
        const float reached = estimateGainReduction(curve, s, r, r.threshold, r.ratio, r.knee);
        // 18 bisection steps over 59 dB leave well under 0.01 dB of threshold uncertainty.
        EXPECT_NEAR(reached, lookupProfile(sourceDrum, 0).targetDb, 0.05f) << character;
        EXPECT_GT(r.threshold, -60.0f);
        EXPECT_LT(r.threshold, -1.0f);
    }
}

TEST(LearnMapping, MaterialTooQuietForTheTargetGetsTheLowestThreshold)
{
    // A steady -58 dBFS level cannot give 20 dB of reduction even at -60.
    const auto s = testsupport::steadyTraceStatistics(84, 80);
    LearnResult r;
    r.character = 3;
    EXPECT_EQ(findThreshold(s, r, 20.0f, 4.0f, 6.0f), -60.0f);
}

TEST(LearnMapping, AutoPicksAnotherCharacterOnlyByAClearMargin)
{
    // Vocal prefers OPTO (score 1.6 here); FET must win by 1.5 or more.
    LearnResult scores;
    const auto vocal = lookupProfile(sourceVocal, 0);
    EXPECT_EQ(chooseCharacter(scoredStatistics(0.4f), vocal, scores), characterFetIndex);
    EXPECT_NEAR(scores.fetScore, 3.2f, 1e-4f);
    EXPECT_NEAR(scores.optoScore, 1.6f, 1e-4f);
    EXPECT_EQ(scores.vcaScore, 1.6f);
    EXPECT_EQ(chooseCharacter(scoredStatistics(0.33f), vocal, scores), characterOptoIndex);
    EXPECT_NEAR(scores.fetScore, 3.0f, 1e-4f);
}

TEST(LearnMapping, ForcedCharacterScalesTimesAndKneeAgainstVca)
{
    const auto& s = drumStatistics();
    const auto vca = mapLearn(s, sourceGuitar, 1, characterVcaIndex);
    const auto fet = mapLearn(s, sourceGuitar, 1, characterFetIndex);
    const auto opto = mapLearn(s, sourceGuitar, 1, characterOptoIndex);
    EXPECT_FLOAT_EQ(fet.attack, vca.attack * 0.5f);
    EXPECT_FLOAT_EQ(fet.release, vca.release * 0.7f);
    EXPECT_FLOAT_EQ(opto.attack, vca.attack * 2.5f);
    const float vcaKnee = vca.knee; // within 1..24, so the factor applies unclipped
    EXPECT_NEAR(fet.knee, std::max(vcaKnee * 0.3f, 1.0f), 1e-5f);
    EXPECT_NEAR(opto.knee, std::min(vcaKnee * 2.0f, 24.0f), 1e-5f);
    EXPECT_NE(fet.threshold, vca.threshold); // each searched with its own model
}

TEST(LearnMapping, RatioAndKneeFollowTheTarget)
{
    LearnResult r;
    r.ratio = 3.0f;
    r.knee = 5.0f;
    const auto profile = lookupProfile(sourceUniversal, 1); // target 4, ratio max 5
    const auto same = ratioKneeForTarget(r, profile, 4.0f);
    EXPECT_FLOAT_EQ(same.ratio, 3.0f);
    EXPECT_NEAR(same.knee, 21.0f * 0.24f, 1e-5f); // 5 dB is 20.8 % of 24 dB, rounded to 21 %
    const auto fourTimes = ratioKneeForTarget(r, profile, 16.0f);
    EXPECT_FLOAT_EQ(fourTimes.ratio, 5.0f); // 1 + 2 x 2 = 5, at the profile's limit
    EXPECT_NEAR(fourTimes.knee, 42.0f * 0.24f, 1e-5f);
    const auto limited = ratioKneeForTarget(r, lookupProfile(sourceUniversal, 0), 20.0f);
    EXPECT_FLOAT_EQ(limited.ratio, 3.5f);
}

TEST(LearnMapping, DriveAmountFromTheLevelTable)
{
    for (int type = 0; type < 4; ++type)
    {
        EXPECT_NEAR(driveAmountForLevel(type, driveLevelTable[(size_t)type][0]), 5.0f, 1e-4f);
        EXPECT_EQ(driveAmountForLevel(type, 0.0f), 100.0f);
        EXPECT_NEAR(driveAmountForLevel(type, driveLevelTable[(size_t)type][9]), 50.0f, 1e-3f);
        EXPECT_EQ(driveAmountForLevel(type, -80.0f), 0.0f);
    }
    // Halfway between the 10 % and 15 % levels of TUBE.
    EXPECT_NEAR(driveAmountForLevel(0, (-26.6f + -22.1f) / 2.0f), 12.5f, 1e-3f);
}

TEST(LearnMapping, ProfileTargetMappingRoundsTheThreshold)
{
    const auto& s = drumStatistics();
    const auto r = mapForProfileTarget(s, sourceDrum, 6, 0);
    ASSERT_TRUE(r.valid);
    EXPECT_NEAR(r.threshold * 10.0f, std::round(r.threshold * 10.0f), 1e-3f);
    EXPECT_NEAR(r.ratio * 100.0f, std::round(r.ratio * 100.0f), 1e-2f);
    EXPECT_GE(r.mix, lookupProfile(sourceDrum, 6).mixFloor);
    EXPECT_EQ(r.driveType, lookupProfile(sourceDrum, 6).driveType);
    EXPECT_TRUE(r.autoRelease);
}

TEST(TargetLimits, CachesPerInputsAndFindsTheDeepestReachableTarget)
{
    const auto& s = drumStatistics();
    MappingCache cache;
    const auto* first = targetLimits(cache, sourceDrum, 0, 2, 1, &s);
    ASSERT_NE(first, nullptr);
    const float maxTarget = first->maxTarget;
    EXPECT_GE(maxTarget, lookupProfile(sourceDrum, 0).targetDb);
    EXPECT_LE(maxTarget, 20.0f);
    EXPECT_NEAR(maxTarget * 10.0f, std::round(maxTarget * 10.0f), 1e-3f);
    if (maxTarget < 20.0f)
    {
        // The next 0.1 dB step beyond the limit is out of reach at the lowest threshold.
        const auto rk = ratioKneeForTarget(first->result, first->profile, maxTarget + 0.2f);
        EXPECT_LT(
            estimateGainReduction(buildDetectorCurve(s, 2), s, first->result, -60.0f, rk.ratio, rk.knee),
            maxTarget + 0.2f);
    }

    cache.maxTarget = -5.0f; // marks the cached entry
    EXPECT_EQ(targetLimits(cache, sourceDrum, 0, 2, 1, &s)->maxTarget, -5.0f);
    EXPECT_NE(targetLimits(cache, sourceDrum, 0, 2, 2, &s)->maxTarget, -5.0f); // new revision
    EXPECT_EQ(targetLimits(cache, sourceDrum, 0, 2, 2, nullptr), nullptr);
    EXPECT_FALSE(cache.valid);
}
