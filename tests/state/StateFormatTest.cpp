#include "processor/OrlixAudioProcessor.h"
#include "state/BaseValues.h"
#include "state/StateIds.h"
#include "support/Signals.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
void setParameter(OrlixAudioProcessor& p, ParameterIndex index, float value)
{
    auto& prm = *p.getParameterState().getParameter(parameterId(index));
    prm.setValueNotifyingHost(prm.convertTo0to1(value));
}

juce::String stateXml(const juce::String& paramsAndProperties, const juce::String& children)
{
    return "<PARAMETERS " + paramsAndProperties + ">" + children + "</PARAMETERS>";
}

juce::String paramXml(const juce::String& id, const juce::String& value)
{
    return "<PARAM id=\"" + id + "\" value=\"" + value + "\"/>";
}
} // namespace

TEST(StateFormat, SaveAndLoadKeepEveryKeyAndTheVersionStaysOutOfTheLiveTree)
{
    OrlixAudioProcessor first;
    testsupport::writeSampleLearnResult(first);
    setParameter(first, pRatio, 7.5f);
    setParameter(first, pSource, (float)sourceDrum);
    setParameter(first, pNuance, 6.0f);
    const auto blob = testsupport::saveState(first);

    auto saved = juce::AudioProcessor::getXmlFromBinary(blob.getData(), (int)blob.getSize());
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->getIntAttribute(ids::stateVersion.toString()), 1);

    OrlixAudioProcessor second;
    second.setStateInformation(blob.getData(), (int)blob.getSize());
    const auto& live = second.getParameterState().state;
    EXPECT_FALSE(live.hasProperty(ids::stateVersion));
    EXPECT_FLOAT_EQ(second.state().rawParameter(pRatio), 7.5f);
    EXPECT_FLOAT_EQ(second.state().rawParameter(pNuance), 6.0f);

    const auto& original = first.getParameterState().state;
    for (int i = 0; i < original.getNumProperties(); ++i)
    {
        const auto key = original.getPropertyName(i);
        ASSERT_TRUE(live.hasProperty(key)) << key.toString();
        EXPECT_EQ(live.getProperty(key).toString(), original.getProperty(key).toString()) << key.toString();
    }
    LearnStatistics read;
    EXPECT_TRUE(readLearnStatistics(live, read));
    EXPECT_EQ(read.tracePeak, testsupport::sampleStatistics().tracePeak);
}

TEST(StateFormat, LoadedVersionIsWrittenBackAndMissingVersionCountsAsOne)
{
    OrlixAudioProcessor p;
    auto blob = testsupport::blobOfXml(stateXml("orlixStateVersion=\"7\"", paramXml("ratio", "3")));
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    auto saved = juce::AudioProcessor::getXmlFromBinary(testsupport::saveState(p).getData(),
                                                        (int)testsupport::saveState(p).getSize());
    EXPECT_EQ(saved->getIntAttribute("orlixStateVersion"), 7);

    blob = testsupport::blobOfXml(stateXml("", paramXml("ratio", "3")));
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    const auto again = testsupport::saveState(p);
    saved = juce::AudioProcessor::getXmlFromBinary(again.getData(), (int)again.getSize());
    EXPECT_EQ(saved->getIntAttribute("orlixStateVersion"), 1);
}

TEST(StateFormat, NuanceIsLimitedToTheListOfItsSource)
{
    OrlixAudioProcessor p;
    auto blob = testsupport::blobOfXml(stateXml("orlixAppliedSource=\"1\" orlixAppliedNuance=\"5\"",
                                                paramXml("source", "1") + paramXml("nuance", "9")));
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pNuance), 1.0f);
    EXPECT_EQ((int)p.getParameterState().state.getProperty(ids::appliedNuance), 1);

    blob = testsupport::blobOfXml(stateXml("", paramXml("source", "1") + paramXml("nuance", "-3")));
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pNuance), 0.0f);
}

