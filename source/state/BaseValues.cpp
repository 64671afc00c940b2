#include "state/BaseValues.h"

#include "state/LearnTextFormats.h"
#include "state/StateIds.h"

namespace orlix
{

const std::array<BaseValueRow, 11> baseValueTable{{
    {pThreshold, &ids::baseThreshold, false},
    {pRatio, &ids::baseRatio, false},
    {pAttack, &ids::baseAttack, false},
    {pRelease, &ids::baseRelease, false},
    {pKnee, &ids::baseKnee, false},
    {pMix, &ids::baseMix, false},
    {pDrive, &ids::baseDrive, false},
    {pAutoMakeup, &ids::baseAutoMakeup, true},
    {pAutoRelease, &ids::baseAutoRelease, true},
    {pDriveType, &ids::baseDriveType, true},
    {pCharacter, &ids::baseCharacter, true},
}};

const BaseValueRow* baseValueRowOf(const juce::String& parameterId)
{
    for (const auto& row : baseValueTable)
        if (orlix::parameterId(row.parameter) == parameterId)
            return &row;
    return nullptr;
}

bool getBaseValue(const juce::ValueTree& tree, const juce::String& parameterId, float& value)
{
    const auto* row = baseValueRowOf(parameterId);
    if (row == nullptr)
        return false;
    const auto stored = readDoubleProperty(tree, *row->key);
    if (!stored)
        return false;
    value = (float)*stored;
    return true;
}

void setBaseValue(juce::ValueTree& tree, const juce::String& parameterId, float value)
{
    if (const auto* row = baseValueRowOf(parameterId))
        tree.setProperty(*row->key, (double)value, nullptr);
}

namespace
{
juce::ValueTree paramChild(const juce::ValueTree& tree, const juce::String& parameterId)
{
    for (const auto& child : tree)
        if (child.hasType(ids::param) && child.getProperty(ids::id).toString() == parameterId)
            return child;
    return {};
}
} // namespace

bool getParamChildValue(const juce::ValueTree& tree, const juce::String& parameterId, float& value)
{
    const auto child = paramChild(tree, parameterId);
    if (!child.isValid())
        return false;
    const auto stored = readDoubleProperty(child, ids::value);
    if (!stored)
        return false;
    value = (float)std::clamp(*stored, -1.0e30, 1.0e30);
    return true;
}

void setParamChildValue(juce::ValueTree& tree, const juce::String& parameterId, float value)
{
    auto child = paramChild(tree, parameterId);
    if (!child.isValid())
    {
        child = juce::ValueTree(ids::param);
        child.setProperty(ids::id, parameterId, nullptr);
        tree.appendChild(child, nullptr);
    }
    child.setProperty(ids::value, value, nullptr);
}

} // namespace orlix
