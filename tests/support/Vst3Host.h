#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace testsupport
{

// Loads the built Orlix.vst3 bundle through JUCE's own VST3 hosting, as a DAW would.
struct Vst3Host
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> descriptions;

    Vst3Host() { format.findAllTypesForFile(descriptions, ORLIX_VST3_BUNDLE); }

    std::unique_ptr<juce::AudioPluginInstance> instantiate(double rate = 48000.0, int block = 512)
    {
        if (descriptions.isEmpty())
            return nullptr;
        juce::String error;
        return format.createInstanceFromDescription(*descriptions[0], rate, block, error);
    }
};

} // namespace testsupport
