#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class OrlixAudioProcessor;

namespace orlix
{

// Degrees clockwise from 12 o'clock of a gain reduction on the dial (0 dB at -140, 20 dB at +140).
inline float targetAngle(float db)
{
    return db / 20.0f * 280.0f - 140.0f;
}

// The amber arrow on the dial's ring: shows Learn's target and drags it 1..20 dB.
class TargetMarker : public juce::Component, public juce::TooltipClient
{
public:
    explicit TargetMarker(OrlixAudioProcessor& processor);

    void refreshFromProcessor();

    void mouseMove(const juce::MouseEvent&) override;
    void mouseEnter(const juce::MouseEvent&) override;
    void mouseExit(const juce::MouseEvent&) override;
    void mouseDown(const juce::MouseEvent&) override;
    void mouseDrag(const juce::MouseEvent&) override;
    void mouseUp(const juce::MouseEvent&) override;
    void mouseDoubleClick(const juce::MouseEvent&) override;
    bool hitTest(int x, int y) override;
    void paint(juce::Graphics&) override;
    juce::String getTooltip() override { return available ? tooltip : juce::String(); }

    bool available = false;
    float target = 0.0f;
    float maxTarget = 20.0f;
    bool edited = false;
    juce::Point<int> ringCentre;
    float ringRadius = 0.0f;
    juce::String tooltip;
    bool hovered = false, pressed = false, moved = false;

    // The target a drag to this local point gives, before the Learn maximum.
    float targetForPointer(juce::Point<float> local) const;

private:
    juce::Point<float> localCentre() const;
    float pointerAngle(juce::Point<float> local) const;
    void setHovered(bool);

    OrlixAudioProcessor& processor;
    float dragOffset = 0.0f;
    bool fineDrag = false;
    float lastWritten = 0.0f;
    float pressAngle = 0.0f;
};

} // namespace orlix
