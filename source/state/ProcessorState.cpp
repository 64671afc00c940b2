// The processor's persisted state: host save and load, the migrations of older
// states, and the hand-over of the Learn curves to the audio thread.
#include "processor/OrlixAudioProcessor.h"

#include "state/BaseValues.h"
#include "state/StateIds.h"

using namespace orlix;

namespace
{
int roundedParamChild(const juce::ValueTree& tree, ParameterIndex index, int fallback)
{
    float v = 0.0f;
    return getParamChildValue(tree, parameterId(index), v) ? (int)std::lround(v) : fallback;
}

// The framework reads a "PARAM" value leniently ("2x" as 2) and a missing one as
// the default; a value that is not a plain number reads as absent instead, so the
// parameter keeps its current value and every later step sees what it will hold.
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

namespace
{
// The framework's "VC2!" wrapper, read by its own rules. The framework's XML
// reader accepts a document cut off inside the root's start tag as an empty
// root; a blob cut short like that must change nothing, so the text has to end
// where a document ends.
std::unique_ptr<juce::XmlElement> xmlOfBlob(const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return nullptr;
    const auto* bytes = static_cast<const char*>(data);
    if (juce::ByteOrder::littleEndianInt(bytes) != juce::ByteOrder::littleEndianInt("VC2!"))
        return nullptr;
    const auto declared = (int)juce::ByteOrder::littleEndianInt(bytes + 4);
    if (declared <= 0)
        return nullptr;
    const auto text = juce::String::fromUTF8(bytes + 8, juce::jmin(sizeInBytes - 8, declared));
    if (!text.trimEnd().endsWithChar('>'))
        return nullptr;
    return juce::XmlDocument(text).getDocumentElement();
}
} // namespace

void OrlixAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    auto xml = xmlOfBlob(data, sizeInBytes);
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

    const std::pair<const juce::Identifier*, ParameterIndex> applied[] = {
        {&ids::appliedSource, pSource}, {&ids::appliedNuance, pNuance}, {&ids::appliedCharacter, pCharacter}};
    for (const auto& [key, index] : applied)
        if (!readDoubleProperty(copy, *key))
            copy.setProperty(*key,
                             roundedParamChild(copy, index, (int)std::lround(currentParameterValue(index))),
                             nullptr);

    float storedNuance = 0.0f;
    if (getParamChildValue(copy, parameterId(pNuance), storedNuance))
    {
        // The SOURCE the parameter will hold: the stored one limited to its range, or the
        // current one, which a state without a SOURCE leaves in place.
        const int source =
            std::clamp(roundedParamChild(copy, pSource, (int)std::lround(currentParameterValue(pSource))), 0,
                       numSources - 1);
        const int nuance = (int)std::clamp(std::round(storedNuance), -1.0e9f, 1.0e9f);
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
        float value = 0.0f;
        if (!getParamChildValue(copy, id, value))
            value = currentParameterValue(row.parameter);
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
