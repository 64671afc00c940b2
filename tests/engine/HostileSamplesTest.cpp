// Huge but finite samples: a broken host or file can hand the engine values
// far beyond full scale. The output must stay finite, and the compressor must
// come back to where it would have been once its release has had time.
#include "engine/DynamicsEngine.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
constexpr int spikeAt = 12000; // 0.25 s in
constexpr int length = 3 * 48000;

struct Case
{
    int character;
    bool driveOn;
    int driveType;
};

EngineSettings settingsFor(const Case& c)
{
    EngineSettings s;
    s.character = c.character;
    s.thresholdDb = -30.0f;
    s.ratio = 4.0f;
    s.attackMs = 5.0f;
    s.releaseMs = 80.0f;
    s.driveOn = c.driveOn;
    s.driveAmount = c.driveOn ? 50.0f : 0.0f;
    s.driveType = c.driveType;
    return s;
}

struct Run
{
    bool finite = true;
    int firstNonFinite = -1;
    float lastGainReduction = 0.0f;
};

Run render(const EngineSettings& s, float spike)
{
    const auto tone = testsupport::sine(997.0, rate, length, 0.1f);
    auto buffer = testsupport::toBuffer(tone, tone);
    if (spike > 0.0f || spike < 0.0f)
        buffer.setSample(0, spikeAt, spike);

    DynamicsEngine engine;
    engine.prepare(rate, 2);
    engine.setActive(1.0f);
    Run run;
    for (int start = 0; start < length; start += blockSize)
    {
        const int n = std::min(blockSize, length - start);
        float* io[2] = {buffer.getWritePointer(0, start), buffer.getWritePointer(1, start)};
        engine.process(io, 2, n, s);
        for (int ch = 0; ch < 2 && run.finite; ++ch)
            for (int i = 0; i < n; ++i)
                if (!std::isfinite(io[ch][i]))
                {
                    run.finite = false;
                    run.firstNonFinite = start + i;
                    break;
                }
        run.lastGainReduction = engine.blockGainReduction();
    }
    return run;
}
} // namespace

TEST(HostileSamples, OneHugeSampleNeverLeavesTheOutputNonFiniteAndTheGainRecovers)
{
    const Case cases[] = {{1, false, 0}, {2, false, 0}, {3, false, 0}, {1, true, 0},
                          {2, true, 3},  {3, true, 1},  {3, true, 2}};
    for (const auto& c : cases)
    {
        const auto s = settingsFor(c);
        const auto undisturbed = render(s, 0.0f);
        ASSERT_TRUE(undisturbed.finite);
        ASSERT_GT(undisturbed.lastGainReduction, 1.0f)
            << "the tone must be compressed for the check to mean anything";

        // The largest float too, where it costs little: without the drive.
        std::vector<float> spikes{3.0e10f, -3.0e19f};
        if (!c.driveOn)
            spikes.push_back(std::numeric_limits<float>::max());
        for (const float spike : spikes)
        {
            const auto hit = render(s, spike);
            SCOPED_TRACE(testing::Message() << "character " << c.character << ", drive "
                                            << (c.driveOn ? c.driveType : -1) << ", spike " << spike);
            EXPECT_TRUE(hit.finite) << "first non-finite output at sample " << hit.firstNonFinite;
            EXPECT_NEAR(hit.lastGainReduction, undisturbed.lastGainReduction, 0.1f);
        }
    }
}

TEST(HostileSamples, SustainedHugeInputStaysFiniteAndRecovers)
{
    // Seconds of input around 4e9 once overflowed the even RMS/peak blend of the VCA.
    for (int character : {1, 2, 3})
    {
        const auto s = settingsFor({character, false, 0});
        const auto tone = testsupport::sine(997.0, rate, length, 0.1f);
        auto buffer = testsupport::toBuffer(tone, tone);
        for (int i = spikeAt; i < spikeAt + 24000; ++i)
            for (int ch = 0; ch < 2; ++ch)
                buffer.setSample(ch, i, buffer.getSample(ch, i) * 4.0e10f);

        DynamicsEngine engine;
        engine.prepare(rate, 2);
        engine.setActive(1.0f);
        bool finite = true;
        for (int start = 0; start < length; start += blockSize)
        {
            float* io[2] = {buffer.getWritePointer(0, start), buffer.getWritePointer(1, start)};
            engine.process(io, 2, std::min(blockSize, length - start), s);
        }
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < length; ++i)
                finite = finite && std::isfinite(buffer.getSample(ch, i));
        EXPECT_TRUE(finite) << "character " << character;
        const auto undisturbed = render(s, 0.0f);
        EXPECT_NEAR(engine.blockGainReduction(), undisturbed.lastGainReduction, 0.1f)
            << "character " << character;
    }
}
