#include "cli/AudioFiles.h"
#include "cli/Commands.h"

#include <juce_events/juce_events.h>

#include <iostream>

int main(int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juceSystem;
    orlix::cli::keepDecoderDiagnosticsOffStandardError();
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add(juce::String::fromUTF8(argv[i]));
    return orlix::cli::run(args, std::cout, std::cerr);
}
