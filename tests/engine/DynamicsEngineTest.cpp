#include "engine/DynamicsEngine.h"
#include "support/AllocationCounter.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;

// Runs a stereo signal through a fresh engine in blocks of `blockSize`.
juce::AudioBuffer<float> render(const EngineSettings& s, juce::AudioBuffer<float> buffer, int blockSize,
                                int channels = -1, float activity = 1.0f)
{
    DynamicsEngine engine;
    const int ch = channels < 0 ? buffer.getNumChannels() : channels;
    engine.prepare(rate, ch);
    engine.setActive(activity);
    for (int start = 0; start < buffer.getNumSamples(); start += blockSize)
    {
        const int n = std::min(blockSize, buffer.getNumSamples() - start);
        float* ptrs[2] = {buffer.getWritePointer(0, start),
                          ch > 1 ? buffer.getWritePointer(1, start) : nullptr};
        engine.process(ptrs, ch, n, s);
    }
    return buffer;
}

double maxDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int channel)
{
    double worst = 0.0;
    for (int i = 0; i < a.getNumSamples(); ++i)
        worst = std::max(worst, (double)std::abs(a.getSample(channel, i) - b.getSample(channel, i)));
    return worst;
}

EngineSettings compressing(int character)
{
    EngineSettings s;
    s.character = character;
    s.thresholdDb = -30.0f;
    s.ratio = 6.0f;
    s.attackMs = 5.0f;
    s.releaseMs = 80.0f;
    return s;
}
} // namespace

TEST(DynamicsEngine, LongBlocksAreSplitWithTheSameResultAsSmallBlocks)
{
    const auto left = testsupport::drumLoop(rate, 20000.0 / rate);
    const auto right = testsupport::sustainedChord(rate, 20000.0 / rate);
    const auto input = testsupport::toBuffer(left, right);
    for (int character : {1, 2, 3})
    {
        const auto s = compressing(character);
        const auto whole = render(s, input, 20000);
        const auto small = render(s, input, 100);
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_LT(maxDifference(whole, small, ch), 1e-6) << "character " << character;
    }
}

TEST(DynamicsEngine, MixZeroGivesTheDelayedDryTimesMakeupAndOutputGain)
{
    EngineSettings s = compressing(3);
    s.mix = 0.0f;
    s.outputDb = 6.0f;
    // A hand-made make-up curve whose first point adds 3 dB makes the make-up
    // non-zero even though the dry share suffers no loss.
    s.learnCurvesPresent = s.histogramValid = s.curveValid = true;
    s.histogramWeight[70] = 1.0f;
    for (size_t i = 0; i < 13; ++i)
        s.curveX[i] = (float)i;
    s.curveY.fill(3.0f);

    const auto x = testsupport::drumLoop(rate, 0.5);
    const auto out = render(s, testsupport::toBuffer(x, x), 512);
    const float gain = std::pow(10.0f, 9.0f / 20.0f);
    DynamicsEngine reference;
    reference.prepare(rate, 2);
    const int latency = reference.latency();
    ASSERT_GT(latency, 0); // the drive stage's alignment delays every path
    for (int i = 0; i < out.getNumSamples(); ++i)
    {
        const float dry = i >= latency ? x[(size_t)(i - latency)] : 0.0f;
        ASSERT_NEAR(out.getSample(0, i), dry * gain, 1e-5f) << i;
    }
}

TEST(DynamicsEngine, BypassCrossfadesToDryIn10msAndStartsBypassedAfterReset)
{
    const auto x = testsupport::sine(440.0, rate, 9600, 0.9f);
    EngineSettings s = compressing(3);
    s.autoMakeup = false;

    DynamicsEngine engine;
    engine.prepare(rate, 1);
    auto buffer = testsupport::toBuffer(x);
    engine.setActive(1.0f);
    engine.process(buffer.getArrayOfWritePointers(), 1, 4800, s);
    EXPECT_GT(engine.blockGainReduction(), 3.0f);

    engine.setActive(0.0f);
    float* second[1] = {buffer.getWritePointer(0, 4800)};
    engine.process(second, 1, 4800, s);
    EXPECT_EQ(engine.blockGainReduction(), 0.0f);
    // Still blending during the 10 ms ramp, exactly the latency-aligned dry signal after it.
    const int latency = engine.latency();
    auto dry = [&](int i) { return i >= latency ? x[(size_t)(i - latency)] : 0.0f; };
    EXPECT_GT(std::abs(buffer.getSample(0, 4800 + 240) - dry(4800 + 240)), 1e-3f);
    for (int i = 4800 + 481; i < 9600; ++i)
        ASSERT_EQ(buffer.getSample(0, i), dry(i)) << i;

    engine.reset();
    auto fresh = testsupport::toBuffer(x);
    engine.setActive(0.0f);
    engine.process(fresh.getArrayOfWritePointers(), 1, 9600, s);
    for (int i = 0; i < 9600; ++i)
        ASSERT_EQ(fresh.getSample(0, i), dry(i)) << i;
}

TEST(DynamicsEngine, IdenticalStereoChannelsMatchTheMonoPath)
{
    const auto x = testsupport::drumLoop(rate, 1.0);
    for (int character : {1, 2, 3})
    {
        const auto s = compressing(character);
        const auto stereo = render(s, testsupport::toBuffer(x, x), 512);
        const auto mono = render(s, testsupport::toBuffer(x), 512);
        EXPECT_EQ(maxDifference(stereo, mono, 0), 0.0) << character;
        for (int i = 0; i < stereo.getNumSamples(); ++i)
            ASSERT_EQ(stereo.getSample(0, i), stereo.getSample(1, i));
    }
}

