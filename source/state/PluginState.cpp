#include "state/PluginState.h"

#include "state/BaseValues.h"
#include "state/StateBlob.h"
#include "state/StateIds.h"

namespace orlix
{

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

PluginState::PluginState(juce::AudioProcessorValueTreeState& parameterState,
                         std::shared_ptr<std::atomic<int>> sourceCell)
    : parameters(parameterState), cachedSource(std::move(sourceCell))
{
    for (size_t i = 0; i < numParameters; ++i)
        rawParameters[i] = parameters.getRawParameterValue(parameterId((ParameterIndex)i));
}

int PluginState::roundedParameter(ParameterIndex index) const noexcept
{
    return (int)std::lround(rawParameter(index));
}

void PluginState::setParameterWithGesture(ParameterIndex index, float denormalisedValue)
{
    auto* parameter = parameters.getParameter(parameterId(index));
    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost(parameter->convertTo0to1(denormalisedValue));
    parameter->endChangeGesture();
}

int PluginState::effectiveCharacter() const noexcept
{
    const int character = roundedParameter(pCharacter);
    if (character != characterAuto)
        return std::clamp(character, 1, 3);
    const int base = cachedBaseCharacter.load();
    return base != 0 ? base : characterVca;
}

EngineSettings PluginState::buildEngineSettings(const LearnCurves& curves) const noexcept
{
    EngineSettings s;
    s.thresholdDb = rawParameter(pThreshold);
    s.ratio = rawParameter(pRatio);
    s.attackMs = rawParameter(pAttack);
    s.releaseMs = rawParameter(pRelease);
    s.kneeDb = juce::jlimit(0.0f, 100.0f, rawParameter(pKnee)) * 0.01f * 24.0f;
    s.mix = rawParameter(pMix) * 0.01f;
    s.outputDb = rawParameter(pOutput);
    s.autoMakeup = rawParameter(pAutoMakeup) > 0.5f;
    s.autoRelease = rawParameter(pAutoRelease) > 0.5f;

    int character = (int)std::lround(rawParameter(pCharacter));
    if (character == characterAuto)
    {
        const int base = cachedBaseCharacter.load();
        character = base != 0 ? base : characterVca;
    }
    s.character = character;

    s.driveOn = rawParameter(pDriveOn) > 0.5f;
    s.driveAmount = rawParameter(pDrive);
    s.driveType = (int)std::lround(rawParameter(pDriveType));

    if (curves.valid)
    {
        s.learnCurvesPresent = true;
        s.histogramValid = curves.histogramValid;
        s.histogramWeight = curves.histogramWeight;
        s.histogramCrest = curves.histogramValue;
        const size_t slot = (size_t)juce::jlimit(1, 3, character) - 1;
        s.curveValid = curves.curvesValid;
        s.curveX = curves.curveX[slot];
        s.curveY = curves.curveY[slot];
        s.driveEqValid = curves.driveEqValid;
        s.driveEq = curves.driveEq;
    }
    return s;
}

juce::ValueTree PluginState::copyState()
{
    const juce::ScopedLock lock(stateLock);
    return parameters.copyState();
}

int PluginState::version() const
{
    const juce::ScopedLock lock(stateLock);
    return stateVersion;
}

bool PluginState::readStoredStatistics(LearnStatistics& stats)
{
    const juce::ScopedLock lock(stateLock);
    return readLearnStatistics(parameters.state, stats, &traceCache);
}

int PluginState::storedLearnId() const
{
    const juce::ScopedLock lock(stateLock);
    const auto id = readDoubleProperty(parameters.state, ids::learnId);
    return id ? (int)std::clamp(*id, -2147483647.0, 2147483647.0) : 0;
}

void PluginState::checkpoint(const char* label) const
{
    if (checkpointHook)
        checkpointHook(label);
}

float PluginState::valueAfterLoad(const juce::ValueTree& tree, ParameterIndex index) const
{
    // The framework snaps a loaded value into its range and gives a parameter
    // without a "PARAM" child its default.
    const auto* parameter = parameters.getParameter(parameterId(index));
    float stored = 0.0f;
    if (!getParamChildValue(tree, parameterId(index), stored))
        return parameter->convertFrom0to1(parameter->getDefaultValue());
    return parameter->convertFrom0to1(parameter->convertTo0to1(stored));
}

void PluginState::refreshCachedBaseCharacter()
{
    const juce::ScopedLock lock(stateLock);
    cachedBaseCharacter = roundedProperty(parameters.state, ids::baseCharacter, 0);
}

void PluginState::initialiseStateKeys()
{
    {
        const juce::ScopedLock lock(stateLock);
        auto& tree = parameters.state;
        tree.setProperty(ids::appliedSource, (int)std::lround(rawParameter(pSource)), nullptr);
        tree.setProperty(ids::appliedNuance, (int)std::lround(rawParameter(pNuance)), nullptr);
        tree.setProperty(ids::appliedCharacter, (int)std::lround(rawParameter(pCharacter)), nullptr);
        for (const auto& row : baseValueTable)
            if (!tree.hasProperty(*row.key))
                setBaseValue(tree, parameterId(row.parameter), rawParameter(row.parameter));
        refreshCachedBaseCharacter();
    }
    publishLearnCurves();
}

void PluginState::getStateInformation(juce::MemoryBlock& destData)
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
        juce::AudioProcessor::copyXmlToBinary(*xml, destData);
}

void PluginState::setStateInformation(const void* data, int sizeInBytes)
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

void PluginState::applyStateTree(const juce::ValueTree& tree, bool fromHost)
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
    cachedSource->store((int)std::lround(rawParameter(pSource)));
    publishLearnCurves();
}

void PluginState::publishLearnCurves()
{
    LearnCurves curves;
    {
        const juce::ScopedLock lock(stateLock);
        curves = parseLearnCurves(parameters.state);
    }
    const juce::SpinLock::ScopedLockType spin(learnCurvesBusy);
    publishedLearnCurves = curves;
}

// audio thread
void PluginState::takeLearnCurves(LearnCurves& into) noexcept
{
    if (!learnCurvesBusy.tryEnter())
        return; // the message thread is publishing: keep last block's copy
    into = publishedLearnCurves;
    learnCurvesBusy.exit();
}

} // namespace orlix
