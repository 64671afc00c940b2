#include "editor/DrawingKit.h"
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
    EXPECT_NEAR(f.processor.state().rawParameter(pThreshold), -30.0f, 0.2f);
    threshold->setValue(-60.0, juce::sendNotificationSync);
    drag(*threshold, 250.0f, leftButton(juce::ModifierKeys::shiftModifier));
    EXPECT_NEAR(f.processor.state().rawParameter(pThreshold), -60.0f + 10.0f, 0.2f); // a sixth of 60 dB
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 2u);                             // one entry per drag
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
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pThreshold), -30.0f);
    threshold->hideTextBox(false);

    threshold->mouseDoubleClick(mouseAt(*threshold, centre.translated(45.0f, 0.0f), leftButton(), 2));
    EXPECT_EQ(typingBox(*threshold), nullptr);
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pThreshold), -18.0f); // back to the default
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u);
}

TEST(OrlixKnob, ArrowKeysStepByTheIntervalOnlyWithoutModifiers)
{
    EditorFixture f;
    auto* ratio = knobLabelled(f, "RATIO");
    ASSERT_NE(ratio, nullptr);
    EXPECT_TRUE(ratio->keyPressed(juce::KeyPress(juce::KeyPress::rightKey)));
    EXPECT_NEAR(f.processor.state().rawParameter(pRatio), 4.01f, 1e-4f);
    EXPECT_TRUE(ratio->keyPressed(juce::KeyPress(juce::KeyPress::downKey)));
    EXPECT_TRUE(ratio->keyPressed(juce::KeyPress(juce::KeyPress::downKey)));
    EXPECT_NEAR(f.processor.state().rawParameter(pRatio), 3.99f, 1e-4f);
    EXPECT_FALSE(
        ratio->keyPressed(juce::KeyPress(juce::KeyPress::rightKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_FALSE(
        ratio->keyPressed(juce::KeyPress(juce::KeyPress::rightKey, juce::ModifierKeys::altModifier, 0)));
    EXPECT_FALSE(ratio->keyPressed(juce::KeyPress('a')));
    EXPECT_NEAR(f.processor.state().rawParameter(pRatio), 3.99f, 1e-4f);
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
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRelease), 200.0f); // the typed value was not applied
}

TEST(UserButtonAttachment, AClickIsOneUndoEntryAndAutomationDoesNotWriteBack)
{
    EditorFixture f;
    auto* autoGain = f.find<juce::ToggleButton>("AUTO GAIN");
    ASSERT_NE(autoGain, nullptr);
    autoGain->triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pAutoMakeup), 1.0f);
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u);
    EXPECT_EQ(f.processor.undoHistory().gestureDepth(), 0);

    testsupport::GestureCounter gestures;
    f.processor.addListener(&gestures);
    testsupport::setParameter(f.processor, pAutoMakeup, 0.0f); // automation
    juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    f.processor.removeListener(&gestures);
    EXPECT_FALSE(autoGain->getToggleState());
    EXPECT_EQ(gestures.begun, 0);
    EXPECT_EQ(gestures.changes, 1); // only the automation's own change
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u);
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
        EXPECT_NEAR(f.processor.state().rawParameter(pAttack), 20.0f, 1e-4f) << gapMs;
        EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u) << gapMs;
    }
}

TEST(KnobValueEntry, EscapeLeavesTheValueAndTheHistoryAlone)
{
    EditorFixture f;
    testsupport::OffscreenWindow window(*f.editor);
    auto* threshold = knobLabelled(f, "THRESHOLD");
    ASSERT_NE(threshold, nullptr);
    const auto centre = centreOf(window, *threshold);
    window.click(centre, window.click(centre, juce::Time::currentTimeMillis()) + 60);
    ASSERT_NE(typingBox(*threshold), nullptr);
    type(window, "-30");
    window.pressKey(juce::KeyPress(juce::KeyPress::escapeKey));
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    EXPECT_EQ(typingBox(*threshold), nullptr);
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pThreshold), -18.0f);
    EXPECT_TRUE(f.processor.undoHistory().undoSize() == 0);
}