TEST(DynamicsEngine, CharactersCompressTheSameMaterialDifferently)
{
    const auto x = testsupport::drumLoop(rate, 2.0);
    std::array<double, 3> level{};
    std::array<juce::AudioBuffer<float>, 3> outs;
    for (int character : {1, 2, 3})
    {
        auto s = compressing(character);
        s.autoMakeup = false;
        outs[(size_t)character - 1] = render(s, testsupport::toBuffer(x), 512);
        level[(size_t)character - 1] =
            testsupport::rmsDb(outs[(size_t)character - 1].getReadPointer(0), (int)x.size());
    }
    const double inputLevel = testsupport::rmsDb(x.data(), (int)x.size());
    for (size_t c = 0; c < 3; ++c)
        EXPECT_LT(level[c], inputLevel - 1.0) << "character " << c + 1 << " compresses";
    EXPECT_GT(maxDifference(outs[0], outs[1], 0), 1e-3);
    EXPECT_GT(maxDifference(outs[1], outs[2], 0), 1e-3);
    EXPECT_GT(maxDifference(outs[0], outs[2], 0), 1e-3);
}

TEST(DynamicsEngine, CharacterChangeRampsInsteadOfJumping)
{
    const auto x = testsupport::sine(200.0, rate, 9600, 0.7f);
    auto s = compressing(3);
    s.autoMakeup = false;
    DynamicsEngine engine;
    engine.prepare(rate, 1);
    engine.setActive(1.0f);
    auto buffer = testsupport::toBuffer(x);
    engine.process(buffer.getArrayOfWritePointers(), 1, 4800, s);
    s.character = 2;
    float* second[1] = {buffer.getWritePointer(0, 4800)};
    engine.process(second, 1, 4800, s);
    // No step in the output envelope at the change: neighbouring samples stay close.
    float worstJump = 0.0f;
    for (int i = 4790; i < 4810; ++i)
        worstJump = std::max(worstJump, std::abs(buffer.getSample(0, i + 1) - buffer.getSample(0, i)));
    EXPECT_LT(worstJump, 0.02f);
}

TEST(DynamicsEngine, SilenceAndNonFiniteInputStayFinite)
{
    DynamicsEngine engine;
    engine.prepare(rate, 2);
    engine.setActive(1.0f);
    juce::AudioBuffer<float> buffer(2, 512);
    buffer.clear();
    buffer.setSample(0, 10, std::numeric_limits<float>::quiet_NaN());
    buffer.setSample(1, 20, -std::numeric_limits<float>::infinity());
    engine.process(buffer, 2, compressing(1));
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ(buffer.getSample(ch, i), 0.0f);
    EXPECT_EQ(engine.blockGainReduction(), 0.0f);
}

TEST(DynamicsEngine, ProcessAllocatesNothing)
{
    DynamicsEngine engine;
    engine.prepare(rate, 2);
    engine.setActive(1.0f);
    const auto x = testsupport::drumLoop(rate, 1.0);
    auto buffer = testsupport::toBuffer(x, x);
    auto s = compressing(2);
    s.driveOn = true;
    s.driveAmount = 40.0f;
    testsupport::AllocationCounter counter;
    for (int start = 0; start + 512 <= buffer.getNumSamples(); start += 512)
    {
        float* ptrs[2] = {buffer.getWritePointer(0, start), buffer.getWritePointer(1, start)};
        s.driveType = (start / 512) % 4;
        engine.process(ptrs, 2, 512, s);
    }
    EXPECT_EQ(counter.count(), 0);
}

TEST(DynamicsEngine, DriveCompensationInterpolatesTheTableRow)
{
    EngineSettings s;
    s.driveOn = true;
    s.autoMakeup = true;
    s.driveEqValid = true;
    s.driveEq[0] = {0.0f, -1.25f, -2.5f, -3.75f, -5.0f};
    const std::pair<float, float> cases[] = {
        {5.0f, -0.625f}, {10.0f, -1.25f}, {37.5f, -3.125f}, {100.0f, -5.0f}};
    for (auto [amount, expected] : cases)
    {
        s.driveAmount = amount;
        EXPECT_NEAR(DynamicsEngine::driveCompensationDb(s, 0), expected, 1e-5f) << amount;
    }
    s.autoMakeup = false;
    EXPECT_EQ(DynamicsEngine::driveCompensationDb(s, 0), 0.0f);
    s.autoMakeup = true;
    s.driveOn = false;
    EXPECT_EQ(DynamicsEngine::driveCompensationDb(s, 0), 0.0f);
}

TEST(DynamicsEngine, ACallerThatBoundedTheInputGetsTheSameOutputWithoutTheScan)
{
    auto x = testsupport::drumLoop(rate, 0.5);
    x[100] = 3.0e6f; // beyond the magnitude limit: bounded by the caller below
    auto input = testsupport::toBuffer(x, testsupport::sustainedChord(rate, 0.5));
    const auto s = compressing(2);

    DynamicsEngine checking, trusting;
    for (auto* e : {&checking, &trusting})
    {
        e->prepare(rate, 2);
        e->setActive(1.0f);
    }
    auto a = input, b = input;
    boundSamples(b.getArrayOfWritePointers(), 2, b.getNumSamples());
    EXPECT_EQ(b.getSample(0, 100), sampleMagnitudeLimit);
    for (int start = 0; start < input.getNumSamples(); start += 512)
    {
        const int n = std::min(512, input.getNumSamples() - start);
        float* pa[2] = {a.getWritePointer(0, start), a.getWritePointer(1, start)};
        float* pb[2] = {b.getWritePointer(0, start), b.getWritePointer(1, start)};
        checking.process(pa, 2, n, s);
        trusting.process(pb, 2, n, s, InputSamples::bounded);
    }
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_EQ(maxDifference(a, b, ch), 0.0) << ch;
}
