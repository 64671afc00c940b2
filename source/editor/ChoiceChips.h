#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

class OrlixAudioProcessor;

namespace orlix
{

struct TooltipEntry
{
    const char* title;
    const char* body;
};

juce::String tooltipText(const std::vector<TooltipEntry>& entries, int index);
const std::vector<TooltipEntry>& characterTooltips();
const std::vector<TooltipEntry>& driveTypeTooltips();
extern const TooltipEntry targetTooltip, helpTooltip;

// The choices of a choice parameter as pill chips; shows AUTO's pick with a ring.
class ChoiceChips : public juce::Component, public juce::TooltipClient
{
public:
    ChoiceChips(OrlixAudioProcessor& processor, juce::RangedAudioParameter& parameter,
                juce::StringArray labels, float captionHeight);

    void setChipAreas(const std::vector<juce::Rectangle<int>>& areasInParent);
    void selectChip(int index);
    int chipAt(juce::Point<int> point) const;

    void mouseMove(const juce::MouseEvent&) override;
    void mouseExit(const juce::MouseEvent&) override;
    void mouseDown(const juce::MouseEvent&) override;
    void paint(juce::Graphics&) override;
    bool keyPressed(const juce::KeyPress&) override;
    void focusGained(FocusChangeType) override { repaint(); }
    void focusLost(FocusChangeType) override { repaint(); }
    juce::String getTooltip() override;

    juce::StringArray labels;
    juce::StringArray tooltips;
    float captionHeight;
    std::vector<juce::Rectangle<int>> chipAreas;
    int selectedIndex = -1;
    int hoverIndex = -1;
    int autoPickIndex = -1;

private:
    OrlixAudioProcessor& processor;
    juce::ParameterAttachment attachment;
};

} // namespace orlix
