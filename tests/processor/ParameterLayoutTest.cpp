#include "processor/ParameterLayout.h"
#include "processor/OrlixAudioProcessor.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
juce::RangedAudioParameter& param(OrlixAudioProcessor& p, ParameterIndex index)
{
    return *p.getParameterState().getParameter(parameterId(index));
}

juce::String textOf(OrlixAudioProcessor& p, ParameterIndex index, float value)
{
    auto& parameter = param(p, index);
    return parameter.getText(parameter.convertTo0to1(value), 64);
}

float valueOfText(OrlixAudioProcessor& p, ParameterIndex index, const juce::String& text)
{
    auto& parameter = param(p, index);
    return parameter.convertFrom0to1(parameter.getValueForText(text));
}
} // namespace

TEST(ParameterLayout, HostSeesSixteenParametersInTableOrder)
{
    OrlixAudioProcessor processor;
    const auto& list = processor.getParameters();
    ASSERT_EQ(list.size(), numParameters);
    for (int i = 0; i < list.size(); ++i)
    {
        auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*>(list[i]);
        ASSERT_NE(withId, nullptr);
        const auto& spec = parameterTable[(size_t)i];
        EXPECT_EQ(withId->getParameterID(), juce::String(spec.id.data(), spec.id.size()));
        EXPECT_EQ(withId->getName(64), juce::String(spec.name.data(), spec.name.size()));
        EXPECT_EQ(withId->getVersionHint(), 1);
    }
    EXPECT_EQ(processor.getBypassParameter(), list[pBypass]);
}

TEST(ParameterLayout, FreshInstanceHasTheDocumentedDefaults)
{
    OrlixAudioProcessor p;
    EXPECT_FLOAT_EQ(p.state().rawParameter(pThreshold), -18.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 4.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pAttack), 10.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRelease), 200.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pKnee), 25.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pMix), 100.0f);
    EXPECT_FLOAT_EQ(p.state().rawParameter(pOutput), 0.0f);
    for (auto index :
         {pAutoMakeup, pAutoRelease, pCharacter, pSource, pNuance, pBypass, pDriveOn, pDrive, pDriveType})
        EXPECT_FLOAT_EQ(p.state().rawParameter(index), 0.0f) << parameterId(index);
    EXPECT_EQ(param(p, pNuance).getCurrentValueAsText(), "Gentle");
    EXPECT_EQ(param(p, pKnee).getCurrentValueAsText(), "25");
    EXPECT_EQ(param(p, pCharacter).getCurrentValueAsText(), "AUTO");
    EXPECT_EQ(param(p, pDriveType).getCurrentValueAsText(), "TUBE");
}

TEST(ParameterLayout, SkewedRangesPutTheirCentreAtHalfTravel)
{
    OrlixAudioProcessor p;
    EXPECT_NEAR(param(p, pRatio).convertFrom0to1(0.5f), 4.0f, 0.01f);
    EXPECT_NEAR(param(p, pAttack).convertFrom0to1(0.5f), 10.0f, 0.01f);
    EXPECT_NEAR(param(p, pRelease).convertFrom0to1(0.5f), 200.0f, 0.1f);
    EXPECT_NEAR(rangeOf(parameterTable[pRatio]).skew, 0.37552f, 1e-5f);
    EXPECT_NEAR(rangeOf(parameterTable[pAttack]).skew, 0.23064f, 1e-5f);
    EXPECT_NEAR(rangeOf(parameterTable[pRelease]).skew, 0.29510f, 1e-5f);
}

TEST(ParameterLayout, ValueTextsRoundAsShown)
{
    OrlixAudioProcessor p;
    EXPECT_EQ(textOf(p, pAttack, 3.14f), "3.1 ms");
    EXPECT_EQ(textOf(p, pAttack, 12.6f), "13 ms");
    EXPECT_EQ(textOf(p, pRelease, 2000.0f), "2000 ms");
    EXPECT_EQ(textOf(p, pKnee, 0.0f), "HARD");
    EXPECT_EQ(textOf(p, pKnee, 100.0f), "SOFT");
    EXPECT_EQ(textOf(p, pKnee, 33.0f), "33");
    EXPECT_EQ(textOf(p, pMix, 37.4f), "37 %");
    EXPECT_EQ(textOf(p, pOutput, -3.2f), "-3.2 dB");
    EXPECT_EQ(textOf(p, pThreshold, -18.0f), "-18.0 dB");
    EXPECT_EQ(textOf(p, pRatio, 20.0f), "20.0 :1");
    EXPECT_EQ(textOf(p, pDrive, 50.0f), "50 %");
    EXPECT_EQ(valueToText(ValueText::Decibel, -0.04f), "0.0 dB"); // no negative zero
}

TEST(ParameterLayout, KneeTextParsesWordsAndLeadingNumbers)
{
    OrlixAudioProcessor p;
    EXPECT_FLOAT_EQ(valueOfText(p, pKnee, "  soft "), 100.0f);
    EXPECT_FLOAT_EQ(valueOfText(p, pKnee, "hard"), 0.0f);
    EXPECT_FLOAT_EQ(valueOfText(p, pKnee, "40"), 40.0f);
    EXPECT_FLOAT_EQ(valueOfText(p, pKnee, "40 %"), 40.0f);
    EXPECT_FLOAT_EQ(valueOfText(p, pKnee, "nonsense"), 0.0f);
    EXPECT_FLOAT_EQ(valueOfText(p, pKnee, "250"), 100.0f); // limited to the range
}

TEST(ParameterLayout, NuanceTextFollowsTheCurrentSource)
{
    OrlixAudioProcessor p;
    auto& source = param(p, pSource);
    source.setValueNotifyingHost(source.convertTo0to1((float)sourceVocal));
    juce::AudioBuffer<float> buffer(2, 16);
    juce::MidiBuffer midi;
    p.setPlayConfigDetails(2, 2, 48000.0, 16);
    p.prepareToPlay(48000.0, 16);
    p.processBlock(buffer, midi); // the block refreshes the cached SOURCE

    EXPECT_EQ(textOf(p, pNuance, 0.0f), "Lead");
    for (int v = 1; v <= 7; ++v)
        EXPECT_EQ(textOf(p, pNuance, (float)v), "Backing");
    EXPECT_FLOAT_EQ(valueOfText(p, pNuance, "backing"), 1.0f);
    EXPECT_FLOAT_EQ(valueOfText(p, pNuance, "Kick"), 0.0f);

    source.setValueNotifyingHost(source.convertTo0to1((float)sourceDrum));
    p.processBlock(buffer, midi);
    EXPECT_EQ(textOf(p, pNuance, 6.0f), "Loop");
    EXPECT_EQ(textOf(p, pNuance, 7.0f), "Loop");
}

TEST(ParameterLayout, NuanceListsAndClamps)
{
    EXPECT_EQ(clampNuance(sourceVocal, 5), 1);
    EXPECT_EQ(clampNuance(sourceDrum, 6), 6);
    EXPECT_EQ(clampNuance(sourceMix, -1), 0);
    EXPECT_EQ(nuanceNames(20), juce::StringArray({"Gentle", "Natural", "Strong"}));
    EXPECT_EQ(nuanceNames(-1), nuanceNames(sourceUniversal));
    EXPECT_EQ(nuanceNames(sourceWoodwind), juce::StringArray({"Legato", "Staccato", "Section"}));
    int longest = 0;
    for (int s = 0; s < numSources; ++s)
        longest = std::max(longest, nuanceNames(s).size());
    EXPECT_EQ(longest, (int)parameterTable[pNuance].end); // the top index always shows a last name
}
