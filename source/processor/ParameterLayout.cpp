#include "processor/ParameterLayout.h"

#include <cmath>

namespace orlix
{
namespace
{
struct NuanceList
{
    int source;
    std::array<const char*, 7> names;
    int count;
};

constexpr std::array<NuanceList, 13> nuanceTable{{
    {sourceUniversal, {"Gentle", "Natural", "Strong"}, 3},
    {sourceVocal, {"Lead", "Backing"}, 2},
    {sourceDrum, {"Kick", "Snare", "Hi-Hat", "Toms", "OH-Room", "Full Kit", "Loop"}, 7},
    {sourcePercussion,
     {"Hand Drum", "Shaker-Tamb", "Wood-Click", "Mallet", "Low Perc", "Metal", "Full Perc"},
     7},
    {sourceBass, {"Finger-Pick", "Slap", "DI", "Synth", "808-Sub"}, 5},
    {sourceGuitar, {"Lead", "Clean", "Crunch", "Acoustic", "DI"}, 5},
    {sourcePiano, {"Backing", "Solo"}, 2},
    {sourceKeys, {"EP", "Organ", "Clav"}, 3},
    {sourceSynth, {"Pad", "Pluck", "Lead", "Arp"}, 4},
    {sourceStrings, {"Legato", "Staccato", "Section"}, 3},
    {sourceBrass, {"Legato", "Staccato", "Section"}, 3},
    {sourceWoodwind, {"Legato", "Staccato", "Section"}, 3},
    {sourceMix, {"Bus", "Master"}, 2},
}};

const NuanceList& nuanceListOf(int source)
{
    if (source < 0 || source >= (int)nuanceTable.size())
        return nuanceTable[sourceUniversal];
    return nuanceTable[(size_t)source];
}

juce::String oneDecimal(float v)
{
    auto text = juce::String(v, 1);
    return text == "-0.0" ? juce::String("0.0") : text;
}

juce::String nearestInteger(float v)
{
    return juce::String(std::lround(v));
}

juce::StringArray toStringArray(const auto& choices)
{
    juce::StringArray result;
    for (auto c : choices)
        result.add(juce::String(c.data(), c.size()));
    return result;
}

juce::ParameterID idOf(const ParameterSpec& spec)
{
    return {juce::String(spec.id.data(), spec.id.size()), 1};
}

juce::String nameOf(const ParameterSpec& spec)
{
    return juce::String(spec.name.data(), spec.name.size());
}

std::unique_ptr<juce::RangedAudioParameter> makeFloat(const ParameterSpec& spec)
{
    auto attributes = juce::AudioParameterFloatAttributes().withStringFromValueFunction(
        [kind = spec.text](float v, int) { return valueToText(kind, v); });
    if (spec.text == ValueText::Knee)
        attributes =
            attributes.withValueFromStringFunction([](const juce::String& t) { return kneeFromText(t); });
    return std::make_unique<juce::AudioParameterFloat>(idOf(spec), nameOf(spec), rangeOf(spec),
                                                       spec.defaultValue, attributes);
}

// The framework's switch keeps whatever normalised value a host writes (0.65,
// say) while the state stores only on or off, so a host reading it back after
// a restore would see another value. This one holds exactly 0 or 1.
class SwitchParameter final : public juce::AudioParameterBool
{
public:
    SwitchParameter(const juce::ParameterID& parameterId, const juce::String& parameterName, bool defaultOn)
        : juce::AudioParameterBool(parameterId, parameterName, defaultOn), state(defaultOn ? 1.0f : 0.0f)
    {
    }

private:
    float getValue() const override { return state.load(); }
    void setValue(float newValue) override
    {
        const float snapped = newValue >= 0.5f ? 1.0f : 0.0f;
        state.store(snapped);
        valueChanged(snapped >= 0.5f);
    }

    std::atomic<float> state;
};

std::unique_ptr<juce::RangedAudioParameter> makeChoice(const ParameterSpec& spec, ParameterIndex index)
{
    auto choices = index == pCharacter ? toStringArray(characterChoices)
                   : index == pSource  ? toStringArray(sourceChoices)
                                       : toStringArray(driveTypeChoices);
    return std::make_unique<juce::AudioParameterChoice>(idOf(spec), nameOf(spec), choices,
                                                        (int)spec.defaultValue);
}

// Detail has at most eight values, so hosts offer it in steps rather than as a
// continuous slider. Its names follow SOURCE, which a host's fixed list of values
// cannot: that list names each value by its position instead.
class NuanceParameter final : public juce::AudioParameterInt
{
public:
    using juce::AudioParameterInt::AudioParameterInt;

