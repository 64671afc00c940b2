#include "editor/EditorLayout.h"
#include "editor/OrlixAudioProcessorEditor.h"
#include "editor/UiSettings.h"
#include "support/EditorFixture.h"
#include "support/HostSimulation.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;
using testsupport::EditorFixture;

TEST(EditorSize, StoredWidthIsClampedAndTheHeightFollows)
{
    testsupport::TemporarySettings settings;
    OrlixAudioProcessor p;
    const std::pair<int, juce::Point<int>> cases[] = {
        {0, {960, 540}}, {500, {720, 405}}, {2000, {1280, 720}}, {1100, {1100, 619}}};
    for (auto [stored, size] : cases)
    {
        if (stored > 0)
            writeEditorWidth(stored);
        OrlixAudioProcessorEditor editor(p);
        EXPECT_EQ(editor.getWidth(), size.x) << stored;
        EXPECT_EQ(editor.getHeight(), size.y) << stored;
    }
}

TEST(EditorSize, ForcedAspectLetterboxesTheCanvas)
{
    EditorFixture f;
    f.editor->setSize(1000, 700);
    EXPECT_NEAR(f.editor->getDesignScale(), 1.0417f, 1e-4f);
    const auto origin = juce::Point<float>(0.0f, 0.0f).transformedBy(f.editor->getDesignTransform());
    EXPECT_NEAR(origin.y, 68.75f, 1e-3f);
    EXPECT_NEAR(origin.x, 0.0f, 1e-3f);
    // Controls keep their design rectangles; only the transform changes.
    auto* learn = f.find<juce::TextButton>("LEARN");
    ASSERT_NE(learn, nullptr);
    auto* root = f.editor->getChildComponent(0);
    EXPECT_EQ(root->getLocalArea(learn, learn->getLocalBounds()), f.editor->getLayout().learnButton);
}

TEST(EditorSize, WidthIsRememberedOnlyWhenItChanged)
{
    testsupport::TemporarySettings settings;
    OrlixAudioProcessor p;
    {
        OrlixAudioProcessorEditor editor(p);
    }
    EXPECT_FALSE(openUiSettings()->containsKey("editorWidth"));
    {
        OrlixAudioProcessorEditor editor(p);
        editor.setSize(1100, 619);
    }
    EXPECT_EQ(readEditorWidth(), 1100);
}

TEST(EditorSections, BypassDimsTheControlsAndDriveOffDimsTheDriveSection)
{
    EditorFixture f;
    auto* learn = f.find<juce::TextButton>("LEARN");
    ASSERT_NE(learn, nullptr);
    auto* controls = learn->getParentComponent(); // LEARN sits in the controls layer
    auto* driveSwitch = f.find<juce::ToggleButton>("DRIVE");
    auto* driveLayer = f.find<ChoiceChips>({}, 0)->getParentComponent(); // drive type chips come first
    f.editor->tick();
    EXPECT_FLOAT_EQ(controls->getAlpha(), 1.0f);
    EXPECT_NEAR(driveLayer->getAlpha(), 0.5f, 0.01f);

    testsupport::setParameter(f.processor, pBypass, 1.0f);
    testsupport::setParameter(f.processor, pDriveOn, 1.0f);
    f.editor->tick();
    EXPECT_NEAR(controls->getAlpha(), 0.4f, 0.01f);
    EXPECT_FLOAT_EQ(driveLayer->getAlpha(), 1.0f);
    EXPECT_EQ(driveSwitch->getParentComponent(), controls); // the switch is not dimmed with the drive
    auto* help = f.find<juce::TextButton>("Help");
    ASSERT_NE(help, nullptr);
    EXPECT_FALSE(controls->isParentOf(help)); // the header is never dimmed
    EXPECT_FLOAT_EQ(help->getParentComponent()->getAlpha(), 1.0f);
}

TEST(EditorKeys, UndoShortcutsAndTheirRefusals)
{
    EditorFixture f;
    const auto ctrl = juce::ModifierKeys::commandModifier;
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('z', ctrl, 'z'))); // nothing to undo: left to the host
    testsupport::editParameter(f.processor, pRatio, 6.0f);
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('z', ctrl | juce::ModifierKeys::altModifier, 'z')));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 6.0f);
    EXPECT_TRUE(f.editor->keyPressed(juce::KeyPress('z', ctrl, 'z')));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 4.0f);
    EXPECT_TRUE(f.editor->keyPressed(juce::KeyPress('Z', ctrl | juce::ModifierKeys::shiftModifier, 'Z')));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 6.0f);
    EXPECT_TRUE(f.editor->keyPressed(juce::KeyPress('z', ctrl, 'z')));
    EXPECT_TRUE(f.editor->keyPressed(juce::KeyPress('y', ctrl, 'y')));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 6.0f);
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('Y', ctrl | juce::ModifierKeys::shiftModifier, 'Y')));
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('z', {}, 'z')));

    f.processor.undoHistory().beginUndoGesture(); // a knob held down
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('z', ctrl, 'z')));
    f.processor.undoHistory().endUndoGesture();
}

