#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class OrlixAudioProcessor;

namespace orlix
{

// Closes one editor gesture: the last one to close drops the pending snapshot.
void closeUndoGesture(OrlixAudioProcessor& processor);

// Makes a knob drag, from press to release, one undo entry.
class KnobUndoBridge : public juce::Slider::Listener
{
public:
    KnobUndoBridge(OrlixAudioProcessor& processor, juce::Slider& knob);
    ~KnobUndoBridge() override;

    void sliderValueChanged(juce::Slider*) override;
    void sliderDragStarted(juce::Slider*) override;
    void sliderDragEnded(juce::Slider*) override;

private:
    OrlixAudioProcessor& processor;
    juce::Slider& knob;
    bool dragging = false;
};

// (The framework slider is already a settable tooltip client.)
class OrlixKnob : public juce::Slider
{
public:
    OrlixKnob() = default;
    ~OrlixKnob() override;

    void mouseDown(const juce::MouseEvent&) override;
    void mouseDoubleClick(const juce::MouseEvent&) override;
    void enablementChanged() override;
    bool keyPressed(const juce::KeyPress&) override;

    juce::String label;
    juce::Point<int> centre;
    int arcRadius = 24;
    juce::Point<int> labelPosition;
    std::unique_ptr<juce::SliderParameterAttachment> attachment;
    std::unique_ptr<KnobUndoBridge> undoBridge;

private:
    int savedDragDistance = -1;
};

// Binds an on/off button to a bool parameter; a click is one undo entry and
// automation updates the button without writing back.
class UserButtonAttachment : public juce::Button::Listener
{
public:
    UserButtonAttachment(OrlixAudioProcessor& processor, juce::RangedAudioParameter& parameter,
                         juce::Button& button);
    ~UserButtonAttachment() override;

    void buttonClicked(juce::Button*) override;

private:
    OrlixAudioProcessor& processor;
    juce::Button& button;
    bool ignoreCallbacks = false;
    juce::ParameterAttachment attachment;
};

void setupKnob(juce::Component& editor, OrlixKnob& knob, OrlixAudioProcessor& processor,
               const juce::String& parameterId, const juce::String& label, const juce::String& unit,
               int decimals, juce::Component& parent);

} // namespace orlix
