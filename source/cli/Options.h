#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <optional>
#include <vector>

namespace orlix::cli
{

// Command-line options: "--name value" pairs, repeatable ones, switches and
// positional arguments, checked against what the command accepts.
struct Options
{
    std::vector<juce::String> positional;
    std::map<juce::String, juce::String> values;
    std::vector<std::pair<juce::String, juce::String>> settings; // --set id=value, in order
    juce::StringArray switches;

    bool has(const juce::String& name) const { return switches.contains(name) || values.count(name) > 0; }
    std::optional<juce::String> value(const juce::String& name) const
    {
        const auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<juce::String>(it->second);
    }
};

// Parses args; `withValue` lists the options that take a value, `flags` the switches.
std::optional<Options> parseOptions(const juce::StringArray& args, const juce::StringArray& withValue,
                                    const juce::StringArray& flags, juce::String& error);

} // namespace orlix::cli
