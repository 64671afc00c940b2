#include "editor/LearnControls.h"

#include "editor/DrawingKit.h"
#include "processor/ParameterLayout.h"

#include <vector>

namespace orlix
{
namespace
{
const juce::String separator = juce::String("  ") + juce::String::fromUTF8("\xe2\x80\xba") + "  ";

juce::String sourceName(int source)
{
    const auto name = sourceChoices[(size_t)std::clamp(source, 0, numSources - 1)];
    return juce::String(name.data(), name.size());
}
} // namespace

juce::String selectorText(int source, int nuance)
{
    const int s = std::clamp(source, 0, numSources - 1);
    const auto names = nuanceNames(s);
    return sourceName(s) + separator + names[std::clamp(nuance, 0, names.size() - 1)];
}

LearnStatus learnStatus(float progress, bool signalLow, float secondsAnalysed)
{
    if (secondsAnalysed < 0.2f)
        return {"Waiting for audio - start playback", true};
    if (signalLow)
        return {"Signal too low - Learn only counts audio above -60 dBFS", true};
    return {"Listening... " + juce::String((1.0f - std::clamp(progress, 0.0f, 1.0f)) * 8.0f, 1) + " s left",
            false};
}

namespace
{
const juce::Font& captionFont()
{
    static const auto font = uiFont(11.0f, true, 0.5f);
    return font;
}

struct CentredLine
{
    juce::String text;
    float baseline;
};

// The text on one line, or split at the space nearest its middle when it is too wide.
std::vector<CentredLine> wrapCentred(juce::Rectangle<int> area, float baseline, float step,
                                     const juce::String& text)
{
    if (textWidth(captionFont(), text) <= (float)area.getWidth())
        return {{text, baseline}};
    const int c = text.length();
    int breakAt = -1;
    for (int i = 0; i < c && breakAt < 0; ++i)
    {
        if (c / 2 - i >= 0 && text[c / 2 - i] == ' ')
            breakAt = c / 2 - i;
        else if (c / 2 + i < c && text[c / 2 + i] == ' ')
            breakAt = c / 2 + i;
    }
    if (breakAt < 0)
        return {{text, baseline}};
    return {{text.substring(0, breakAt), baseline}, {text.substring(breakAt + 1), baseline + step}};
}

float centreOf(juce::Rectangle<int> area)
{
    return (float)(area.getX() + area.getWidth() / 2);
}

const juce::Font& percentNumberFont()
{
    static const auto font = uiFont(46.0f, false, 0.0f);
    return font;
}
const juce::Font& percentSignFont()
{
    static const auto font = uiFont(16.0f, false, 0.0f);
    return font;
}
} // namespace

void drawWrappedCentred(juce::Graphics& g, juce::Rectangle<int> area, float baseline, float step,
                        const juce::String& text, juce::Colour colour)
{
    for (const auto& line : wrapCentred(area, baseline, step, text))
        drawTextAt(g, line.text, captionFont(), colour, centreOf(area), line.baseline,
                   juce::Justification::horizontallyCentred);
}

juce::Rectangle<float> wrappedCentredArea(juce::Rectangle<int> area, float baseline, float step,
                                          const juce::String& text)
{
    juce::Rectangle<float> bounds;
    for (const auto& line : wrapCentred(area, baseline, step, text))
        bounds = bounds.getUnion(textBounds(captionFont(), line.text, centreOf(area), line.baseline,
                                            juce::Justification::horizontallyCentred));
    return bounds.expanded(1.0f);
}

int learnPercent(float progress)
{
    return juce::roundToInt(std::clamp(progress, 0.0f, 1.0f) * 100.0f);
}

float learnArcFraction(float progress)
{
    const float d = std::clamp(progress, 0.0f, 1.0f);
    return d > 0.005f ? d : 0.0f;
}

void drawLearnPercent(juce::Graphics& g, int percent)
{
    const auto number = juce::String(percent);
    const float w1 = textWidth(percentNumberFont(), number), w2 = textWidth(percentSignFont(), "%");
    const float x = 480.0f - (w1 + 4.0f + w2) / 2.0f, y = 206.0f - 2.0f;
    drawTextAt(g, number, percentNumberFont(), juce::Colours::white, x, y, juce::Justification::left);
    drawTextAt(g, "%", percentSignFont(), juce::Colour(0x99FFFFFF), x + w1 + 4.0f, y,
               juce::Justification::left);
}

juce::Rectangle<float> learnPercentArea(int percent)
{
    const auto number = juce::String(percent);
    const float w1 = textWidth(percentNumberFont(), number), w2 = textWidth(percentSignFont(), "%");
    const float x = 480.0f - (w1 + 4.0f + w2) / 2.0f, y = 206.0f - 2.0f;
    return textBounds(percentNumberFont(), number, x, y, juce::Justification::left)
        .getUnion(textBounds(percentSignFont(), "%", x + w1 + 4.0f, y, juce::Justification::left))
        .expanded(1.0f);
}

juce::PopupMenu buildSourceMenu(int source, int nuance)
{
    juce::PopupMenu menu;
    for (int i = 0; i < numSources; ++i)
    {
        juce::PopupMenu sub;
        const auto names = nuanceNames(i);
        for (int j = 0; j < names.size(); ++j)
            sub.addItem(i * 16 + j + 1, names[j], true, i == source && j == nuance);
        menu.addSubMenu(sourceName(i), sub, true, nullptr, i == source);
        if (i == 0)
            menu.addSeparator();
    }
    return menu;
}

} // namespace orlix
