#pragma once

#include <juce_core/juce_core.h>

namespace orlix
{
// The host name of the maker's website, shared by the help menu's links and
// the feedback service. It is kept scrambled in the module and restored at
// every call, so it never sits there as plain text.
juce::String makerHost();
} // namespace orlix
