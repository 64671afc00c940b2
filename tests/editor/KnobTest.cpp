#include "editor/OrlixKnob.h"
#include "support/EditorFixture.h"
#include "support/HostSimulation.h"
#include "support/OffscreenWindow.h"

#include <gtest/gtest.h>

using namespace orlix;
using testsupport::EditorFixture;
using testsupport::leftButton;
using testsupport::mouseAt;

namespace
{
OrlixKnob* knobLabelled(EditorFixture& f, const juce::String& label)
{
    for (int i = 0; i < 8; ++i)
        if (auto* k = f.find<OrlixKnob>({}, i); k != nullptr && k->label == label)
            return k;
    return nullptr;
}

juce::TextEditor* typingBox(OrlixKnob& knob)
{
    for (auto* child : knob.getChildren())
        if (auto* label = dynamic_cast<juce::Label*>(child))
            return label->getCurrentTextEditor();
    return nullptr;
}

// Drags a knob vertically by `distance` design units from its centre.
void drag(OrlixKnob& knob, float distance, juce::ModifierKeys mods)
{
    const juce::Point<float> start((float)knob.getWidth() / 2.0f, (float)knob.getHeight() / 2.0f);
    knob.mouseDown(mouseAt(knob, start, mods));
    knob.mouseDrag(mouseAt(knob, start.translated(0.0f, -distance), mods, 1, start));
    knob.mouseUp(mouseAt(knob, start.translated(0.0f, -distance), mods, 1, start));
}
} // namespace

TEST(OrlixKnob, ShiftAtThePressMakesTheDragSixTimesFiner)
{
    EditorFixture f;
    auto* threshold = knobLabelled(f, "THRESHOLD");
    ASSERT_NE(threshold, nullptr);
    threshold->setValue(-60.0, juce::sendNotificationSync);
    drag(*threshold, 125.0f, leftButton()); // half the full drag distance: half the range
    EXPECT_NEAR(f.processor.rawParameter(pThreshold), -30.0f, 0.2f);
    threshold->setValue(-60.0, juce::sendNotificationSync);
    drag(*threshold, 250.0f, leftButton(juce::ModifierKeys::shiftModifier));
    EXPECT_NEAR(f.processor.rawParameter(pThreshold), -60.0f + 10.0f, 0.2f); // a sixth of 60 dB
    EXPECT_EQ(f.processor.getUndoHistory().undoStack.size(), 2u);            // one entry per drag
}

TEST(OrlixKnob, DoubleClickTypesInsideTheRingAndResetsOutsideIt)
{
    EditorFixture f;
    auto* threshold = knobLabelled(f, "THRESHOLD");
    ASSERT_NE(threshold, nullptr);
    threshold->setValue(-30.0, juce::sendNotificationSync);
    const juce::Point<float> centre((float)threshold->getWidth() / 2.0f,
                                    (float)threshold->getHeight() / 2.0f);
    threshold->mouseDoubleClick(mouseAt(*threshold, centre.translated(39.0f, 0.0f), leftButton(), 2));
    EXPECT_NE(typingBox(*threshold), nullptr); // the typing box is open
    EXPECT_FLOAT_EQ(f.processor.rawParameter(pThreshold), -30.0f);
    threshold->hideTextBox(false);

    threshold->mouseDoubleClick(mouseAt(*threshold, centre.translated(45.0f, 0.0f), leftButton(), 2));
    EXPECT_EQ(typingBox(*threshold), nullptr);
    EXPECT_FLOAT_EQ(f.processor.rawParameter(pThreshold), -18.0f); // back to the default
    EXPECT_EQ(f.processor.getUndoHistory().undoStack.size(), 1u);
}