    bool isDiscrete() const override { return true; }

    juce::StringArray getAllValueStrings() const override
    {
        juce::StringArray positions;
        for (int i = 1; i <= getRange().getLength() + 1; ++i)
            positions.add(juce::String(i));
        return positions;
    }
};

std::unique_ptr<juce::RangedAudioParameter> makeNuance(const ParameterSpec& spec,
                                                       std::shared_ptr<std::atomic<int>> cachedSource)
{
    auto attributes = juce::AudioParameterIntAttributes()
                          .withStringFromValueFunction([cachedSource](int v, int)
                                                       { return nuanceText(cachedSource->load(), v); })
                          .withValueFromStringFunction([cachedSource](const juce::String& t)
                                                       { return nuanceFromText(cachedSource->load(), t); });
    return std::make_unique<NuanceParameter>(idOf(spec), nameOf(spec), (int)spec.start, (int)spec.end,
                                             (int)spec.defaultValue, attributes);
}
} // namespace

int parameterIndexOf(const juce::String& id)
{
    for (size_t i = 0; i < parameterTable.size(); ++i)
        if (id == juce::String(parameterTable[i].id.data(), parameterTable[i].id.size()))
            return (int)i;
    return -1;
}

juce::NormalisableRange<float> rangeOf(const ParameterSpec& spec)
{
    juce::NormalisableRange<float> range(spec.start, spec.end, spec.interval);
    if (spec.centre > 0.0f)
        range.skew = std::log(0.5f) / std::log((spec.centre - spec.start) / (spec.end - spec.start));
    return range;
}

juce::StringArray nuanceNames(int source)
{
    const auto& list = nuanceListOf(source);
    juce::StringArray names;
    for (int i = 0; i < list.count; ++i)
        names.add(list.names[(size_t)i]);
    return names;
}

int clampNuance(int source, int nuance)
{
    const int count = nuanceListOf(source).count;
    return juce::jlimit(0, juce::jmax(0, count - 1), nuance);
}

juce::String valueToText(ValueText kind, float v)
{
    switch (kind)
    {
    case ValueText::Decibel:
        return oneDecimal(v) + " dB";
    case ValueText::Ratio:
        return oneDecimal(v) + " :1";
    case ValueText::Time:
        return (v < 10.0f ? oneDecimal(v) : nearestInteger(v)) + " ms";
    case ValueText::Knee:
        if (v <= 0.5f)
            return "HARD";
        if (v >= 99.5f)
            return "SOFT";
        return nearestInteger(v);
    case ValueText::Percent:
        return nearestInteger(v) + " %";
    case ValueText::Nuance:
    case ValueText::FrameworkDefault:
        break;
    }
    return juce::String(v);
}

float kneeFromText(const juce::String& text)
{
    auto trimmed = text.trim();
    if (trimmed.equalsIgnoreCase("HARD"))
        return 0.0f;
    if (trimmed.equalsIgnoreCase("SOFT"))
        return 100.0f;
    return trimmed.getFloatValue();
}

int nuanceFromText(int source, const juce::String& text)
{
    auto names = nuanceNames(source);
    for (int i = 0; i < names.size(); ++i)
        if (names[i].equalsIgnoreCase(text))
            return i;
    return 0;
}

juce::String nuanceText(int source, int value)
{
    auto names = nuanceNames(source);
    const int count = names.size();
    int index = 0;
    if (value >= 0 && count >= 2)
        index = juce::jmin(value, count - 1);
    return count > 0 ? names[index] : juce::String();
}

juce::AudioProcessorValueTreeState::ParameterLayout
createParameterLayout(std::shared_ptr<std::atomic<int>> cachedSource)
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    for (size_t i = 0; i < parameterTable.size(); ++i)
    {
        const auto& spec = parameterTable[i];
        const auto index = (ParameterIndex)i;
        switch (spec.kind)
        {
        case ParameterKind::Float:
            layout.add(makeFloat(spec));
            break;
        case ParameterKind::Bool:
            layout.add(std::make_unique<SwitchParameter>(idOf(spec), nameOf(spec), spec.defaultValue > 0.5f));
            break;
        case ParameterKind::Choice:
            layout.add(makeChoice(spec, index));
            break;
        case ParameterKind::Int:
            layout.add(makeNuance(spec, cachedSource));
            break;
        }
    }
    return layout;
}

} // namespace orlix
