#include "engine/CharacterModel.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;

TEST(CharacterModel, IndicesOutsideOneToThreeGetTheVcaRow)
{
    for (int index : {0, 4, 7, -1})
    {
        EXPECT_EQ(characterModel(index).peakShare, vcaModel.peakShare);
        EXPECT_EQ(characterModel(index).rmsWindowMs, vcaModel.rmsWindowMs);
    }
    EXPECT_TRUE(characterModel(1).programRelease);
    EXPECT_TRUE(characterModel(2).harmonics);
    EXPECT_FALSE(characterModel(3).harmonics);
}

TEST(FetHarmonics, StepUsesTheAntiderivativeDifference)
{
    FetHarmonics h;
    h.prepare(1.0e12);                     // DC blocker coefficient ~1: its output is the shaper value itself
    const float v = h.process(0.5f, 1.0f); // step from 0 to 0.5
    EXPECT_NEAR(v, 0.0075f, 1e-6f);
}

TEST(FetHarmonics, EqualSamplesTakeTheMidpointNeverDivideByZero)
{
    FetHarmonics h;
    h.prepare(1.0e12);
    h.process(0.5f, 1.0f);
    const float v = h.process(0.5f, 1.0f); // 0.08 * 0.125 + 0.06 * 0.25
    EXPECT_NEAR(v, 0.025f, 1e-6f);
}

TEST(FetHarmonics, AntiderivativeIsContinuousAtTheClipPoints)
{
    const float b = 0.06f, c = 0.08f;
    for (float edge : {1.0f, -1.0f})
    {
        const float inside = FetHarmonics::antiderivative(edge * (1.0f - 1e-6f), b, c);
        const float outside = FetHarmonics::antiderivative(edge * (1.0f + 1e-6f), b, c);
        EXPECT_NEAR(inside, outside, 1e-6f);
    }
}

TEST(FetHarmonics, NoAmountDecaysToSilence)
{
    FetHarmonics h;
    h.prepare(48000.0);
    for (int i = 0; i < 100; ++i)
        h.process(0.8f * (float)std::sin(i * 0.1), 1.0f);
    float last = 1.0f;
    for (int i = 0; i < 48000 * 2; ++i)
        last = h.process(0.8f * (float)std::sin(i * 0.1), 0.0f);
    EXPECT_LT(std::abs(last), 1e-6f);
}

TEST(FetHarmonics, BlockProcessingMatchesSampleBySampleAlsoBeyondTheClipPoints)
{
    // Mostly inside -1..1 (the polynomial path), with a stretch of loud samples (the
    // antiderivative path) and an amount that ramps through 0.
    auto y = testsupport::sine(180.0, 48000.0, 1000, 0.8f);
    for (int i = 400; i < 460; ++i)
        y[(size_t)i] *= 2.0f;
    std::vector<float> amount(y.size());
    for (size_t i = 0; i < amount.size(); ++i)
        amount[i] = -0.2f + 1.2f * (float)i / (float)amount.size();

    // A second channel for the stereo pair: quieter and inverted.
    std::vector<float> other(y.size());
    for (size_t i = 0; i < y.size(); ++i)
        other[i] = -0.7f * y[i];

    FetHarmonics single, singleOther, block, left, right;
    for (auto* h : {&single, &singleOther, &block, &left, &right})
        h->prepare(48000.0);
    std::vector<float> out(y.size()), outLeft(y.size()), outRight(y.size());
    for (size_t start = 0; start < y.size(); start += 250) // whole groups of eight and a tail
    {
        const int n = (int)std::min<size_t>(250, y.size() - start);
        block.processBlock(y.data() + start, amount.data() + start, out.data() + start, n);
        FetHarmonics::processPair(left, y.data() + start, outLeft.data() + start, right, other.data() + start,
                                  outRight.data() + start, amount.data() + start, n);
    }
    // The shaping is the same to the bit; the block's DC blocker goes eight samples at a time,
    // which rounds differently: within a millionth of the signal's peak.
    std::vector<float> expected(y.size()), expectedOther(y.size());
    for (size_t i = 0; i < y.size(); ++i)
    {
        expected[i] = single.process(y[i], amount[i]);
        expectedOther[i] = singleOther.process(other[i], amount[i]);
    }
    float peak = 0.0f;
    for (float v : expected)
        peak = std::max(peak, std::abs(v));
    ASSERT_GT(peak, 1e-3f);
    for (size_t i = 0; i < y.size(); ++i)
    {
        ASSERT_NEAR(out[i], expected[i], 1e-6f * peak) << i;
        ASSERT_NEAR(outLeft[i], expected[i], 1e-6f * peak) << i;
        ASSERT_NEAR(outRight[i], expectedOther[i], 1e-6f * peak) << i;
    }
}