TEST(KnobValueEntry, TheBoxFitsTheLongestValueAndTheUnitHidesWhileItIsOpen)
{
    EditorFixture f;
    for (int i = 0; i < 8; ++i)
    {
        auto* knob = f.find<OrlixKnob>({}, i);
        ASSERT_NE(knob, nullptr);
        for (const double value : {knob->getMinimum(), knob->getMaximum(), -18.0})
        {
            knob->setValue(juce::jlimit(knob->getMinimum(), knob->getMaximum(), value),
                           juce::sendNotificationSync);
            knob->showTextBox();
            auto* box = typingBox(*knob);
            ASSERT_NE(box, nullptr);
            const int room = box->getWidth() - box->getBorder().getLeftAndRight() - 2 * box->getLeftIndent();
            EXPECT_LE(textWidth(box->getFont(), box->getText()), (float)room)
                << knob->label << " cuts \"" << box->getText() << "\"";
            knob->hideTextBox(true);
        }
    }

    // The unit caption sits just below the box: drawn while the value shows, not while one is typed.
    auto* attack = knobLabelled(f, "ATTACK");
    ASSERT_NE(attack, nullptr);
    auto rowsBelowTheBox = [&]
    {
        const auto picture = attack->createComponentSnapshot(attack->getLocalBounds(), true, 1.0f);
        const int cx = attack->getWidth() / 2, cy = attack->getHeight() / 2;
        float brightest = 0.0f;
        for (int y = cy + 12; y <= cy + 15; ++y)
            for (int x = cx - 8; x <= cx + 8; ++x)
                brightest = std::max(brightest, picture.getPixelAt(x, y).getBrightness());
        return brightest;
    };
    const float withUnit = rowsBelowTheBox();
    attack->showTextBox();
    const float whileTyping = rowsBelowTheBox();
    attack->hideTextBox(true);
    attack->getProperties().set(props::unit, juce::String());
    const float withoutUnit = rowsBelowTheBox();
    EXPECT_GT(withUnit, whileTyping + 0.1f);
    EXPECT_FLOAT_EQ(whileTyping, withoutUnit);
}

TEST(OrlixKnob, ArrowKeysReachAClickedKnobAndShortcutsStillReachTheWindow)
{
    EditorFixture f;
    testsupport::OffscreenWindow window(*f.editor);
    auto* ratio = knobLabelled(f, "RATIO");
    ASSERT_NE(ratio, nullptr);
    EXPECT_FALSE(ratio->hasKeyboardFocus(false)); // opening the window gives no knob the focus
    window.click(centreOf(window, *ratio), juce::Time::currentTimeMillis());
    EXPECT_TRUE(ratio->hasKeyboardFocus(false));
    EXPECT_TRUE(window.pressKey(juce::KeyPress(juce::KeyPress::rightKey)));
    EXPECT_TRUE(window.pressKey(juce::KeyPress(juce::KeyPress::upKey)));
    EXPECT_NEAR(f.processor.state().rawParameter(pRatio), 4.02f, 1e-4f);
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u); // two quick steps, one entry

    // With the knob focused, Ctrl+Z as Linux delivers it passes on to the window and undoes.
    EXPECT_TRUE(window.pressKey(juce::KeyPress('z', juce::ModifierKeys::ctrlModifier, 0x1A)));
    EXPECT_NEAR(f.processor.state().rawParameter(pRatio), 4.0f, 1e-4f);
    EXPECT_EQ(f.processor.undoHistory().gestureDepth(), 0);
}

TEST(KnobWheel, EachBurstOfWheelEventsIsOneUndoEntry)
{
    EditorFixture f;
    testsupport::OffscreenWindow window(*f.editor);
    auto* ratio = knobLabelled(f, "RATIO");
    ASSERT_NE(ratio, nullptr);
    const auto centre = centreOf(window, *ratio);
    auto t = juce::Time::currentTimeMillis();
    auto burst = [&]
    {
        for (int i = 0; i < 50; ++i)
            window.wheel(centre, 0.05f, t += 10, true);
    };
    burst();
    const float afterFirst = f.processor.state().rawParameter(pRatio);
    EXPECT_GT(afterFirst, 4.0f);
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u);
    t += 1000;
    burst();
    EXPECT_GT(f.processor.state().rawParameter(pRatio), afterFirst);
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 2u);

    // Undo at once, while the burst would still be open, takes back the second burst whole.
    f.editor->grabKeyboardFocus();
    EXPECT_TRUE(window.pressKey(juce::KeyPress('Z', juce::ModifierKeys::ctrlModifier, 0)));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), afterFirst);
    EXPECT_EQ(f.processor.undoHistory().gestureDepth(), 0);

    // A burst left alone ends 400 ms after its last event, at the window's next tick.
    t = juce::Time::currentTimeMillis() - 600;
    burst();
    EXPECT_EQ(f.processor.undoHistory().gestureDepth(), 1);
    juce::Thread::sleep(450);
    f.editor->tick();
    EXPECT_EQ(f.processor.undoHistory().gestureDepth(), 0);
}
