#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>
#include <string_view>

namespace orlix
{

enum class ParameterKind
{
    Float,
    Bool,
    Choice,
    Int
};

// How a parameter's value is shown to the user and the host.
enum class ValueText
{
    Decibel,
    Ratio,
    Time,
    Knee,
    Percent,
    Nuance,
    FrameworkDefault
};

struct ParameterSpec
{
    std::string_view id;
    std::string_view name;
    ParameterKind kind;
    float start, end, interval;
    float centre; // centre of travel for a skewed range; 0 means linear
    float defaultValue;
    ValueText text;
};

// The sixteen host parameters in the order the host lists them.
enum ParameterIndex
{
    pThreshold,
    pRatio,
    pAttack,
    pRelease,
    pKnee,
    pMix,
    pOutput,
    pAutoMakeup,
    pAutoRelease,
    pCharacter,
    pSource,
    pNuance,
    pBypass,
    pDriveOn,
    pDrive,
    pDriveType,
    numParameters
};

inline constexpr std::array<ParameterSpec, numParameters> parameterTable{{
    {"threshold", "Threshold", ParameterKind::Float, -60.0f, 0.0f, 0.1f, 0.0f, -18.0f, ValueText::Decibel},
    {"ratio", "Ratio", ParameterKind::Float, 1.0f, 20.0f, 0.01f, 4.0f, 4.0f, ValueText::Ratio},
    {"attack", "Attack", ParameterKind::Float, 0.1f, 200.0f, 0.01f, 10.0f, 10.0f, ValueText::Time},
    {"release", "Release", ParameterKind::Float, 10.0f, 2000.0f, 0.1f, 200.0f, 200.0f, ValueText::Time},
    {"knee", "Knee", ParameterKind::Float, 0.0f, 100.0f, 1.0f, 0.0f, 25.0f, ValueText::Knee},
    {"mix", "Mix", ParameterKind::Float, 0.0f, 100.0f, 0.1f, 0.0f, 100.0f, ValueText::Percent},
    {"output", "Output", ParameterKind::Float, -24.0f, 24.0f, 0.1f, 0.0f, 0.0f, ValueText::Decibel},
    {"autoMakeup", "Auto Makeup", ParameterKind::Bool, 0, 1, 1, 0, 0.0f, ValueText::FrameworkDefault},
    {"autoRelease", "Auto Release", ParameterKind::Bool, 0, 1, 1, 0, 0.0f, ValueText::FrameworkDefault},
    {"character", "Character", ParameterKind::Choice, 0, 3, 1, 0, 0.0f, ValueText::FrameworkDefault},
    {"source", "Source", ParameterKind::Choice, 0, 12, 1, 0, 0.0f, ValueText::FrameworkDefault},
    {"nuance", "Detail", ParameterKind::Int, 0, 7, 1, 0, 0.0f, ValueText::Nuance},
    {"bypass", "Bypass", ParameterKind::Bool, 0, 1, 1, 0, 0.0f, ValueText::FrameworkDefault},
    {"driveOn", "Drive On", ParameterKind::Bool, 0, 1, 1, 0, 0.0f, ValueText::FrameworkDefault},
    {"drive", "Drive", ParameterKind::Float, 0.0f, 100.0f, 0.1f, 0.0f, 0.0f, ValueText::Percent},
    {"driveType", "Drive Type", ParameterKind::Choice, 0, 3, 1, 0, 0.0f, ValueText::FrameworkDefault},
}};

inline constexpr std::array<std::string_view, 4> characterChoices{"AUTO", "OPTO", "FET", "VCA"};
inline constexpr std::array<std::string_view, 13> sourceChoices{
    "Universal", "Vocal", "Drum",    "Percussion", "Bass",     "Guitar", "Piano",
    "Keys",      "Synth", "Strings", "Brass",      "Woodwind", "MIX"};
inline constexpr std::array<std::string_view, 4> driveTypeChoices{"TUBE", "TRANSFORMER", "TAPE", "FET"};

enum Character
{
    characterAuto = 0,
    characterOpto = 1,
    characterFet = 2,
    characterVca = 3
};

enum Source
{
    sourceUniversal,
    sourceVocal,
    sourceDrum,
    sourcePercussion,
    sourceBass,
    sourceGuitar,
    sourcePiano,
    sourceKeys,
    sourceSynth,
    sourceStrings,
    sourceBrass,
    sourceWoodwind,
    sourceMix,
    numSources
};

inline juce::String parameterId(ParameterIndex index)
{
    return juce::String(parameterTable[(size_t)index].id.data(), parameterTable[(size_t)index].id.size());
}

// Index of a parameter id in the table, or -1.
int parameterIndexOf(const juce::String& id);

juce::NormalisableRange<float> rangeOf(const ParameterSpec& spec);

juce::StringArray nuanceNames(int source);
int clampNuance(int source, int nuance);

juce::String valueToText(ValueText kind, float value);
float kneeFromText(const juce::String& text);
int nuanceFromText(int source, const juce::String& text);
juce::String nuanceText(int source, int value);

juce::AudioProcessorValueTreeState::ParameterLayout
createParameterLayout(std::shared_ptr<std::atomic<int>> cachedSource);

} // namespace orlix
