#include "processor/ParameterLayout.h"
#include "support/Vst3Host.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
juce::StringArray namesOf(const auto& list)
{
    juce::StringArray names;
    for (auto n : list)
        names.add(juce::String(n.data(), n.size()));
    return names;
}

// What a host's generic editor offers for each value of a stepped parameter.
juce::StringArray stepTexts(const juce::AudioProcessorParameter& p)
{
    juce::StringArray texts;
    const int steps = p.getNumSteps();
    for (int i = 0; i < steps; ++i)
        texts.add(p.getText((float)i / (float)(steps - 1), 64));
    return texts;
}
} // namespace

TEST(Vst3ParameterSteps, ChoicesSwitchesAndDetailAreSteppedWithTheirTextsAndContinuousOnesAreNot)
{
    testsupport::Vst3Host host;
    auto plugin = host.instantiate();
    ASSERT_NE(plugin, nullptr);
    const auto& params = plugin->getParameters();
    ASSERT_GE(params.size(), numParameters);

    for (int i = 0; i < numParameters; ++i)
    {
        const auto& spec = parameterTable[(size_t)i];
        const auto& p = *params[i];
        const auto id = parameterId((ParameterIndex)i);
        // Saved values keep their meaning: the same default in the same 0..1 scale.
        EXPECT_FLOAT_EQ(p.getDefaultValue(), rangeOf(spec).convertTo0to1(spec.defaultValue)) << id;
        switch (spec.kind)
        {
        case ParameterKind::Float:
            EXPECT_FALSE(p.isDiscrete()) << id;
            break;
        case ParameterKind::Bool:
            EXPECT_TRUE(p.isDiscrete()) << id;
            EXPECT_EQ(stepTexts(p), juce::StringArray({"Off", "On"})) << id;
            break;
        case ParameterKind::Choice:
            EXPECT_TRUE(p.isDiscrete()) << id;
            EXPECT_EQ(stepTexts(p), i == pCharacter ? namesOf(characterChoices)
                                    : i == pSource  ? namesOf(sourceChoices)
                                                    : namesOf(driveTypeChoices))
                << id;
            break;
        case ParameterKind::Int:
            EXPECT_TRUE(p.isDiscrete()) << id;
            EXPECT_EQ(p.getNumSteps(), (int)(spec.end - spec.start) + 1) << id;
            break;
        }
    }
}

TEST(Vst3ParameterSteps, DetailStepsAreNamedAfterTheCurrentSource)
{
    testsupport::Vst3Host host;
    auto plugin = host.instantiate();
    ASSERT_NE(plugin, nullptr);
    auto& source = *plugin->getParameters()[pSource];
    auto& nuance = *plugin->getParameters()[pNuance];
    EXPECT_EQ(stepTexts(nuance), juce::StringArray({"Gentle", "Natural", "Strong", "Strong", "Strong",
                                                    "Strong", "Strong", "Strong"}));

    source.setValueNotifyingHost((float)sourceDrum / (float)(numSources - 1));
    // The processor takes the new SOURCE at the start of its next block.
    plugin->prepareToPlay(48000.0, 512);
    juce::AudioBuffer<float> block(2, 512);
    block.clear();
    juce::MidiBuffer midi;
    plugin->processBlock(block, midi);
    EXPECT_EQ(stepTexts(nuance),
              juce::StringArray({"Kick", "Snare", "Hi-Hat", "Toms", "OH-Room", "Full Kit", "Loop", "Loop"}));
    plugin->releaseResources();
}
