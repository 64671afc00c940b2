#pragma once

#include "cli/Session.h"

#include <ostream>

namespace orlix::cli
{

void printStatistics(std::ostream& out, const LearnStatistics& stats);
void printLearnedSettings(std::ostream& out, OrlixAudioProcessor& processor);
void printTarget(std::ostream& out, const OrlixAudioProcessor& processor);
// One line saying why the settings Learn chose cannot give the TARGET, judged by
// Learn's own estimate of their gain reduction; empty when they can.
juce::String targetOutOfReach(OrlixAudioProcessor& processor);
void printRenderReport(std::ostream& out, const RenderReport& report);
// The render in one line, for a list of files.
juce::String renderSummary(const RenderReport& report);

// A progress bar on standard error when it is a terminal; silent otherwise.
class ProgressBar
{
public:
    explicit ProgressBar(std::ostream& err);
    ~ProgressBar();
    void update(double fraction, const juce::String& label);
    void finish();

private:
    std::ostream& err;
    bool enabled;
    int lastShown = -1;
};

} // namespace orlix::cli
