#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace testsupport
{

// Loads the built Orlix.vst3 bundle (or another, such as an installed one) through
// JUCE's own VST3 hosting, as a DAW would.
struct Vst3Host
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> descriptions;

    explicit Vst3Host(const juce::String& bundle = ORLIX_VST3_BUNDLE)
    {
        format.findAllTypesForFile(descriptions, bundle);
    }

    std::unique_ptr<juce::AudioPluginInstance> instantiate(double rate = 48000.0, int block = 512)
    {
        if (descriptions.isEmpty())
            return nullptr;
        juce::String error;
        return format.createInstanceFromDescription(*descriptions[0], rate, block, error);
    }
};

} // namespace testsupport
