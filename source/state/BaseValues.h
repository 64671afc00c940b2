#pragma once

#include "processor/ParameterLayout.h"

#include <juce_data_structures/juce_data_structures.h>

#include <array>

namespace orlix
{

// Binds each base key (the value Learn last set, before user adjustments) to
// its parameter.
struct BaseValueRow
{
    ParameterIndex parameter;
    const juce::Identifier* key;
    bool discrete;
};

extern const std::array<BaseValueRow, 11> baseValueTable;

const BaseValueRow* baseValueRowOf(const juce::String& parameterId);

bool getBaseValue(const juce::ValueTree& tree, const juce::String& parameterId, float& value);
void setBaseValue(juce::ValueTree& tree, const juce::String& parameterId, float value);

// The "value" of the "PARAM" child with that id.
bool getParamChildValue(const juce::ValueTree& tree, const juce::String& parameterId, float& value);
void setParamChildValue(juce::ValueTree& tree, const juce::String& parameterId, float value);

} // namespace orlix
