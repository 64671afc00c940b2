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

// Runs `work` on every item, as many at once as the machine has cores. Prints one
// line per item as it finishes: "NAME: summary" on `out`, "NAME: error" on `err`.
// A failed item never stops the others. Returns 0 when all succeeded, else 1.
int runBatch(const juce::String& command, const std::vector<BatchItem>& items,
             const std::function<JobResult(const BatchItem&)>& work, std::ostream& out, std::ostream& err);

// The items for the inputs and --out-dir, or false with a one-line error.
bool batchItems(const std::vector<juce::String>& inputs, const juce::String& outDir, SampleFormat format,
                std::vector<BatchItem>& items, juce::String& error);

} // namespace orlix::cli
