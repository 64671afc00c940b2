#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace orlix::props
{
// Component properties that select a widget's look.
inline const juce::Identifier learn{"orlixLearn"};
inline const juce::Identifier help{"orlixHelp"};
inline const juce::Identifier pill{"orlixPill"};
inline const juce::Identifier arrow{"orlixArrow"};
inline const juce::Identifier drop{"orlixDrop"};
inline const juce::Identifier open{"orlixOpen"};
inline const juce::Identifier toggleSwitch{"orlixSwitch"};
inline const juce::Identifier chip{"orlixChip"};
inline const juce::Identifier radius{"orlixR"};
inline const juce::Identifier unit{"orlixUnit"};
inline const juce::Identifier decimals{"orlixDec"};
} // namespace orlix::props

namespace orlix
{

// The value text a knob shows: the slider's own text (decimals -1), one decimal
// below 10 and none above (-2), or a fixed number of decimals; never "-0".
juce::String knobValueText(juce::Slider& slider, double value, int decimals);

// Title (bold) and body of a tooltip text laid out for drawing.
juce::TextLayout layoutTooltip(const juce::String& text);

class OrlixLookAndFeel : public juce::LookAndFeel_V4
{
public:
    OrlixLookAndFeel();

    void drawButtonBackground(juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                              bool highlighted, bool down) override;
    juce::Font getTextButtonFont(juce::TextButton&, int buttonHeight) override;
    void drawButtonText(juce::Graphics&, juce::TextButton&, bool highlighted, bool down) override;
    void drawToggleButton(juce::Graphics&, juce::ToggleButton&, bool highlighted, bool down) override;

    void drawPopupMenuBackground(juce::Graphics&, int width, int height) override;
    void drawPopupMenuItem(juce::Graphics&, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                           bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                           const juce::String& shortcutKeyText, const juce::Drawable* icon,
                           const juce::Colour* textColour) override;
    juce::Font getPopupMenuFont() override;
    void getIdealPopupMenuItemSize(const juce::String& text, bool isSeparator, int standardMenuItemHeight,
                                   int& idealWidth, int& idealHeight) override;
    int getPopupMenuBorderSize() override;
    void preparePopupMenuWindow(juce::Component&) override;

    void drawLabel(juce::Graphics&, juce::Label&) override;

    void drawRotarySlider(juce::Graphics&, int x, int y, int width, int height, float position,
                          float startAngle, float endAngle, juce::Slider&) override;
    juce::Label* createSliderTextBox(juce::Slider&) override;
    juce::Slider::SliderLayout getSliderLayout(juce::Slider&) override;

    juce::Rectangle<int> getTooltipBounds(const juce::String& tipText, juce::Point<int> screenPos,
                                          juce::Rectangle<int> parentArea) override;
    void drawTooltip(juce::Graphics&, const juce::String& text, int width, int height) override;

private:
    void drawLearnButton(juce::Graphics&, juce::Button&, bool highlighted);
    void drawArrowButton(juce::Graphics&, juce::Button&, int arrow, bool highlighted, bool down);
};

} // namespace orlix