TEST(StateFormat, OldAutoCharacterStatesMigrateToAutoWithTheirPickAsBase)
{
    OrlixAudioProcessor p;
    auto blob = testsupport::blobOfXml(
        stateXml("orlixLearnCharAuto=\"1\" orlixLearnThrCorr=\"2.5\"",
                 paramXml("character", "2") + paramXml("learn", "1") + paramXml("ratio", "6")));
    p.setStateInformation(blob.getData(), (int)blob.getSize());
    const auto& live = p.getParameterState().state;
    EXPECT_FLOAT_EQ(p.state().rawParameter(pCharacter), 0.0f);
    float base = 0.0f;
    ASSERT_TRUE(getBaseValue(live, "character", base));
    EXPECT_FLOAT_EQ(base, 2.0f);
    EXPECT_EQ(p.state().baseCharacter(), 2);
    EXPECT_TRUE(getBaseValue(live, "ratio", base));
    EXPECT_FLOAT_EQ(base, 6.0f);
    EXPECT_FALSE(live.hasProperty(ids::learnCharAuto));
    EXPECT_FALSE(live.hasProperty(ids::learnThrCorr));
    EXPECT_FALSE(live.getChildWithProperty(ids::id, "learn").isValid());
    // The applied keys come from the stored parameters.
    EXPECT_EQ((int)live.getProperty(ids::appliedCharacter), 2);
}

TEST(StateFormat, ForeignOrBrokenBlobsChangeNothing)
{
    OrlixAudioProcessor p;
    setParameter(p, pRatio, 9.0f);
    const auto before = testsupport::saveState(p);
    const int generation = p.state().loadGeneration();

    const auto foreign = testsupport::blobOfXml("<OTHER><PARAM id=\"ratio\" value=\"2\"/></OTHER>");
    p.setStateInformation(foreign.getData(), (int)foreign.getSize());
    const char junk[] = "VC2!\xff\xff\xff\x7f<PARAMETERS";
    p.setStateInformation(junk, (int)sizeof(junk));
    // Cut off inside the root's start tag: the framework's reader would take it as an empty root.
    const auto cut = testsupport::blobOfXml(stateXml("orlixLearnValid=\"1\"", paramXml("ratio", "2")));
    const auto rootAt =
        juce::String::fromUTF8((const char*)cut.getData() + 8, (int)cut.getSize() - 8).indexOf("<PARAMETERS");
    ASSERT_GE(rootAt, 0);
    p.setStateInformation(cut.getData(), 8 + rootAt + 20);
    p.setStateInformation(nullptr, 0);
    p.setStateInformation(before.getData(), 8);

    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 9.0f);
    EXPECT_EQ(p.state().loadGeneration(), generation);
    EXPECT_EQ(testsupport::saveState(p), before);
}

TEST(StateFormat, FreshInstanceHasAppliedAndBaseKeysAndNoBaseCharacter)
{
    OrlixAudioProcessor p;
    const auto& live = p.getParameterState().state;
    for (const auto& row : baseValueTable)
        EXPECT_TRUE(live.hasProperty(*row.key)) << row.key->toString();
    EXPECT_EQ(p.state().baseCharacter(), 0); // AUTO acts as VCA until Learn picks
    EXPECT_EQ((int)live.getProperty(ids::appliedSource), 0);
}

TEST(StateFormat, PublishedCurvesReachTheAudioThreadMakeup)
{
    // All the learned energy sits far below the threshold, so the learned make-up is 0 dB
    // where the plain estimate would add 6 dB.
    OrlixAudioProcessor p;
    p.setPlayConfigDetails(2, 2, 48000.0, 512);
    p.prepareToPlay(48000.0, 512);
    setParameter(p, pAutoMakeup, 1.0f);
    const auto x = testsupport::sine(500.0, 48000.0, 512, 0.001f);
    auto runGain = [&]
    {
        juce::AudioBuffer<float> block(2, 512);
        juce::MidiBuffer midi;
        float gain = 0.0f;
        for (int rep = 0; rep < 20; ++rep)
        {
            for (int ch = 0; ch < 2; ++ch)
                block.copyFrom(ch, 0, x.data(), 512);
            p.processBlock(block, midi);
            gain = block.getMagnitude(0, 0, 512) / 0.001f;
        }
        return 20.0f * std::log10(gain);
    };
    EXPECT_NEAR(runGain(), 6.0f, 0.05f);
    {
        const juce::ScopedLock lock(p.state().getStateLock());
        auto& tree = p.getParameterState().state;
        writeLearnStatistics(tree, testsupport::sampleStatistics());
        tree.setProperty(ids::learnMkHist, "10:1:0.000", nullptr);
        tree.setProperty(ids::learnMkCurve, testsupport::sampleCurvesText(), nullptr);
    }
    p.state().publishLearnCurves();
    EXPECT_NEAR(runGain(), 0.0f, 0.05f);
}
