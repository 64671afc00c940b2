#include "cli/Commands.h"

#include "processor/OrlixAudioProcessor.h"

namespace orlix::cli
{

int info(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix info\n\nBuilds the processor as a host would and prints its identity,\n"
               "its latency at 48 kHz stereo and its parameters in host order with their defaults.\n";
        return 0;
    }
    if (!args.isEmpty())
    {
        err << "orlix info: unexpected argument '" << args[0] << "'\n";
        return 2;
    }

    OrlixAudioProcessor processor;
    processor.setPlayConfigDetails(2, 2, 48000.0, 512);
    processor.prepareToPlay(48000.0, 512);

    out << JucePlugin_Name << " " << JucePlugin_VersionString << " by " << JucePlugin_Manufacturer << "\n"
        << "  category: " << JucePlugin_Vst3Category << "\n"
        << "  latency at 48 kHz: " << processor.getLatencySamples() << " samples\n"
        << "  tail: " << juce::String(processor.getTailLengthSeconds() * 1000.0, 2) << " ms\n"
        << "  parameters:\n";

    int index = 1;
    for (auto* parameter : processor.getParameters())
    {
        auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*>(parameter);
        const auto id = withId != nullptr ? withId->getParameterID() : juce::String();
        out << "    " << juce::String(index++).paddedLeft(' ', 2) << "  " << id.paddedRight(' ', 12) << " "
            << parameter->getName(64).paddedRight(' ', 13) << " "
            << parameter->getText(parameter->getDefaultValue(), 64) << "\n";
    }
    processor.releaseResources();
    return 0;
}

} // namespace orlix::cli
