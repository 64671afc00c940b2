#pragma once

#include <juce_core/juce_core.h>

#include <ostream>

namespace orlix::cli
{
int run(const juce::StringArray& args, std::ostream& out, std::ostream& err);
int info(const juce::StringArray& args, std::ostream& out, std::ostream& err);
int learn(const juce::StringArray& args, std::ostream& out, std::ostream& err);
int render(const juce::StringArray& args, std::ostream& out, std::ostream& err);
int demo(const juce::StringArray& args, std::ostream& out, std::ostream& err);
int snapshot(const juce::StringArray& args, std::ostream& out, std::ostream& err);
} // namespace orlix::cli
