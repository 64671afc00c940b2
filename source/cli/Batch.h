#pragma once

#include "cli/AudioFiles.h"
#include "cli/LearnFlow.h"

#include <functional>
#include <ostream>
#include <vector>

namespace orlix::cli
{

struct BatchItem
{
    juce::String shownName; // the input as it was typed
    juce::File input, output;
};

// The output for an input in DIR: the input's own name when it is a WAV or FLAC
// file that the format can be written as, otherwise its name with ".wav".
juce::File outputInFolder(const juce::File& input, const juce::File& folder, SampleFormat format);

// Runs `work` on every input with its output in `outDir`, as many at once as the
// machine has cores. Prints one line per input as it finishes: "NAME: summary" on
// `out`, "NAME: error" on `err`. A failed input never stops the others. Returns 0
// when all succeeded, 1 when any failed, 2 when the folder is missing.
int runBatch(const juce::String& command, const std::vector<juce::String>& inputs, const juce::String& outDir,
             SampleFormat format, const std::function<JobResult(const BatchItem&)>& work, std::ostream& out,
             std::ostream& err);

} // namespace orlix::cli