TEST(EditorKeys, UndoButtonsFollowTheHistory)
{
    EditorFixture f;
    auto* undo = f.find<juce::TextButton>("Undo");
    auto* redo = f.find<juce::TextButton>("Redo");
    ASSERT_TRUE(undo != nullptr && redo != nullptr);
    f.editor->tick();
    EXPECT_FALSE(undo->isEnabled());
    testsupport::editParameter(f.processor, pRatio, 6.0f);
    f.editor->tick();
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    f.processor.learn().setLearnRequested(true);
    f.editor->tick();
    EXPECT_FALSE(undo->isEnabled());
    f.processor.learn().setLearnRequested(false);
    f.editor->tick();
    undo->triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 4.0f);
    EXPECT_TRUE(redo->isEnabled());
}

TEST(EditorDestruction, ClosingDuringAGestureLeavesNoGestureOpen)
{
    EditorFixture f;
    f.processor.undoHistory().beginUndoGesture();
    f.editor.reset();
    EXPECT_EQ(f.processor.undoHistory().gestureDepth(), 0);
    testsupport::editParameter(f.processor, pRatio, 6.0f);
    EXPECT_TRUE(f.processor.undoHistory().canUndo());
}

TEST(EditorKeys, ShortcutsGoByKeyCodeAsLinuxAndWindowsDeliverThem)
{
    EditorFixture f;
    const auto ctrl = juce::ModifierKeys::ctrlModifier, shift = juce::ModifierKeys::shiftModifier;
    struct Shortcut
    {
        const char* platform;
        juce::KeyPress undo, redo;
    };
    // Linux gives the key's letter as the code and a control character as the text; Windows
    // the upper-case letter, with the control character or with no text at all.
    const Shortcut shortcuts[] = {
        {"Linux Ctrl+Z, Shift+Ctrl+Z", {'z', ctrl, 0x1A}, {'Z', ctrl | shift, 0x1A}},
        {"Linux Ctrl+Y", {'z', ctrl, 0x1A}, {'y', ctrl, 0x19}},
        {"Windows with text", {'Z', ctrl, 0x1A}, {'Y', ctrl, 0x19}},
        {"Windows without text", {'Z', ctrl, 0}, {'Z', ctrl | shift, 0}},
    };
    for (const auto& s : shortcuts)
    {
        testsupport::editParameter(f.processor, pRatio, 6.0f);
        EXPECT_TRUE(f.editor->keyPressed(s.undo)) << s.platform;
        EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 4.0f) << s.platform;
        EXPECT_TRUE(f.editor->keyPressed(s.redo)) << s.platform;
        EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pRatio), 6.0f) << s.platform;
        testsupport::editParameter(f.processor, pRatio, 4.0f);
    }
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('y', ctrl | shift, 0x19))); // Shift+Ctrl+Y is not redo
    EXPECT_FALSE(f.editor->keyPressed(juce::KeyPress('z', ctrl | juce::ModifierKeys::altModifier, 0x1A)));
}

TEST(EditorMeters, AWindowOpensWithSilentMetersWhateverPlayedBefore)
{
    testsupport::TemporarySettings settings;
    OrlixAudioProcessor p;
    testsupport::HostSimulation host(p);
    const auto loud = testsupport::sine(100.0, 48000.0, 24000, 0.9f);
    host.play(loud, loud); // raises the meter cells while no window is open
    OrlixAudioProcessorEditor editor(p);
    editor.tick();
    EXPECT_FLOAT_EQ(editor.getMeters().inputPeakShown, 0.0f);
    EXPECT_FLOAT_EQ(editor.getMeters().outputPeakShown, 0.0f);
    EXPECT_FLOAT_EQ(editor.getMeters().grSmoothed, 0.0f);
    host.play(loud, loud); // what plays while it is open shows
    editor.tick();
    EXPECT_GT(editor.getMeters().inputPeakShown, 0.5f);
}

TEST(EditorFeedback, TheCornerResizerHidesAndLetsClicksThroughWhileTheFormIsOpen)
{
    EditorFixture f;
    auto* corner = f.editor->getCornerResizer();
    ASSERT_NE(corner, nullptr);
    EXPECT_GT(corner->getAlpha(), 0.9f);
    f.editor->openFeedbackDialog();
    EXPECT_FLOAT_EQ(corner->getAlpha(), 0.0f);
    EXPECT_FALSE(corner->isEnabled());
    bool clicks = true, childClicks = true;
    corner->getInterceptsMouseClicks(clicks, childClicks);
    EXPECT_FALSE(clicks);
    f.editor->setSize(1100, 619); // the framework shows its resizer again after a resize
    EXPECT_FLOAT_EQ(corner->getAlpha(), 0.0f);
    f.editor->closeFeedbackDialog();
    EXPECT_FLOAT_EQ(corner->getAlpha(), 1.0f);
    EXPECT_TRUE(corner->isEnabled());
}
