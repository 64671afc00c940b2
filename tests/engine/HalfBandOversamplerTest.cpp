#include "engine/HalfBandOversampler.h"
#include "support/Signals.h"

#include <juce_dsp/juce_dsp.h>

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
const std::vector<HalfBandOversampler::StageDesign> designs{
    {0.06f, -70.0f, 0.075f, -60.0f}, {0.12f, -62.0f, 0.15f, -52.0f}, {0.12f, -54.0f, 0.15f, -44.0f}};

// Up, a change in the oversampled domain the downsampler must carry back, then down.
void bend(float* x, int n)
{
    for (int i = 0; i < n; ++i)
        x[i] = x[i] - 0.3f * x[i] * x[i] * x[i];
}
} // namespace

TEST(HalfBandOversampler, MatchesTheFrameworkCascadeToTheBitForAnyBlockSize)
{
    const auto x = testsupport::noise(5000, 0.9f);
    juce::dsp::Oversampling<float> reference(1);
    reference.clearOversamplingStages();
    for (const auto& d : designs)
        reference.addOversamplingStage(juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple,
                                       d.transitionUp, d.stopbandUpDb, d.transitionDown, d.stopbandDownDb);
    reference.setUsingIntegerLatency(false);
    reference.initProcessing(512);
    std::vector<float> expected(x);
    for (int start = 0; start < (int)x.size(); start += 512)
    {
        const int n = std::min(512, (int)x.size() - start);
        const float* in = x.data() + start;
        auto up = reference.processSamplesUp(juce::dsp::AudioBlock<const float>(&in, 1, (size_t)n));
        bend(up.getChannelPointer(0), (int)up.getNumSamples());
        float* out = expected.data() + start;
        juce::dsp::AudioBlock<float> down(&out, 1, (size_t)n);
        reference.processSamplesDown(down);
    }

    for (int blockSize : {256, 37, 1})
    {
        HalfBandOversampler own;
        own.prepare(designs, 256);
        EXPECT_EQ(own.factor(), 8);
        std::vector<float> y(x.size());
        for (int start = 0; start < (int)x.size(); start += blockSize)
        {
            const int n = std::min(blockSize, (int)x.size() - start);
            float* up = own.processUp(x.data() + start, n);
            bend(up, n * own.factor());
            own.processDown(y.data() + start, n);
        }
        EXPECT_EQ(y, expected) << blockSize;
        EXPECT_NEAR(own.nominalLatency(), reference.getLatencyInSamples(), 1e-4) << blockSize;
    }
}

TEST(HalfBandOversampler, ResetForgetsThePast)
{
    HalfBandOversampler os;
    os.prepare(designs, 64);
    auto x = testsupport::noise(64, 0.5f);
    std::vector<float> first(64), second(64);
    os.processUp(x.data(), 64);
    os.processDown(first.data(), 64);
    os.processUp(x.data(), 64); // leaves a history behind
    os.processDown(second.data(), 64);
    os.reset();
    os.processUp(x.data(), 64);
    os.processDown(second.data(), 64);
    EXPECT_EQ(first, second);
}