TEST(OrlixKnob, ArrowKeysStepByTheIntervalOnlyWithoutModifiers)
{
    EditorFixture f;
    auto* ratio = knobLabelled(f, "RATIO");
    ASSERT_NE(ratio, nullptr);
    EXPECT_TRUE(ratio->keyPressed(juce::KeyPress(juce::KeyPress::rightKey)));
    EXPECT_NEAR(f.processor.rawParameter(pRatio), 4.01f, 1e-4f);
    EXPECT_TRUE(ratio->keyPressed(juce::KeyPress(juce::KeyPress::downKey)));
    EXPECT_TRUE(ratio->keyPressed(juce::KeyPress(juce::KeyPress::downKey)));
    EXPECT_NEAR(f.processor.rawParameter(pRatio), 3.99f, 1e-4f);
    EXPECT_FALSE(
        ratio->keyPressed(juce::KeyPress(juce::KeyPress::rightKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_FALSE(
        ratio->keyPressed(juce::KeyPress(juce::KeyPress::rightKey, juce::ModifierKeys::altModifier, 0)));
    EXPECT_FALSE(ratio->keyPressed(juce::KeyPress('a')));
    EXPECT_NEAR(f.processor.rawParameter(pRatio), 3.99f, 1e-4f);
}

TEST(OrlixKnob, AutoReleaseDisablesReleaseWithinATickAndDropsTypedText)
{
    EditorFixture f;
    auto* release = knobLabelled(f, "RELEASE");
    ASSERT_NE(release, nullptr);
    release->showTextBox();
    ASSERT_NE(typingBox(*release), nullptr);
    typingBox(*release)->setText("1500", false);
    testsupport::setParameter(f.processor, pAutoRelease, 1.0f);
    f.editor->tick();
    EXPECT_FALSE(release->isEnabled());
    EXPECT_EQ(typingBox(*release), nullptr);
    EXPECT_FLOAT_EQ(f.processor.rawParameter(pRelease), 200.0f); // the typed value was not applied
}

TEST(UserButtonAttachment, AClickIsOneUndoEntryAndAutomationDoesNotWriteBack)
{
    EditorFixture f;
    auto* autoGain = f.find<juce::ToggleButton>("AUTO GAIN");
    ASSERT_NE(autoGain, nullptr);
    autoGain->triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    EXPECT_FLOAT_EQ(f.processor.rawParameter(pAutoMakeup), 1.0f);
    EXPECT_EQ(f.processor.getUndoHistory().undoStack.size(), 1u);
    EXPECT_EQ(f.processor.gestureDepth, 0);

    testsupport::GestureCounter gestures;
    f.processor.addListener(&gestures);
    testsupport::setParameter(f.processor, pAutoMakeup, 0.0f); // automation
    juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    f.processor.removeListener(&gestures);
    EXPECT_FALSE(autoGain->getToggleState());
    EXPECT_EQ(gestures.begun, 0);
    EXPECT_EQ(gestures.changes, 1); // only the automation's own change
    EXPECT_EQ(f.processor.getUndoHistory().undoStack.size(), 1u);
}

namespace
{
// A knob's centre in the window's coordinates.
juce::Point<float> centreOf(testsupport::OffscreenWindow& window, OrlixKnob& knob)
{
    return window.pointOf(knob, {(float)knob.getWidth() / 2.0f, (float)knob.getHeight() / 2.0f});
}

void type(testsupport::OffscreenWindow& window, const juce::String& text)
{
    for (auto c : text)
        window.pressKey(juce::KeyPress((int)c, {}, c));
}
} // namespace

TEST(KnobValueEntry, ADoubleClickSelectsTheWholeValueAndTypingReplacesIt)
{
    for (const int gapMs : {40, 80, 150})
    {
        EditorFixture f;
        testsupport::OffscreenWindow window(*f.editor);
        auto* attack = knobLabelled(f, "ATTACK");
        ASSERT_NE(attack, nullptr);
        const auto centre = centreOf(window, *attack);
        const auto start = juce::Time::currentTimeMillis();
        window.click(centre, window.click(centre, start) + gapMs);
        auto* box = typingBox(*attack);
        ASSERT_NE(box, nullptr) << gapMs;
        EXPECT_TRUE(box->getText().isNotEmpty());
        EXPECT_EQ(box->getHighlightedText(), box->getText()) << gapMs;
        type(window, "20");
        EXPECT_EQ(box->getText(), "20") << gapMs;
        window.pressKey(juce::KeyPress(juce::KeyPress::returnKey));
        juce::MessageManager::getInstance()->runDispatchLoopUntil(20); // the box reports Return later
        EXPECT_EQ(typingBox(*attack), nullptr);
        EXPECT_NEAR(f.processor.rawParameter(pAttack), 20.0f, 1e-4f) << gapMs;
        EXPECT_EQ(f.processor.getUndoHistory().undoStack.size(), 1u) << gapMs;
    }
}
