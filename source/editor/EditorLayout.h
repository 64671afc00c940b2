#pragma once

#include <juce_graphics/juce_graphics.h>

#include <array>

namespace orlix
{

inline constexpr int designWidth = 960;
inline constexpr int designHeight = 540;

struct KnobPlacement
{
    juce::Point<int> centre;
    int radius;
    juce::Rectangle<int> bounds() const
    {
        return {centre.x - radius - 10, centre.y - radius - 10, 2 * radius + 20, 2 * radius + 20};
    }
    juce::Point<int> labelPosition() const { return {centre.x, centre.y + radius + 24}; }
};

// Knob order: THRESHOLD, RATIO, ATTACK, RELEASE, KNEE, MIX, OUTPUT, AMOUNT.
inline constexpr std::array<KnobPlacement, 8> knobPlacements{{
    {{88, 196}, 42},
    {{200, 160}, 28},
    {{280, 160}, 28},
    {{200, 268}, 28},
    {{280, 268}, 28},
    {{706, 326}, 28},
    {{800, 326}, 28},
    {{700, 170}, 30},
}};

// The window's geometry in design units on the 960 x 540 canvas.
struct EditorLayout
{
    juce::Point<int> brandOrigin{32, 42};
    juce::Point<int> titleCentre{480, 43};
    juce::Rectangle<int> helpButton, undoButton{800, 24, 28, 28}, redoButton{836, 24, 28, 28};
    juce::Rectangle<int> leftPanel{24, 72, 300, 330}, rightPanel{636, 72, 300, 330},
        bottomPanel{24, 414, 912, 106};
    juce::Point<int> compressorHeading{44, 102}, driveHeading{656, 102}, outputHeading{656, 270};
    juce::Point<int> dividerStart{656, 242}, dividerEnd{916, 242};
    juce::Point<int> meterCentre{480, 206};
    int meterRadius = 120, ringRadius = 106, scaleRadius = 88;
    juce::Rectangle<int> learnButton{415, 221, 130, 48};
    juce::Point<int> targetReadout{480, 215};
    juce::Rectangle<int> captionArea{380, 278, 200, 40};
    int captionBaseline = 290, captionStep = 14;
    juce::Rectangle<int> meterArea{357, 83, 246, 246};
    juce::Rectangle<int> targetMarker{346, 72, 268, 268};
    juce::Rectangle<int> sourceButton{372, 334, 216, 40};
    std::array<juce::Rectangle<int>, 4> characterChips{};
    juce::Rectangle<int> driveSwitch{870, 84, 46, 24};
    std::array<juce::Rectangle<int>, 4> driveTypeChips{};
    juce::Rectangle<int> autoReleaseToggle{168, 332, 64, 24}, autoGainToggle{841, 314, 84, 24};
    juce::Rectangle<int> historyArea, rangeBadgeArea, inBarArea, outBarArea, inClipArea, outClipArea;
    juce::Point<int> inLabel, outLabel;
};

// Fills every field; brandTextWidth is the width of "HALVANE AUDIO" in the brand font.
EditorLayout makeEditorLayout(int brandTextWidth);

} // namespace orlix
