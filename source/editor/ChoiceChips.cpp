#include "editor/ChoiceChips.h"

#include "editor/DrawingKit.h"
#include "editor/OrlixKnob.h"
#include "processor/OrlixAudioProcessor.h"

namespace orlix
{

juce::String tooltipText(const std::vector<TooltipEntry>& entries, int index)
{
    if (index < 0 || index >= (int)entries.size())
        return {};
    const auto& e = entries[(size_t)index];
    return juce::String(e.title) +
           (juce::String(e.body).isEmpty() ? juce::String() : "\n" + juce::String(e.body));
}

const std::vector<TooltipEntry>& characterTooltips()
{
    static const std::vector<TooltipEntry> entries{
        {"AUTO",
         "Let Learn choose. The type it picked lights up and AUTO keeps a thin ring; it picks again when "
         "SOURCE changes. Acts as VCA until Learn finishes."},
        {"OPTO", "Slow and smooth, recovery adapts to the material - flatters vocals, bass and strings."},
        {"FET", "Fast and punchy, catches every peak - drums and rock guitar."},
        {"VCA", "Clean and neutral, no coloring of its own - buses and mixes."},
    };
    return entries;
}

const std::vector<TooltipEntry>& driveTypeTooltips()
{
    static const std::vector<TooltipEntry> entries{
        {"TUBE", "Warm and thick, mostly even harmonics - vocals and bass."},
        {"TRANSFORMER",
         "Lows saturate a little harder and the top is rounded slightly - bass, kick and mixes."},
        {"TAPE", "Soft peaks and gently rounded highs - drum buses and harsh sources."},
        {"FET", "Bright and hard, odd harmonics - drums and rock guitar."},
    };
    return entries;
}

const TooltipEntry targetTooltip{"TARGET",
                                 "How much gain reduction you aim for (1-20 dB). Drag to make it gentler or "
                                 "deeper - RATIO, KNEE and THRESHOLD follow. Double-click to return to the "
                                 "Learn value."};
const TooltipEntry helpTooltip{"HELP",
                               "Send feedback, open the manual, contact support, or see the version."};

ChoiceChips::ChoiceChips(OrlixAudioProcessor& p, juce::RangedAudioParameter& parameter,
                         juce::StringArray chipLabels, float height)
    : labels(std::move(chipLabels)), captionHeight(height), processor(p),
      attachment(parameter,
                 [this](float value)
                 {
                     selectedIndex = (int)std::lround(value);
                     repaint();
                 })
{
    attachment.sendInitialUpdate();
    setWantsKeyboardFocus(true);
    setTitle(parameter.getName(64));
}

void ChoiceChips::setChipAreas(const std::vector<juce::Rectangle<int>>& areas)
{
    if (areas.empty())
        return;
    auto bounds = areas.front();
    for (const auto& a : areas)
        bounds = bounds.getUnion(a);
    setBounds(bounds);
    chipAreas.clear();
    for (const auto& a : areas)
        chipAreas.push_back(a - bounds.getPosition());
}

int ChoiceChips::chipAt(juce::Point<int> point) const
{
    for (size_t i = 0; i < chipAreas.size(); ++i)
        if (chipAreas[i].contains(point))
            return (int)i;
    return -1;
}

void ChoiceChips::selectChip(int index)
{
    processor.undoHistory().beginUndoGesture();
    attachment.setValueAsCompleteGesture((float)index);
    processor.undoHistory().commitUndoGesture();
    closeUndoGesture(processor);
}

void ChoiceChips::mouseMove(const juce::MouseEvent& e)
{
    const int chip = chipAt(e.getPosition());
    if (chip != hoverIndex)
    {
        hoverIndex = chip;
        repaint();
    }
}

void ChoiceChips::mouseExit(const juce::MouseEvent&)
{
    if (hoverIndex != -1)
    {
        hoverIndex = -1;
        repaint();
    }
}

void ChoiceChips::mouseDown(const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown())
        return;
    if (const int chip = chipAt(e.getPosition()); chip >= 0)
        selectChip(chip);
}

bool ChoiceChips::keyPressed(const juce::KeyPress& key)
{
    const int n = std::min(labels.size(), (int)chipAreas.size());
    if (n <= 0)
        return false;
    const int s = selectedIndex;
    if (key.isKeyCode(juce::KeyPress::leftKey) || key.isKeyCode(juce::KeyPress::upKey))
    {
        selectChip(s >= 1 ? s - 1 : n - 1);
        return true;
    }
    if (key.isKeyCode(juce::KeyPress::rightKey) || key.isKeyCode(juce::KeyPress::downKey))
    {
        selectChip(s >= 1 ? (s + 1) % n : 1 % n);
        return true;
    }
    return false;
}

juce::String ChoiceChips::getTooltip()
{
    return hoverIndex >= 0 && hoverIndex < tooltips.size() ? tooltips[hoverIndex] : juce::String();
}

void ChoiceChips::paint(juce::Graphics& g)
{
    const int chips = (int)chipAreas.size();
    const bool showsPick = selectedIndex == 0 && autoPickIndex >= 1 && autoPickIndex < chips;
    const int lit = showsPick ? autoPickIndex : selectedIndex;
    for (int i = 0; i < labels.size() && i < chips; ++i)
        drawPill(g, chipAreas[(size_t)i].toFloat(), labels[i], i == lit, i == hoverIndex, captionHeight);

    auto outlineSelected = [&](juce::Colour colour)
    {
        const auto r = chipAreas[(size_t)selectedIndex].toFloat();
        const juce::Rectangle<float> ring(r.getX() + 0.5f, r.getY() + 0.5f,
                                          std::max(r.getWidth() - 1.0f, 0.0f),
                                          std::max(r.getHeight() - 1.0f, 0.0f));
        g.setColour(colour);
        g.drawRoundedRectangle(ring, ring.getHeight() / 2.0f, 1.0f);
    };
    if (showsPick)
        outlineSelected(juce::Colour(0x8CFFFFFF));
    if (hasKeyboardFocus(false) && selectedIndex >= 0 && selectedIndex < chips)
        outlineSelected(juce::Colour(0xB2FFFFFF));
}

} // namespace orlix
