// The processor's persisted state: host save and load, the migrations of older
// states, and the hand-over of the Learn curves to the audio thread.
#include "processor/OrlixAudioProcessor.h"

#include "state/BaseValues.h"
#include "state/StateBlob.h"
#include "state/StateIds.h"

using namespace orlix;

namespace
{
// The framework reads a "PARAM" value leniently ("2x" as 2) and a missing one as
// the parameter's default. A value that is not a plain number reads as absent
// here, so the parameter takes its default, as for a missing child.
void removeMalformedParamChildren(juce::ValueTree& tree)
{
    for (int i = tree.getNumChildren(); --i >= 0;)
    {
        const auto child = tree.getChild(i);
        if (!child.hasType(ids::param) || parameterIndexOf(child.getProperty(ids::id).toString()) < 0)
            continue;
        if (!readDoubleProperty(child, ids::value))
            tree.removeChild(i, nullptr);
    }
}

// Our readers take the first "PARAM" child of an id and the framework the last:
// only the first is kept, so both see the same value.
void removeRepeatedParamChildren(juce::ValueTree& tree)
{
    std::array<bool, numParameters> seen{};
    for (int i = 0; i < tree.getNumChildren();)
    {
        const auto child = tree.getChild(i);
        const int index =
            child.hasType(ids::param) ? parameterIndexOf(child.getProperty(ids::id).toString()) : -1;
        if (index >= 0 && seen[(size_t)index])
        {
            tree.removeChild(i, nullptr);
            continue;
        }
        if (index >= 0)
            seen[(size_t)index] = true;
        ++i;
    }
}

int roundedProperty(const juce::ValueTree& tree, const juce::Identifier& key, int fallback)
{
    const auto v = readDoubleProperty(tree, key);
    return v ? (int)std::clamp(std::round(*v), -1.0e9, 1.0e9) : fallback;
}
} // namespace

float OrlixAudioProcessor::currentParameterValue(ParameterIndex index) const
{
    return rawParameters[(size_t)index]->load();
}

float OrlixAudioProcessor::valueAfterLoad(const juce::ValueTree& tree, ParameterIndex index) const
{
    // The framework snaps a loaded value into its range and gives a parameter
    // without a "PARAM" child its default.
    const auto* parameter = parameters.getParameter(parameterId(index));
    float stored = 0.0f;
    if (!getParamChildValue(tree, parameterId(index), stored))
        return parameter->convertFrom0to1(parameter->getDefaultValue());
    return parameter->convertFrom0to1(parameter->convertTo0to1(stored));
}

void OrlixAudioProcessor::refreshCachedBaseCharacter()
{
    const juce::ScopedLock lock(stateLock);
    cachedBaseCharacter = roundedProperty(parameters.state, ids::baseCharacter, 0);
}

void OrlixAudioProcessor::initialiseStateKeys()
{
    {
        const juce::ScopedLock lock(stateLock);
        auto& tree = parameters.state;
        tree.setProperty(ids::appliedSource, (int)std::lround(currentParameterValue(pSource)), nullptr);
        tree.setProperty(ids::appliedNuance, (int)std::lround(currentParameterValue(pNuance)), nullptr);
        tree.setProperty(ids::appliedCharacter, (int)std::lround(currentParameterValue(pCharacter)), nullptr);
        for (const auto& row : baseValueTable)
            if (!tree.hasProperty(*row.key))
                setBaseValue(tree, parameterId(row.parameter), currentParameterValue(row.parameter));
        refreshCachedBaseCharacter();
    }
    publishLearnCurves();
}

void OrlixAudioProcessor::getStateInformation(juce::MemoryBlock& destData)
{
    juce::ValueTree copy;
    int version = 1;
    {
        const juce::ScopedLock lock(stateLock);
        copy = parameters.copyState();
        version = stateVersion;
    }
    copy.setProperty(ids::stateVersion, version, nullptr);
    if (auto xml = copy.createXml())
        copyXmlToBinary(*xml, destData);
}

void OrlixAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    auto xml = xmlOfStateBlob(data, sizeInBytes);
    // The tree's type is fixed; comparing with the constant keeps the live tree out of reach
    // of a host thread that does not hold the state lock yet.
    if (xml == nullptr || !xml->hasTagName(ids::parametersType.toString()))
        return; // not our state: leave everything as it is

    const juce::ScopedLock lock(stateLock);
    ++stateLoadGeneration;
    applyStateTree(juce::ValueTree::fromXml(*xml), true);
}

void OrlixAudioProcessor::applyStateTree(const juce::ValueTree& tree, bool fromHost)
{
    const juce::ScopedLock lock(stateLock);
    auto copy = tree.createCopy();

    if (fromHost)
        hostStateLoaded = true;
    ++learnRevision;
    if (fromHost)
        stateVersion = roundedProperty(copy, ids::stateVersion, 1);
    copy.removeProperty(ids::stateVersion, nullptr);

    removeMalformedParamChildren(copy);
    removeRepeatedParamChildren(copy);

    // Every step below works with what each parameter will hold once the tree is
    // live, whether its "PARAM" child is there or not.
    const auto held = [&](ParameterIndex index) { return valueAfterLoad(copy, index); };

    // A parameter without a "PARAM" value gets one: its default, which the
    // framework would give it anyway. The framework itself writes no value
    // into a child it adds for a parameter that already holds its default,
    // and a saved state must say what every parameter holds.
    for (size_t i = 0; i < numParameters; ++i)
    {
        const auto index = (ParameterIndex)i;
        float stored = 0.0f;
        if (!getParamChildValue(copy, parameterId(index), stored))
            setParamChildValue(copy, parameterId(index), held(index));
    }

    const std::pair<const juce::Identifier*, ParameterIndex> applied[] = {
        {&ids::appliedSource, pSource}, {&ids::appliedNuance, pNuance}, {&ids::appliedCharacter, pCharacter}};
    for (const auto& [key, index] : applied)
        if (!readDoubleProperty(copy, *key))
            copy.setProperty(*key, (int)std::lround(held(index)), nullptr);

    {
        const int source = (int)std::lround(held(pSource));
        const int nuance = (int)std::lround(held(pNuance));
        const int clamped = clampNuance(source, nuance);
        if (clamped != nuance)
            setParamChildValue(copy, parameterId(pNuance), (float)clamped);
    }
    {
        const int source = roundedProperty(copy, ids::appliedSource, 0);
        const int nuance = roundedProperty(copy, ids::appliedNuance, 0);
        const int clamped = clampNuance(source, nuance);
        if (clamped != nuance)
            copy.setProperty(ids::appliedNuance, clamped, nullptr);
    }

    copy.removeProperty(ids::learnThrCorr, nullptr);
    for (int i = copy.getNumChildren(); --i >= 0;)
    {
        const auto child = copy.getChild(i);
        if (child.hasType(ids::param) && child.getProperty(ids::id).toString() == "learn")
            copy.removeChild(i, nullptr);
    }

    // States from before base values existed: the stored parameters are the base,
    // and a character saved while AUTO had picked it goes back to AUTO.
    const bool characterWasAuto = (bool)copy.getProperty(ids::learnCharAuto, false);
    for (const auto& row : baseValueTable)
    {
        if (copy.hasProperty(*row.key))
            continue;
        const auto id = parameterId(row.parameter);
        const float value = held(row.parameter);
        if (characterWasAuto && row.parameter == pCharacter && std::lround(value) != 0)
            setParamChildValue(copy, id, 0.0f);
        setBaseValue(copy, id, value);
    }
    copy.removeProperty(ids::learnCharAuto, nullptr);

    parameters.replaceState(copy);

    refreshCachedBaseCharacter();
    cachedSource->store((int)std::lround(currentParameterValue(pSource)));
    publishLearnCurves();
}

void OrlixAudioProcessor::publishLearnCurves()
{
    LearnCurves curves;
    {
        const juce::ScopedLock lock(stateLock);
        curves = parseLearnCurves(parameters.state);
    }
    const juce::SpinLock::ScopedLockType spin(learnCurvesBusy);
    publishedLearnCurves = curves;
}
