// Loading into an instance that has been used: what the loaded state says, or
// the defaults where it says nothing, never what the instance held before.
#include "processor/OrlixAudioProcessor.h"
#include "state/BaseValues.h"
#include "state/StateIds.h"
#include "support/HostSimulation.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

using namespace orlix;
using testsupport::HostSimulation;
using testsupport::setParameter;

namespace
{
// An instance a user has worked with: Drum, a Learn result re-mapped for it.
struct UsedDrumInstance
{
    UsedDrumInstance()
    {
        testsupport::writeSampleLearnResult(p);
        setParameter(p, pSource, (float)sourceDrum);
        setParameter(p, pNuance, 6.0f);
        host.tick();
    }

    OrlixAudioProcessor p;
    HostSimulation host{p};
};

// A state from before the applied and base keys existed, with a Learn result,
// Drum's "Full Kit" (index 5, beyond the three NUANCE names of the default
// SOURCE) and everything else at values of its own.
juce::ValueTree olderState()
{
    OrlixAudioProcessor writer;
    testsupport::writeSampleLearnResult(writer);
    setParameter(writer, pSource, (float)sourceDrum);
    setParameter(writer, pNuance, 5.0f);
    setParameter(writer, pRatio, 2.5f);
    setParameter(writer, pThreshold, -21.0f);
    auto tree = writer.getParameterState().copyState();
    for (const auto* key : {&ids::appliedSource, &ids::appliedNuance, &ids::appliedCharacter})
        tree.removeProperty(*key, nullptr);
    for (const auto& row : baseValueTable)
        tree.removeProperty(*row.key, nullptr);
    return tree;
}

juce::MemoryBlock blobOf(const juce::ValueTree& tree)
{
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary(*tree.createXml(), blob);
    return blob;
}

juce::ValueTree without(juce::ValueTree tree, const char* parameter)
{
    tree.removeChild(tree.getChildWithProperty(ids::id, parameter), nullptr);
    return tree;
}

float defaultOf(OrlixAudioProcessor& p, ParameterIndex index)
{
    const auto* parameter = p.getParameterState().getParameter(parameterId(index));
    return parameter->convertFrom0to1(parameter->getDefaultValue());
}

// What a parameter must hold after loading `tree`: its stored value, else its default.
float expectedValue(OrlixAudioProcessor& p, const juce::ValueTree& tree, ParameterIndex index)
{
    float stored = 0.0f;
    return getParamChildValue(tree, parameterId(index), stored) ? stored : defaultOf(p, index);
}

void expectLoadedExactly(UsedDrumInstance& used, const juce::ValueTree& tree)
{
    auto& p = used.p;
    const auto blob = blobOf(tree);
    p.setStateInformation(blob.getData(), (int)blob.getSize());

    const int source = (int)std::lround(p.state().rawParameter(pSource));
    const int nuance = (int)std::lround(p.state().rawParameter(pNuance));
    EXPECT_EQ(nuance, clampNuance(source, (int)std::lround(expectedValue(p, tree, pNuance))));
    for (size_t i = 0; i < numParameters; ++i)
    {
        const auto index = (ParameterIndex)i;
        if (index == pNuance)
            continue;
        EXPECT_NEAR(p.state().rawParameter(index), expectedValue(p, tree, index), 1e-4f)
            << parameterId(index);
    }
    // No base value may differ from its parameter: that would read as a user adjustment.
    for (const auto& row : baseValueTable)
    {
        float base = 0.0f;
        ASSERT_TRUE(getBaseValue(p.getParameterState().state, parameterId(row.parameter), base));
        EXPECT_NEAR(base, p.state().rawParameter(row.parameter), 1e-4f) << parameterId(row.parameter);
    }

    testsupport::GestureCounter counter;
    p.addListener(&counter);
    for (int i = 0; i < 10; ++i)
        used.host.tick();
    p.removeListener(&counter);
    EXPECT_EQ(counter.changes, 0);
    EXPECT_EQ(counter.begun, 0);
    EXPECT_FALSE(p.learn().target().edited);

    const auto saved = testsupport::saveState(p);
    OrlixAudioProcessor other;
    other.setStateInformation(saved.getData(), (int)saved.getSize());
    const auto again = testsupport::saveState(other);
    EXPECT_EQ(testsupport::saveState(other), saved);
    for (const auto& child : p.getParameterState().state)
        EXPECT_TRUE(child.hasProperty(ids::value)) << child.getProperty(ids::id).toString();
}
} // namespace

TEST(StateLoad, AMissingSourceTakesItsDefaultAndTheNuanceFollowsIt)
{
    UsedDrumInstance used;
    const auto tree = without(olderState(), "source");
    expectLoadedExactly(used, tree);
    EXPECT_EQ(std::lround(used.p.state().rawParameter(pSource)), (long)defaultOf(used.p, pSource));
    EXPECT_EQ(std::lround(used.p.state().rawParameter(pNuance)), nuanceNames(sourceUniversal).size() - 1);
}

TEST(StateLoad, AMissingOrMalformedParameterTakesItsDefaultAndBecomesItsBase)
{
    {
        UsedDrumInstance used;
        expectLoadedExactly(used, without(olderState(), "ratio"));
        EXPECT_FLOAT_EQ(used.p.state().rawParameter(pRatio), defaultOf(used.p, pRatio));
    }
    {
        UsedDrumInstance used;
        auto tree = olderState();
        tree.getChildWithProperty(ids::id, "ratio").setProperty(ids::value, "abc", nullptr);
        expectLoadedExactly(used, tree);
        EXPECT_FLOAT_EQ(used.p.state().rawParameter(pRatio), defaultOf(used.p, pRatio));
    }
}

TEST(StateLoad, ANuanceAloneIsClampedForTheDefaultSource)
{
    UsedDrumInstance used;
    juce::ValueTree tree(ids::parametersType);
    setParamChildValue(tree, "nuance", 5.0f);
    expectLoadedExactly(used, tree);
    EXPECT_EQ(std::lround(used.p.state().rawParameter(pSource)), (long)defaultOf(used.p, pSource));
}

TEST(StateLoad, AHostLoadDuringARemapSurvivesIt)
{
    UsedDrumInstance used;
    auto& p = used.p;
    auto loaded = olderState();
    const auto blob = blobOf(loaded);

    // The user picks another SOURCE; the re-map runs, and the host loads a
    // project between the mapping and its write.
    setParameter(p, pSource, (float)sourcePiano);
    bool loadedMeanwhile = false;
    p.state().setCheckpointHook(
        [&](const juce::String& label)
        {
            if (label == "reconcile-before-write" && !loadedMeanwhile)
            {
                loadedMeanwhile = true;
                p.setStateInformation(blob.getData(), (int)blob.getSize());
            }
        });
    used.host.tick();
    p.state().setCheckpointHook(nullptr);
    ASSERT_TRUE(loadedMeanwhile);

    for (int i = 0; i < 3; ++i)
        used.host.tick();
    for (auto index : {pSource, pNuance, pRatio, pThreshold})
        EXPECT_NEAR(p.state().rawParameter(index), expectedValue(p, loaded, index), 1e-4f)
            << parameterId(index);
}
