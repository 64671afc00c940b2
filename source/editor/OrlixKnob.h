#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class OrlixAudioProcessor;

namespace orlix
{

// Closes one editor gesture: the last one to close drops the pending snapshot.
void closeUndoGesture(OrlixAudioProcessor& processor);

// Makes a knob drag, from press to release, one undo entry. The framework brackets each
// wheel event like a drag, and an arrow key is one step: a burst of these on one knob, each
// following the last within burstGapMs, is one entry too, kept open until the burst ends.
class KnobUndoBridge : public juce::Slider::Listener
{
public:
    static constexpr juce::int64 burstGapMs = 400;
    enum class Burst
    {
        wheel,
        keys
    };

    KnobUndoBridge(OrlixAudioProcessor& processor, juce::Slider& knob);
    ~KnobUndoBridge() override;

    void sliderValueChanged(juce::Slider*) override;
    void sliderDragStarted(juce::Slider*) override;
    void sliderDragEnded(juce::Slider*) override;

    // Around one wheel event or arrow key, with its time in milliseconds.
    void beginBurstEvent(Burst kind, juce::int64 timeMs);
    void endBurstEvent();

    // Ends the open burst, on whichever knob: before undo and redo, at any press in the
    // window, and once a burst has been quiet for burstGapMs.
    static void closeOpenBurst();
    static void closeOpenBurstIfQuiet(juce::int64 nowMs);

private:
    void closeBurst();

    OrlixAudioProcessor& processor;
    juce::Slider& knob;
    bool dragging = false;
    bool inBurstEvent = false, burstOpen = false;
    Burst burstKind = Burst::wheel;
    juce::int64 lastBurstMs = 0;

    static KnobUndoBridge* openBurst; // message thread
};

// (The framework slider is already a settable tooltip client.)
class OrlixKnob : public juce::Slider, private juce::Label::Listener
{
public:
    OrlixKnob() = default;
    ~OrlixKnob() override;

    void mouseDown(const juce::MouseEvent&) override;
    void mouseDoubleClick(const juce::MouseEvent&) override;
    void mouseWheelMove(const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    void enablementChanged() override;
    bool keyPressed(const juce::KeyPress&) override;
    void lookAndFeelChanged() override;

    juce::String label;
    juce::Point<int> centre;
    int arcRadius = 24;
    juce::Point<int> labelPosition;
    std::unique_ptr<juce::SliderParameterAttachment> attachment;
    std::unique_ptr<KnobUndoBridge> undoBridge;

private:
    juce::Label* valueBox() const;
    void labelTextChanged(juce::Label*) override {}
    void editorShown(juce::Label*, juce::TextEditor&) override;
    void editorHidden(juce::Label*, juce::TextEditor&) override { repaint(); }

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
