#pragma once

#include "cli/AudioFiles.h"
#include "cli/Options.h"

#include <optional>
#include <ostream>

namespace orlix::cli
{

// One Learn run on audio, optionally followed by a render and a state save.
struct LearnJob
{
    AudioFile input;
    juce::String name;
    std::optional<juce::String> source, nuance, character;
    std::optional<float> target;
    std::optional<juce::File> output, stateFile;
    int blockSize = 512;
    SampleFormat format = SampleFormat::pcm24;
    bool overwrite = false;
    std::vector<std::pair<juce::String, juce::String>> settings;
};

int runLearnJob(const LearnJob& job, std::ostream& out, std::ostream& err);
int runLearn(const Options& options, const juce::File& input, std::ostream& out, std::ostream& err);

// Reads --block, --float and --force; false with a one-line error.
bool readCommonOptions(const Options& options, int& blockSize, SampleFormat& format, bool& overwrite,
                       juce::String& error);

} // namespace orlix::cli
