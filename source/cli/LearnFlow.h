#pragma once

#include "cli/AudioFiles.h"
#include "cli/Options.h"

#include <optional>
#include <ostream>

namespace orlix::cli
{

// Where in the file Learn listens.
struct ListenChoice
{
    std::optional<double> fromSeconds; // --from: from there to the end
    bool automatic = false;            // --listen auto: the most representative 8 s
};

// One Learn run on audio, optionally followed by a render and a state save.
struct LearnJob
{
    AudioFile input;
    juce::String name;
    std::optional<juce::String> source, nuance, character;
    std::optional<float> target;
    std::optional<juce::File> output, stateFile;
    ListenChoice listen;
    int blockSize = 512;
    SampleFormat format = SampleFormat::pcm24;
    bool overwrite = false;
    std::vector<std::pair<juce::String, juce::String>> settings;
};

// What a finished job tells: the exit code, and on failure the one-line error;
// `summary` is the one line that stands for the job in a list of files.
struct JobResult
{
    int exitCode = 0;
    juce::String error, summary;
};

// Runs the job and prints its full report to `out`.
JobResult runLearnJob(const LearnJob& job, std::ostream& out, bool showProgress);

// The command's options that every job shares, read once; false with a one-line error.
bool readLearnOptions(const Options& options, LearnJob& job, juce::String& error);

// Reads --block, --bits, --float and --force; false with a one-line error.
bool readCommonOptions(const Options& options, int& blockSize, SampleFormat& format, bool& overwrite,
                       juce::String& error);

} // namespace orlix::cli
