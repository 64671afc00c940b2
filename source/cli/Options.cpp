#include "cli/Options.h"

namespace orlix::cli
{

std::optional<Options> parseOptions(const juce::StringArray& args, const juce::StringArray& withValue,
                                    const juce::StringArray& flags, juce::String& error)
{
    Options options;
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        if (!arg.startsWith("--"))
        {
            options.positional.push_back(arg);
            continue;
        }
        if (flags.contains(arg))
        {
            options.switches.addIfNotAlreadyThere(arg);
            continue;
        }
        if (!withValue.contains(arg))
        {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size())
        {
            error = "option '" + arg + "' needs a value";
            return std::nullopt;
        }
        const auto value = args[++i];
        if (arg == "--set")
        {
            if (!value.containsChar('=') || value.upToFirstOccurrenceOf("=", false, false).trim().isEmpty())
            {
                error = "--set needs id=value, not '" + value + "'";
                return std::nullopt;
            }
            options.settings.emplace_back(value.upToFirstOccurrenceOf("=", false, false).trim(),
                                          value.fromFirstOccurrenceOf("=", false, false));
        }
        else
            options.values[arg] = value;
    }
    return options;
}

} // namespace orlix::cli
