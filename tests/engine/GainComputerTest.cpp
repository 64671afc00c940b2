#include "engine/GainComputer.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;

TEST(GainComputer, SoftKneeCurvePoints)
{
    EXPECT_NEAR(gainComputer(0.0f, 4.0f, 6.0f), 0.5625f, 1e-6f);
    EXPECT_NEAR(gainComputer(-2.0f, 4.0f, 6.0f), 0.0625f, 1e-6f);
    EXPECT_NEAR(gainComputer(-3.0f, 4.0f, 6.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(gainComputer(8.0f, 4.0f, 6.0f), 6.0f, 1e-6f);
    // A 0.01 dB knee is a hard knee for every practical overshoot.
    EXPECT_NEAR(gainComputer(1.0f, 4.0f, 0.01f), 0.75f, 1e-6f);
    EXPECT_EQ(gainComputer(-0.1f, 4.0f, 0.01f), 0.0f);
    // Ratios below 1 do not expand.
    EXPECT_EQ(gainComputer(10.0f, 0.5f, 6.0f), 0.0f);
}

TEST(GainComputer, StaticCurveDependsOnTheCharacter)
{
    EXPECT_NEAR(staticGainReduction(-10.0f, -18.0f, 4.0f, 6.0f, characterOptoIndex), 6.408f, 1e-3f);
    EXPECT_NEAR(staticGainReduction(-10.0f, -18.0f, 4.0f, 6.0f, characterFetIndex), 6.273f, 1e-3f);
    EXPECT_NEAR(staticGainReduction(-10.0f, -18.0f, 4.0f, 6.0f, characterVcaIndex), 6.0f, 1e-5f);
    EXPECT_NEAR(staticGainReduction(-10.0f, -18.0f, 4.0f, 6.0f, 0), 6.0f, 1e-5f); // unknown index acts as VCA
}

TEST(GainComputer, DefaultMakeupWithoutLearnData)
{
    EngineSettings s;
    EXPECT_NEAR(automaticMakeup(s), 6.0f, 1e-4f);
    s.mix = 0.5f;
    EXPECT_NEAR(automaticMakeup(s), 3.0f, 1e-4f);
    s.autoMakeup = false;
    EXPECT_EQ(automaticMakeup(s), 0.0f);
}

namespace
{
EngineSettings settingsWithHistogram(std::initializer_list<std::pair<int, float>> bins)
{
    EngineSettings s;
    s.learnCurvesPresent = true;
    s.histogramValid = true;
    for (auto [bin, weight] : bins)
        s.histogramWeight[(size_t)bin] = weight;
    return s;
}
} // namespace

TEST(GainComputer, LearnedMakeupIsTheMeanPowerLossOverTheHistogram)
{
    // All energy in the bin at -10.5 dBFS RMS (bin 69), no crest: VCA at -18 dB, ratio 4,
    // knee 6: the level -10.5 gets 5.625 dB of reduction, so the loss is exactly that.
    auto s = settingsWithHistogram({{69, 1.0f}});
    EXPECT_NEAR(automaticMakeup(s), staticGainReduction(-10.5f, -18.0f, 4.0f, 6.0f, 3), 1e-4f);

    // Half the energy below the threshold: the loss is the power average of both bins.
    auto half = settingsWithHistogram({{69, 0.5f}, {20, 0.5f}});
    const double g = std::pow(10.0, -staticGainReduction(-10.5f, -18.0f, 4.0f, 6.0f, 3) / 20.0);
    EXPECT_NEAR(automaticMakeup(half), -10.0 * std::log10(0.5 * g * g + 0.5), 1e-4);

    // Histogram present but flagged invalid: the plain estimate applies.
    s.histogramValid = false;
    EXPECT_NEAR(automaticMakeup(s), 6.0f, 1e-4f);

    // No weight at all: no learned make-up.
    auto empty = settingsWithHistogram({});
    EXPECT_EQ(automaticMakeup(empty), 0.0f);
}

TEST(GainComputer, LearnedMakeupPeakShareUsesTheBinCrest)
{
    auto s = settingsWithHistogram({{60, 1.0f}});
    s.histogramCrest[60] = 8.0f;
    s.character = characterFetIndex; // peak share 1: the detector sees RMS + crest
    EXPECT_NEAR(automaticMakeup(s), staticGainReduction(-19.5f + 8.0f, -18.0f, 4.0f, 6.0f, 2), 1e-4f);
    s.character = characterOptoIndex; // peak share 0: the crest is ignored
    EXPECT_NEAR(automaticMakeup(s), staticGainReduction(-19.5f, -18.0f, 4.0f, 6.0f, 1), 1e-4f);
}

TEST(GainComputer, CurveCorrectionInterpolatesAndClampsAtTheEnds)
{
    auto s = settingsWithHistogram({{69, 1.0f}});
    const float w = automaticMakeup(s); // 5.625 dB before correction
    s.curveValid = true;
    for (size_t i = 0; i < 13; ++i)
    {
        s.curveX[i] = (float)i;        // 0 .. 12 dB
        s.curveY[i] = 0.1f * (float)i; // correction grows 0.1 dB per dB
    }
    EXPECT_NEAR(automaticMakeup(s), w + 0.1f * w, 1e-4f);

    s.curveX.fill(20.0f);
    s.curveX[0] = 0.0f;
    s.curveY.fill(2.0f);
    s.curveY[0] = 0.0f;
    EXPECT_NEAR(automaticMakeup(s), w + w / 20.0f * 2.0f, 1e-4f);

    s.curveX.fill(1.0f); // w beyond the last point takes the last correction
    s.curveX[0] = 0.0f;
    s.curveY[12] = -1.5f;
    EXPECT_NEAR(automaticMakeup(s), w - 1.5f, 1e-4f);
}

TEST(LevelDetector, CoefficientsFollowTheTimesWithFloors)
{
    EngineSettings s;
    s.attackMs = 0.1f;
    auto c = detectorCoefficients(s, vcaModel, 48000.0);
    EXPECT_NEAR(c.attack, std::exp(-1.0f / 4.8f), 1e-5f);
    EXPECT_NEAR(c.attack, 0.812f, 1e-3f);

    s.attackMs = 0.01f;
    auto floorA = detectorCoefficients(s, vcaModel, 48000.0);
    s.attackMs = 0.05f;
    EXPECT_FLOAT_EQ(floorA.attack, detectorCoefficients(s, vcaModel, 48000.0).attack);

    // Auto release swaps the release time for the character's own.
    s.autoRelease = true;
    s.releaseMs = 1000.0f;
    EXPECT_NEAR(detectorCoefficients(s, fetModel, 48000.0).release, std::exp(-1.0f / (0.07f * 48000.0f)),
                1e-6f);
    EXPECT_NEAR(detectorCoefficients(s, vcaModel, 48000.0).release, std::exp(-1.0f / (0.1f * 48000.0f)),
                1e-6f);
    // FET's RMS window of 0 means 5 ms.
    EXPECT_FLOAT_EQ(detectorCoefficients(s, fetModel, 48000.0).rms,
                    detectorCoefficients(s, vcaModel, 48000.0).rms);
}

namespace
{
// With a huge ratio and a hard knee the gain reduction equals the overshoot, so
// the detector's level can be read back as gain reduction + threshold.
float settledLevel(const CharacterModel& model, int character, const std::vector<float>& x)
{
    EngineSettings s;
    s.character = character;
    const auto c = detectorCoefficients(s, model, 48000.0);
    const DetectorControls k{model.peakShare, 0.0f, 0.0f, 0.0f, 0.01f, 1.0e9f, -80.0f};
    LevelDetector d;
    float sum = 0.0f;
    int count = 0;
    for (size_t i = 0; i < x.size(); ++i)
    {
        const float r = d.step(std::abs(x[i]), c, k);
        if (i >= x.size() - 4800)
        {
            sum += r;
            ++count;
        }
    }
    return sum / (float)count - 80.0f;
}
} // namespace

TEST(LevelDetector, SteadySineSettlesAtPeakRmsOrHalfwayByCharacter)
{
    const auto x = testsupport::sine(1000.0, 48000.0, 48000, 0.5f);
    const float peakDb = 20.0f * std::log10(0.5f);
    const float rmsDb = peakDb - 3.0103f;
    EXPECT_NEAR(settledLevel(fetModel, 2, x), peakDb, 0.25f);
    EXPECT_NEAR(settledLevel(optoModel, 1, x), rmsDb, 0.25f);
    EXPECT_NEAR(settledLevel(vcaModel, 3, x), (peakDb + rmsDb) * 0.5f, 0.25f);
}

TEST(LevelDetector, OptoHoldsHalfTheReductionAndReleasesItSixTimesSlower)
{
    EngineSettings s;
    s.character = characterOptoIndex;
    s.releaseMs = 200.0f;
    const auto c = detectorCoefficients(s, optoModel, 48000.0);
    // Hard knee, slope ~1: a steady -18 dBFS level over a -30 dB threshold asks for 12 dB.
    const DetectorControls k{0.0f, 1.0f, 1.0f, 0.0f, 0.01f, 1.0e9f, -30.0f};
    LevelDetector d;
    const float level = std::pow(10.0f, -18.0f / 20.0f);
    float r = 0.0f;
    for (int i = 0; i < 48000 * 10; ++i)
        r = d.step(level, c, k);
    EXPECT_NEAR(r, 12.0f, 0.05f);
    EXPECT_NEAR(d.slow, 6.0f, 0.1f);

    // Feed silence (the detector's level then falls to -100 dB) and sample the release.
    std::vector<float> trace;
    for (int i = 0; i < 48000 * 2; ++i)
        trace.push_back(d.step(0.0f, c, k));
    const float at1s = trace[48000 - 1];
    const float at2s = trace[2 * 48000 - 1];
    EXPECT_NEAR(at1s, 6.0f * std::exp(-1.0f / 1.2f), 0.15f);
    EXPECT_NEAR(at2s / at1s, std::exp(-1.0f / 1.2f), 0.02f); // time constant 6 x 200 ms
    // Without the slow path (VCA, no auto release) the same release is gone within a second.
    LevelDetector vca;
    const DetectorControls plain{0.0f, 0.0f, 0.0f, 0.0f, 0.01f, 1.0e9f, -30.0f};
    for (int i = 0; i < 48000 * 10; ++i)
        vca.step(level, c, plain);
    float vcaAt1s = 0.0f;
    for (int i = 0; i < 48000; ++i)
        vcaAt1s = vca.step(0.0f, c, plain);
    EXPECT_LT(vcaAt1s, 0.2f); // against about 2.6 dB still held by the slow path
}

TEST(LevelDetector, BlockRunFollowsTheSampleStepThroughRampsAndEveryCharacter)
{
    // The block detector computes the same recursion in passes; its levels use a polynomial
    // logarithm, so the reductions agree to well under a thousandth of a dB, also while the
    // character's flags and the threshold ramp, and whether or not a run's first envelopes
    // were carried from the run before.
    const auto x = testsupport::drumLoop(48000.0, 0.25);
    const auto coefficients = detectorCoefficients(EngineSettings{}, characterModel(1), 48000.0);
    const int n = 256;
    for (int from : {1, 2, 3})
        for (int to : {1, 2, 3})
        {
            LevelDetector sample, block;
            std::vector<float> share(n), weight(n), opto(n), fet(n), kneeDb(n, 6.0f), ratio(n, 4.0f),
                threshold(n);
            auto value = [](int c, int index) -> float
            {
                const auto& m = characterModel(c);
                return index == 0   ? m.peakShare
                       : index == 1 ? (m.programRelease ? 1.0f : 0.0f)
                       : index == 2 ? (c == 1 ? 1.0f : 0.0f)
                                    : (c == 2 ? 1.0f : 0.0f);
            };
            for (int i = 0; i < n; ++i)
            {
                const float t = (float)i / (float)(n - 1);
                share[(size_t)i] = value(from, 0) + (value(to, 0) - value(from, 0)) * t;
                weight[(size_t)i] = value(from, 1) + (value(to, 1) - value(from, 1)) * t;
                opto[(size_t)i] = value(from, 2) + (value(to, 2) - value(from, 2)) * t;
                fet[(size_t)i] = value(from, 3) + (value(to, 3) - value(from, 3)) * t;
                threshold[(size_t)i] = -30.0f + 6.0f * t;
            }
            const bool optoOff = from != 1 && to != 1, fetOff = from != 2 && to != 2;
            const DetectorRamps ramps{
                share.data(), weight.data(),    opto.data(), fet.data(), kneeDb.data(),
                ratio.data(), threshold.data(), optoOff,     fetOff,     from == to ? value(from, 0) : -1.0f};
            std::vector<float> envelope(n), meanSquare(n), level(n), target(n), scaled(n), reduction(n);
            float largest = 0.0f;
            for (int start = 0; start + n <= (int)x.size(); start += n)
            {
                const bool nextRunFollows = start + 2 * n <= (int)x.size() && (start / n) % 3 != 2;
                const int following = nextRunFollows ? LevelDetector::slice : 0;
                std::vector<float> peak((size_t)(n + following));
                for (int i = 0; i < n + following; ++i)
                    peak[(size_t)i] = std::abs(x[(size_t)(start + i)]);
                largest = std::max(
                    largest, block.run(peak.data(), n, coefficients, ramps,
                                       {envelope.data(), meanSquare.data(), level.data(), target.data(), scaled.data()},
                                       reduction.data(), following));
                for (int i = 0; i < n; ++i)
                {
                    const DetectorControls k{share[(size_t)i],    weight[(size_t)i], opto[(size_t)i],
                                             fet[(size_t)i],      kneeDb[(size_t)i], ratio[(size_t)i],
                                             threshold[(size_t)i]};
                    const float expected = sample.step(peak[(size_t)i], coefficients, k);
                    ASSERT_NEAR(reduction[(size_t)i], expected, 1e-3f)
                        << from << " to " << to << " at " << start + i;
                }
            }
            EXPECT_GT(largest, 3.0f) << from << " to " << to;
        }
}
