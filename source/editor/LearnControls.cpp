#include "editor/LearnControls.h"

#include "editor/DrawingKit.h"
#include "processor/ParameterLayout.h"

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

void drawWrappedCentred(juce::Graphics& g, juce::Rectangle<int> area, float baseline, float step,
                        const juce::String& text, juce::Colour colour)
{
    const auto font = uiFont(11.0f, true, 0.5f);
    const auto cx = (float)(area.getX() + area.getWidth() / 2);
    if (textWidth(font, text) <= (float)area.getWidth())
    {
        drawTextAt(g, text, font, colour, cx, baseline, juce::Justification::horizontallyCentred);
        return;
    }
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
    {
        drawTextAt(g, text, font, colour, cx, baseline, juce::Justification::horizontallyCentred);
        return;
    }
    drawTextAt(g, text.substring(0, breakAt), font, colour, cx, baseline,
               juce::Justification::horizontallyCentred);
    drawTextAt(g, text.substring(breakAt + 1), font, colour, cx, baseline + step,
               juce::Justification::horizontallyCentred);
}

int learnPercent(float progress)
{
    return juce::roundToInt(std::clamp(progress, 0.0f, 1.0f) * 100.0f);
}

void drawLearnProgress(juce::Graphics& g, juce::Point<int> meterCentre, int ringRadius, float progress)
{
    const float d = std::clamp(progress, 0.0f, 1.0f);
    if (d > 0.005f)
    {
        const auto arc = makeArcPath(meterCentre.toFloat(), (float)ringRadius, -140.0f, d * 280.0f - 140.0f);
        strokeGlowPath(g, arc, 8.0f, brandGradient(arc.getBounds()));
    }
    const auto number = juce::String(learnPercent(progress));
    const auto numberFont = uiFont(46.0f, false, 0.0f), percentFont = uiFont(16.0f, false, 0.0f);
    const float w1 = textWidth(numberFont, number), w2 = textWidth(percentFont, "%");
    const float x = 480.0f - (w1 + 4.0f + w2) / 2.0f, y = 206.0f - 2.0f;
    drawTextAt(g, number, numberFont, juce::Colours::white, x, y, juce::Justification::left);
    drawTextAt(g, "%", percentFont, juce::Colour(0x99FFFFFF), x + w1 + 4.0f, y, juce::Justification::left);
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
