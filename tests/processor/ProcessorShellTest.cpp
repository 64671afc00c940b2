#include "processor/OrlixAudioProcessor.h"
#include "support/AllocationCounter.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
using Layout = juce::AudioProcessor::BusesLayout;

Layout layoutOf(const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    Layout layout;
    layout.inputBuses.add(in);
    layout.outputBuses.add(out);
    return layout;
}

struct PreparedProcessor
{
    explicit PreparedProcessor(double rate = 48000.0, int channels = 2)
    {
        processor.setPlayConfigDetails(channels, channels, rate, 512);
        processor.prepareToPlay(rate, 512);
    }

    void run(juce::AudioBuffer<float>& buffer)
    {
        juce::MidiBuffer midi;
        processor.processBlock(buffer, midi);
    }

    OrlixAudioProcessor processor;
};
} // namespace

TEST(ProcessorShell, AcceptsOnlyMatchingMonoOrStereoLayouts)
{
    OrlixAudioProcessor p;
    using S = juce::AudioChannelSet;
    EXPECT_TRUE(p.isBusesLayoutSupported(layoutOf(S::mono(), S::mono())));
    EXPECT_TRUE(p.isBusesLayoutSupported(layoutOf(S::stereo(), S::stereo())));
    EXPECT_FALSE(p.isBusesLayoutSupported(layoutOf(S::mono(), S::stereo())));
    EXPECT_FALSE(p.isBusesLayoutSupported(layoutOf(S::stereo(), S::mono())));
    EXPECT_FALSE(p.isBusesLayoutSupported(layoutOf(S::createLCR(), S::createLCR())));
    EXPECT_EQ(p.getName(), "Orlix");
    EXPECT_EQ(p.getMainBusNumInputChannels(), 2);
    EXPECT_EQ(p.getBus(true, 0)->getName(), "Input");
    EXPECT_EQ(p.getBus(false, 0)->getName(), "Output");
}

TEST(ProcessorShell, FullScaleSquareRaisesTheClipFlagButA09SineDoesNot)
{
    PreparedProcessor fixture;
    auto quiet = testsupport::sine(997.0, 48000.0, 4800, 0.9f);
    auto buffer = testsupport::toBuffer(quiet, quiet);
    fixture.run(buffer);
    EXPECT_FALSE(fixture.processor.metering().inputClipped());

    std::vector<float> square(4800);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 24) % 2 == 0 ? 1.0f : -1.0f;
    auto loud = testsupport::toBuffer(square, square);
    fixture.run(loud);
    EXPECT_TRUE(fixture.processor.metering().inputClipped());
}

TEST(ProcessorShell, NonFiniteInputIsMeteredAsSilence)
{
    PreparedProcessor fixture;
    juce::AudioBuffer<float> buffer(2, 512);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            buffer.setSample(ch, i,
                             i % 2 == 0 ? std::numeric_limits<float>::quiet_NaN()
                                        : std::numeric_limits<float>::infinity());
    fixture.run(buffer);
    EXPECT_FALSE(fixture.processor.metering().inputClipped());
    EXPECT_EQ(fixture.processor.metering().takeInputPeak(), 0.0f);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ(buffer.getSample(ch, i), 0.0f);
}

TEST(ProcessorShell, MeterCellsHoldTheLargestValueUntilTaken)
{
    PreparedProcessor fixture;
    for (float amplitude : {0.25f, 0.5f, 0.125f})
    {
        auto x = testsupport::constant(256, amplitude);
        auto buffer = testsupport::toBuffer(x, x);
        fixture.run(buffer);
    }
    EXPECT_FLOAT_EQ(fixture.processor.metering().takeInputPeak(), 0.5f);
    EXPECT_EQ(fixture.processor.metering().takeInputPeak(), 0.0f);
}

