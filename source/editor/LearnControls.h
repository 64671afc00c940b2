#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace orlix
{

// The selector's text: SOURCE name, the separator and the NUANCE name.
juce::String selectorText(int source, int nuance);

struct LearnStatus
{
    juce::String text;
    bool warning = false;
};

// What the status line says while Learn is active.
LearnStatus learnStatus(float progress, bool signalLow, float secondsAnalysed);

// One line centred on the area, or two when it is too wide: split at the space nearest the middle.
void drawWrappedCentred(juce::Graphics& g, juce::Rectangle<int> area, float baseline, float step,
                        const juce::String& text, juce::Colour colour);
juce::Rectangle<float> wrappedCentredArea(juce::Rectangle<int> area, float baseline, float step,
                                          const juce::String& text);

// The whole percentage the progress display shows, the fraction its arc runs to (0: no
// arc), and the percentage over the dial with the area it paints.
int learnPercent(float progress);
float learnArcFraction(float progress);
void drawLearnPercent(juce::Graphics& g, int percent);
juce::Rectangle<float> learnPercentArea(int percent);

// The SOURCE / NUANCE menu: item id = source * 16 + nuance + 1.
juce::PopupMenu buildSourceMenu(int source, int nuance);

} // namespace orlix
