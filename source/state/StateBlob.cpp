#include "state/StateBlob.h"

#include <cstring>

namespace orlix
{
namespace
{
// Where `token` next starts at or after `from`, or `length` when it never does.
size_t find(const char* text, size_t length, size_t from, const char* token)
{
    const size_t tokenLength = std::strlen(token);
    for (size_t i = from; i + tokenLength <= length; ++i)
        if (std::memcmp(text + i, token, tokenLength) == 0)
            return i;
    return length;
}

bool startsWith(const char* text, size_t length, size_t at, const char* token)
{
    const size_t tokenLength = std::strlen(token);
    return at + tokenLength <= length && std::memcmp(text + at, token, tokenLength) == 0;
}

// One start tag from its '<': where it ends (one past '>'), whether it closes
// itself and how many attributes it has. Quoted values may hold '>' and '='.
struct StartTag
{
    size_t end = 0;
    bool selfClosing = false;
    int attributes = 0;
    bool complete = false;
};

StartTag scanStartTag(const char* text, size_t length, size_t at)
{
    StartTag tag;
    char quote = 0;
    for (size_t i = at + 1; i < length; ++i)
    {
        const char c = text[i];
        if (quote != 0)
        {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == '=')
            ++tag.attributes;
        else if (c == '>')
        {
            tag.end = i + 1;
            tag.selfClosing = text[i - 1] == '/';
            tag.complete = true;
            return tag;
        }
    }
    return tag;
}
} // namespace

bool markupWithinLimits(const char* text, size_t length, const MarkupLimits& limits)
{
    int depth = 0;
    int elements = 0;
    size_t i = 0;
    while (i < length)
    {
        const char* next = static_cast<const char*>(std::memchr(text + i, '<', length - i));
        if (next == nullptr)
            return true;
        i = (size_t)(next - text);

        if (startsWith(text, length, i, "<!--"))
        {
            i = find(text, length, i + 4, "-->") + 3;
            continue;
        }
        if (startsWith(text, length, i, "<![CDATA["))
        {
            i = find(text, length, i + 9, "]]>") + 3;
            continue;
        }
        if (startsWith(text, length, i, "<?"))
        {
            i = find(text, length, i + 2, "?>") + 2;
            continue;
        }
        if (startsWith(text, length, i, "<!"))
            return false; // a document type declaration: never part of a state
        if (startsWith(text, length, i, "</"))
        {
            if (--depth < 0)
                return false;
            i = find(text, length, i + 2, ">") + 1;
            continue;
        }

        const auto tag = scanStartTag(text, length, i);
        if (!tag.complete || tag.attributes > limits.maxAttributesPerElement ||
            ++elements > limits.maxElements)
            return false;
        if (!tag.selfClosing && ++depth > limits.maxDepth)
            return false;
        i = tag.end;
    }
    return true;
}

std::unique_ptr<juce::XmlElement> xmlOfStateBlob(const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return nullptr;
    const auto* bytes = static_cast<const char*>(data);
    if (juce::ByteOrder::littleEndianInt(bytes) != juce::ByteOrder::littleEndianInt("VC2!"))
        return nullptr;
    const auto declared = (int)juce::ByteOrder::littleEndianInt(bytes + 4);
    if (declared <= 0)
        return nullptr;
    const auto textBytes = (size_t)juce::jmin(sizeInBytes - 8, declared);
    if (!markupWithinLimits(bytes + 8, textBytes))
        return nullptr;

    // The framework's XML reader accepts a document cut off inside the root's
    // start tag as an empty root; a blob cut short like that must change
    // nothing, so the text has to end where a document ends.
    const auto text = juce::String::fromUTF8(bytes + 8, (int)textBytes);
    if (!text.trimEnd().endsWithChar('>'))
        return nullptr;
    return juce::XmlDocument(text).getDocumentElement();
}

} // namespace orlix