TEST(ProcessorShell, PrepareAgainAtTheSameRateKeepsStateAnotherRateClearsMeters)
{
    PreparedProcessor fixture;
    auto x = testsupport::constant(2048, 1.0f);
    auto buffer = testsupport::toBuffer(x, x);
    fixture.run(buffer);
    const int frames = fixture.processor.metering().history().writeCount();
    ASSERT_GT(frames, 0);

    fixture.processor.prepareToPlay(48000.0, 1024);
    EXPECT_EQ(fixture.processor.metering().history().writeCount(), frames);
    EXPECT_TRUE(fixture.processor.metering().inputClipped());

    fixture.processor.prepareToPlay(44100.0, 512);
    EXPECT_FALSE(fixture.processor.metering().inputClipped());
    EXPECT_FALSE(fixture.processor.metering().outputClipped());
    EXPECT_EQ(fixture.processor.metering().takeInputPeak(), 0.0f);
    EXPECT_EQ(fixture.processor.metering().history().writeCount(), 0); // the frame length changed
}

TEST(ProcessorShell, SurplusOutputChannelsAreCleared)
{
    OrlixAudioProcessor p;
    p.setPlayConfigDetails(1, 1, 48000.0, 64);
    p.prepareToPlay(48000.0, 64);
    juce::AudioBuffer<float> buffer(2, 64);
    buffer.clear();
    for (int i = 0; i < 64; ++i)
        buffer.setSample(1, i, 0.5f);
    juce::MidiBuffer midi;
    p.processBlock(buffer, midi);
    EXPECT_EQ(buffer.getMagnitude(1, 0, 64), 0.0f);
}

TEST(ProcessorShell, ProcessBlockAllocatesNothingAfterPrepare)
{
    PreparedProcessor fixture;
    auto left = testsupport::drumLoop(48000.0, 1.0);
    auto buffer = testsupport::toBuffer(left, left);
    juce::AudioBuffer<float> block(2, 512);
    juce::MidiBuffer midi;

    auto& params = fixture.processor.getParameterState();
    params.getParameter("driveOn")->setValueNotifyingHost(1.0f);
    params.getParameter("autoMakeup")->setValueNotifyingHost(1.0f);
    fixture.processor.reset();

    testsupport::AllocationCounter counter;
    for (int start = 0; start + 512 <= buffer.getNumSamples(); start += 512)
    {
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom(ch, 0, buffer, ch, start, 512);
        fixture.processor.processBlock(block, midi);
    }
    EXPECT_EQ(counter.count(), 0);
}

TEST(ProcessorShell, HugeFiniteInputIsBoundedBeforeMetersAndEngine)
{
    PreparedProcessor p;
    juce::AudioBuffer<float> block(2, 512);
    for (int round = 0; round < 40; ++round)
    {
        const auto x = testsupport::sine(1000.0, 48000.0, 512, 0.1f);
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom(ch, 0, x.data(), 512);
        if (round == 3)
            block.setSample(0, 100, 3.0e19f);
        p.run(block);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 512; ++i)
                ASSERT_TRUE(std::isfinite(block.getSample(ch, i))) << round;
    }
    const float peak = p.processor.metering().takeInputPeak();
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LE(peak, orlix::sampleMagnitudeLimit);
    EXPECT_TRUE(std::isfinite(p.processor.metering().takeGainReduction()));
}

TEST(ProcessorShell, SwitchesHoldExactlyOnOrOffWhateverAHostWrites)
{
    OrlixAudioProcessor p;
    for (auto index : {pAutoMakeup, pAutoRelease, pBypass, pDriveOn})
    {
        auto* parameter = p.getParameterState().getParameter(parameterId(index));
        for (float written : {0.65f, 0.3f, 0.5f, 0.49f, 1.0f, 0.0f, 0.999f})
        {
            parameter->setValueNotifyingHost(written);
            const float expected = written >= 0.5f ? 1.0f : 0.0f;
            EXPECT_EQ(parameter->getValue(), expected) << parameterId(index) << " " << written;
            EXPECT_EQ(p.state().rawParameter(index), expected) << parameterId(index) << " " << written;
        }
        EXPECT_EQ(parameter->getDefaultValue(),
                  parameterTable[(size_t)index].defaultValue > 0.5f ? 1.0f : 0.0f);
    }
}
