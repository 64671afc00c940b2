// The make-up histogram sorts 20 ms blocks into 1 dB bins of RMS level, and the engine reads
// each bin back at its centre: both ends must agree on which bin a level lands in.
#include "engine/GainComputer.h"
#include "learn/MakeupCalibration.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;

// A 1 kHz sine (a whole number of periods per 20 ms block) with the given RMS level.
std::vector<float> sineAtRms(double rmsDb)
{
    const auto amplitude = (float)(std::sqrt(2.0) * std::pow(10.0, rmsDb / 20.0));
    return testsupport::sine(1000.0, rate, (int)rate, amplitude);
}

int fullestBin(const calibration::MakeupHistogram& h)
{
    return (int)(std::max_element(h.weights.begin(), h.weights.end()) - h.weights.begin());
}
} // namespace

TEST(MakeupHistogram, ASineLandsInTheBinOfItsRmsLevelWithItsCrestFactor)
{
    // Bin b holds levels from b - 80 to b - 79 dBFS: -19.5 dBFS is the middle of bin 60,
    // -20.5 dBFS the middle of bin 59, -79.5 of bin 0; anything louder than 0 dBFS is bin 80.
    const std::pair<double, int> cases[] = {{-19.5, 60}, {-20.5, 59}, {-79.5, 0}, {-0.5, 79}, {1.0, 80}};
    for (auto [level, bin] : cases)
    {
        const auto h = calibration::buildMakeupHistogram(sineAtRms(level), rate);
        ASSERT_TRUE(h.valid) << level;
        EXPECT_EQ(fullestBin(h), bin) << level;
        EXPECT_NEAR(h.weights[(size_t)bin], 1.0f, 1e-6f) << level;
        // A sine's peak is 3.01 dB above its RMS (the guard against log 0 adds 0.06 dB at -80).
        EXPECT_NEAR(h.values[(size_t)bin], 3.01f, 0.1f) << level;
    }
}

TEST(MakeupHistogram, TheEngineReadsTheBinBackAtItsCentre)
{
    // Material that sits at -19.5 dBFS RMS: the engine's learned make-up estimate must be the
    // static gain reduction at that level (OPTO listens to RMS, VCA halfway to the peak).
    const auto h = calibration::buildMakeupHistogram(sineAtRms(-19.5), rate);
    ASSERT_TRUE(h.valid);
    EngineSettings s;
    s.thresholdDb = -30.0f;
    s.ratio = 4.0f;
    s.kneeDb = 0.0f;
    s.learnCurvesPresent = s.histogramValid = true;
    s.histogramWeight = h.weights;
    s.histogramCrest = h.values;
    for (int character : {characterOptoIndex, characterVcaIndex})
    {
        s.character = character;
        const float level = -19.5f + characterModel(character).peakShare * 3.01f;
        const float expected = staticGainReduction(level, s.thresholdDb, s.ratio, 0.01f, character);
        EXPECT_GT(expected, 7.0f);
        EXPECT_NEAR(automaticMakeup(s), expected, 0.05f) << character;
    }
}
