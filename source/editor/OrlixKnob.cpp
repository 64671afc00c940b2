#include "editor/OrlixKnob.h"

#include "editor/OrlixLookAndFeel.h"
#include "processor/OrlixAudioProcessor.h"

namespace orlix
{

void closeUndoGesture(OrlixAudioProcessor& processor)
{
    if (processor.undoHistory().gestureDepth() > 0)
        processor.undoHistory().endUndoGesture();
}

KnobUndoBridge* KnobUndoBridge::openBurst = nullptr;

KnobUndoBridge::KnobUndoBridge(OrlixAudioProcessor& p, juce::Slider& k) : processor(p), knob(k) {}

KnobUndoBridge::~KnobUndoBridge()
{
    closeBurst();
    knob.removeListener(this);
}

void KnobUndoBridge::sliderDragStarted(juce::Slider*)
{
    dragging = true;
    if (inBurstEvent)
    {
        if (!burstOpen)
        {
            closeOpenBurst(); // a burst belongs to one knob
            burstOpen = true;
            openBurst = this;
            processor.undoHistory().beginUndoGesture();
        }
        return;
    }
    closeOpenBurst();
    processor.undoHistory().beginUndoGesture();
}

void KnobUndoBridge::sliderValueChanged(juce::Slider*)
{
    if (dragging)
        processor.undoHistory().commitUndoGesture();
}

void KnobUndoBridge::sliderDragEnded(juce::Slider*)
{
    if (!dragging)
        return;
    dragging = false;
    if (!inBurstEvent)
        closeUndoGesture(processor);
}

void KnobUndoBridge::beginBurstEvent(Burst kind, juce::int64 timeMs)
{
    if (burstOpen && (kind != burstKind || timeMs < lastBurstMs || timeMs - lastBurstMs > burstGapMs))
        closeBurst();
    burstKind = kind;
    lastBurstMs = timeMs;
    inBurstEvent = true;
}

void KnobUndoBridge::endBurstEvent()
{
    inBurstEvent = false;
}

void KnobUndoBridge::closeBurst()
{
    if (!burstOpen)
        return;
    burstOpen = false;
    if (openBurst == this)
        openBurst = nullptr;
    closeUndoGesture(processor);
}

void KnobUndoBridge::closeOpenBurst()
{
    if (openBurst != nullptr)
        openBurst->closeBurst();
}

void KnobUndoBridge::closeOpenBurstIfQuiet(juce::int64 nowMs)
{
    if (openBurst != nullptr && !openBurst->inBurstEvent && nowMs - openBurst->lastBurstMs > burstGapMs)
        openBurst->closeBurst();
}

OrlixKnob::~OrlixKnob()
{
    undoBridge.reset();
    attachment.reset();
}

void OrlixKnob::mouseDown(const juce::MouseEvent& e)
{
    if (!e.mods.isRightButtonDown())
    {
        if (savedDragDistance < 0)
            savedDragDistance = getMouseDragSensitivity();
        // Shift at the press makes the whole drag six times finer.
        setMouseDragSensitivity(e.mods.isShiftDown() ? 6 * savedDragDistance : savedDragDistance);
    }
    juce::Slider::mouseDown(e);
}

void OrlixKnob::mouseDoubleClick(const juce::MouseEvent& e)
{
    if (!isEnabled())
        return;
    const int r = (int)getProperties()[props::radius];
    const auto offset = e.getPosition() - juce::Point<int>(getWidth() / 2, getHeight() / 2);
    const float distance = offset.toFloat().getDistanceFromOrigin();
    if (distance < (float)(r - 2))
    {
        // Inside the ring: type a value.
        showTextBox();
        return;
    }
    const double reset = getDoubleClickReturnValue();
    if (isDoubleClickReturnEnabled() && reset >= getMinimum() && reset <= getMaximum())
    {
        // The framework brackets its own reset as a drag, which makes it one undo entry.
        juce::Slider::mouseDoubleClick(e);
    }
}

void OrlixKnob::mouseWheelMove(const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    if (undoBridge != nullptr)
        undoBridge->beginBurstEvent(KnobUndoBridge::Burst::wheel, e.eventTime.toMilliseconds());
    juce::Slider::mouseWheelMove(e, wheel);
    if (undoBridge != nullptr)
        undoBridge->endBurstEvent();
}

void OrlixKnob::lookAndFeelChanged()
{
    juce::Slider::lookAndFeelChanged(); // makes a new value box
    if (auto* box = valueBox())
        box->addListener(this);
}

juce::Label* OrlixKnob::valueBox() const
{
    for (auto* child : getChildren())
        if (auto* box = dynamic_cast<juce::Label*>(child))
            return box;
    return nullptr;
}

void OrlixKnob::editorShown(juce::Label*, juce::TextEditor& editor)
{
    // Typing replaces the value: the whole text starts selected, whatever the pointer did.
    editor.selectAll();
    repaint(); // the unit caption hides while the box is open
}

void OrlixKnob::enablementChanged()
{
    juce::Slider::enablementChanged();
    if (!isEnabled())
        hideTextBox(true); // discards anything typed and shows the value again
}

bool OrlixKnob::keyPressed(const juce::KeyPress& key)
{
    if (!isEnabled())
        return false;
    const auto mods = key.getModifiers();
    if (mods.isShiftDown() || mods.isCtrlDown() || mods.isAltDown() || mods.isCommandDown())
        return false;
    int direction = 0;
    if (key.isKeyCode(juce::KeyPress::upKey) || key.isKeyCode(juce::KeyPress::rightKey))
        direction = 1;
    else if (key.isKeyCode(juce::KeyPress::downKey) || key.isKeyCode(juce::KeyPress::leftKey))
        direction = -1;
    if (direction == 0)
        return false;
    double step = getInterval();
    if (juce::exactlyEqual(step, 0.0))
        step = (getMaximum() - getMinimum()) * 0.01;
    if (juce::exactlyEqual(step, 0.0))
        return false;
    // A user edit like a drag, for the host and for undo; a run of steps is one undo entry.
    if (undoBridge != nullptr)
        undoBridge->beginBurstEvent(KnobUndoBridge::Burst::keys, juce::Time::currentTimeMillis());
    {
        const juce::Slider::ScopedDragNotification drag(*this);
        setValue(getValue() + direction * step, juce::sendNotificationSync);
    }
    if (undoBridge != nullptr)
        undoBridge->endBurstEvent();
    return true;
}

UserButtonAttachment::UserButtonAttachment(OrlixAudioProcessor& p, juce::RangedAudioParameter& parameter,
                                           juce::Button& b)
    : processor(p), button(b),
      attachment(parameter,
                 [this](float value)
                 {
                     const bool previous = ignoreCallbacks;
                     ignoreCallbacks = true;
                     button.setToggleState(value >= 0.5f, juce::sendNotificationSync);
                     ignoreCallbacks = previous;
                 })
{
    attachment.sendInitialUpdate();
    button.addListener(this);
}

UserButtonAttachment::~UserButtonAttachment()
{
    button.removeListener(this);
}

void UserButtonAttachment::buttonClicked(juce::Button*)
{
    if (ignoreCallbacks)
        return;
    processor.undoHistory().beginUndoGesture();
    attachment.setValueAsCompleteGesture(button.getToggleState() ? 1.0f : 0.0f);
    processor.undoHistory().commitUndoGesture();
    closeUndoGesture(processor);
}

void setupKnob(juce::Component&, OrlixKnob& knob, OrlixAudioProcessor& processor,
               const juce::String& parameterId, const juce::String& label, const juce::String& unit,
               int decimals, juce::Component& parent)
{
    knob.label = label;
    knob.setSliderStyle(juce::Slider::RotaryVerticalDrag);
    knob.setRotaryParameters(juce::MathConstants<float>::pi * 1.25f, juce::MathConstants<float>::pi * 2.75f,
                             true);
    knob.setTextBoxStyle(juce::Slider::TextBoxBelow, false, 60, 22);
    knob.getProperties().set(props::unit, unit);
    knob.getProperties().set(props::decimals, decimals);
    knob.setVisible(true);
    parent.addAndMakeVisible(knob);
    // The value box was made before the knob had the window's look; make it again with it.
    knob.sendLookAndFeelChange();
    // A clicked knob takes the keyboard focus, so that arrow keys reach it; nothing gives it
    // the focus otherwise (the window's layers choose no default).
    knob.setWantsKeyboardFocus(true);
    if (auto* parameter = processor.getParameterState().getParameter(parameterId))
        knob.attachment = std::make_unique<juce::SliderParameterAttachment>(*parameter, knob, nullptr);
    knob.undoBridge = std::make_unique<KnobUndoBridge>(processor, knob);
    knob.addListener(knob.undoBridge.get());
}

} // namespace orlix
