#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <memory>

namespace orlix
{

// Bounds on the markup of a host's state blob, checked by a linear scan before
// the framework's recursive XML reader sees it. The real state is two levels
// deep (the root and its "PARAM" children) with about fifty properties on the
// root; the bounds leave room for that and nothing that could exhaust a host
// thread's stack or keep it busy for seconds.
struct MarkupLimits
{
    int maxDepth = 8;
    int maxElements = 4096;
    int maxAttributesPerElement = 1024;
};

// True when the text's elements nest no deeper, and are no more numerous, than
// the limits allow, and it holds no document type declaration (the framework
// expands the entities such a declaration defines recursively).
bool markupWithinLimits(const char* text, size_t length, const MarkupLimits& limits = {});

// The XML of a "VC2!" state blob, read by the framework's wrapper rules, or
// nothing when the blob is not one, is cut short or breaks the markup limits.
std::unique_ptr<juce::XmlElement> xmlOfStateBlob(const void* data, int sizeInBytes);

} // namespace orlix
