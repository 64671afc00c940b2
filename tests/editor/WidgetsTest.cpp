#include "editor/ChoiceChips.h"
#include "editor/LearnControls.h"
#include "editor/MeterDisplays.h"
#include "editor/TargetMarker.h"
#include "editor/UiSettings.h"
#include "state/BaseValues.h"
#include "support/EditorFixture.h"
#include "support/HostSimulation.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace orlix;
using testsupport::EditorFixture;

namespace
{
ChoiceChips* characterChips(EditorFixture& f)
{
    return f.find<ChoiceChips>({}, 1);
}
} // namespace

TEST(ChoiceChips, KeysWrapAroundAndEachSelectionIsOneUndoEntry)
{
    EditorFixture f;
    auto* chips = characterChips(f);
    ASSERT_NE(chips, nullptr);
    ASSERT_EQ(chips->labels[0], "AUTO");
    EXPECT_TRUE(chips->keyPressed(juce::KeyPress(juce::KeyPress::leftKey))); // AUTO -> last
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pCharacter), 3.0f);
    EXPECT_TRUE(chips->keyPressed(juce::KeyPress(juce::KeyPress::rightKey))); // last -> first
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pCharacter), 0.0f);
    EXPECT_TRUE(chips->keyPressed(juce::KeyPress(juce::KeyPress::rightKey))); // AUTO -> OPTO
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pCharacter), 1.0f);
    EXPECT_FALSE(chips->keyPressed(juce::KeyPress('x')));
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 3u);
    chips->selectChip(1); // the chip already selected
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 3u);
}

TEST(ChoiceChips, AutoShowsItsPickWithARing)
{
    EditorFixture f;
    auto* chips = characterChips(f);
    f.editor->tick();
    EXPECT_EQ(chips->autoPickIndex, 0); // before Learn AUTO itself is lit, no ring
    auto chipPixel = [&](const juce::Image& image, int chip, int dx, int dy)
    {
        const auto centre = f.editor->getLocalPoint(chips, chips->chipAreas[(size_t)chip].getCentre());
        return image.getPixelAt(centre.x + dx, centre.y + dy);
    };
    const auto plain = f.snapshot();

    {
        // Learn picked FET.
        auto& state = f.processor.state();
        const juce::ScopedLock lock(state.getStateLock());
        orlix::setBaseValue(state.tree(), orlix::parameterId(orlix::pCharacter), 2.0f);
        state.refreshCachedBaseCharacter();
    }
    f.editor->tick();
    EXPECT_EQ(chips->autoPickIndex, 2);
    const auto picked = f.snapshot();
    auto brighter = [&](const juce::Image& a, const juce::Image& b, int chip)
    { return chipPixel(a, chip, -18, 0).getBrightness() - chipPixel(b, chip, -18, 0).getBrightness(); };
    EXPECT_GT(brighter(picked, plain, 2), 0.15f); // FET lit now
    EXPECT_GT(brighter(plain, picked, 0), 0.15f); // AUTO no longer lit
    // AUTO keeps a ring: its top edge is brighter than that of OPTO, which has none.
    const int top = -chips->chipAreas[0].getHeight() / 2;
    EXPECT_GT(chipPixel(picked, 0, 0, top).getBrightness(),
              chipPixel(picked, 1, 0, top).getBrightness() + 0.05f);

    testsupport::setParameter(f.processor, pCharacter, 1.0f); // OPTO chosen: no ring, OPTO lit
    f.editor->tick();
    const auto opto = f.snapshot();
    EXPECT_GT(brighter(opto, picked, 1), 0.15f);
    EXPECT_GT(brighter(picked, opto, 2), 0.15f);
    EXPECT_LT(chipPixel(opto, 0, 0, top).getBrightness(), chipPixel(picked, 0, 0, top).getBrightness());
}

TEST(ChoiceChips, TooltipFollowsTheChipUnderThePointer)
{
    EditorFixture f;
    auto* drive = f.find<ChoiceChips>({}, 0);
    ASSERT_EQ(drive->labels[1], "XFMR");
    drive->mouseMove(testsupport::mouseAt(*drive, drive->chipAreas[1].getCentre().toFloat()));
    EXPECT_TRUE(drive->getTooltip().startsWith("TRANSFORMER\nLows saturate"));
    drive->mouseExit(testsupport::mouseAt(*drive, {-5.0f, -5.0f}));
    EXPECT_TRUE(drive->getTooltip().isEmpty());
}

TEST(TargetMarker, DragsWithinOneToTheLearnMaximumInTenthsAndShiftIsFiner)
{
    OrlixAudioProcessor p;
    TargetMarker marker(p);
    marker.setBounds(346, 72, 268, 268);
    marker.ringCentre = {480, 206};
    marker.ringRadius = 106.0f;
    marker.available = true;
    marker.target = 5.0f;
    // Grabbing the marker exactly keeps the offset at zero; the pointer angle then sets the target.
    auto local = [&](float degrees, float radius)
    {
        const float a = juce::degreesToRadians(degrees);
        return juce::Point<float>(134.0f + radius * std::sin(a), 134.0f - radius * std::cos(a));
    };
    marker.mouseDown(
        testsupport::mouseAt(marker, local(targetAngle(5.0f), 106.0f), testsupport::leftButton()));
    EXPECT_NEAR(marker.targetForPointer(local(targetAngle(5.04f), 106.0f)), 5.0f, 1e-5f);
    EXPECT_NEAR(marker.targetForPointer(local(170.0f, 106.0f)), 20.0f, 1e-5f); // far past the end
    EXPECT_NEAR(marker.targetForPointer(local(-175.0f, 106.0f)), 1.0f, 1e-5f); // far past the start
    EXPECT_NEAR(marker.targetForPointer(local(targetAngle(8.0f), 106.0f)), 8.0f, 1e-5f);
    marker.mouseUp(testsupport::mouseAt(marker, local(0.0f, 106.0f)));

    marker.mouseDown(testsupport::mouseAt(marker, local(targetAngle(5.0f), 106.0f),
                                          testsupport::leftButton(juce::ModifierKeys::shiftModifier)));
    // 60 degrees of pointer travel move the target a sixth: 10 degrees = 0.714 dB.
    EXPECT_NEAR(marker.targetForPointer(local(targetAngle(5.0f) + 60.0f, 106.0f)), 5.7f, 1e-5f);
    marker.mouseUp(testsupport::mouseAt(marker, local(0.0f, 106.0f)));
    EXPECT_EQ(p.undoHistory().gestureDepth(), 0);
}

TEST(TargetMarker, OnlyTheMarkerItselfTakesClicks)
{
    OrlixAudioProcessor p;
    TargetMarker marker(p);
    marker.setBounds(346, 72, 268, 268);
    marker.ringCentre = {480, 206};
    marker.ringRadius = 106.0f;
    EXPECT_FALSE(marker.hitTest(134, 134 - 106)); // not available: nothing
    marker.available = true;
    marker.target = 10.0f; // straight up
    EXPECT_TRUE(marker.hitTest(134, 134 - 106));
    EXPECT_TRUE(marker.hitTest(134 + 10, 134 - 106));
    EXPECT_FALSE(marker.hitTest(134, 134)); // the middle of the dial belongs to LEARN
}

TEST(MeterBallistics, SixDecibelsShowWithinASecondAndTheArcIsFullAbove20)
{
    MeterState m;
    double now = 1000.0;
    for (int i = 0; i < 30; ++i) // one second of 33 ms ticks
    {
        now += 33.0;
        m.advance(now, 0.5f, 0.25f, 6.0f);
    }
    EXPECT_EQ(juce::String(m.grHeld, 1), "6.0");
    EXPECT_NEAR(m.grSmoothed, 6.0f, 0.01f);
    for (int i = 0; i < 10; ++i)
    {
        now += 33.0;
        m.advance(now, 0.0f, 0.0f, 0.0f);
    }
    EXPECT_LT(m.grSmoothed, 2.5f);               // the arc falls with 0.3 s
    EXPECT_EQ(juce::String(m.grHeld, 1), "6.0"); // the number holds a second

    MeterState loud;
    for (int i = 0; i < 60; ++i)
    {
        now += 33.0;
        loud.advance(now, 1.0f, 1.0f, 25.0f);
    }
    EXPECT_EQ(juce::String(loud.grHeld, 1), "25.0");
    EXPECT_GT(loud.grSmoothed / 20.0f, 1.0f); // clamped to the full arc when drawn
}

TEST(MeterHistoryDisplay, GapAfterAHostResetGrowsWithTheClock)
{
    EXPECT_EQ(historyGap(5000.0, -1.0), 0);
    EXPECT_EQ(historyGap(5000.0, 3000.0), 200);
    EXPECT_EQ(historyGap(10000.0, 3000.0), 512);
    EXPECT_EQ(historyGap(2000.0, 3000.0), 0);
}

TEST(MeterHistoryDisplay, RangeStepsZoomInAwayFromTheUser)
{
    EXPECT_EQ(steppedHistoryRange(60, true), 36);
    EXPECT_EQ(steppedHistoryRange(36, true), 24);
    EXPECT_EQ(steppedHistoryRange(24, true), 24);
    EXPECT_EQ(steppedHistoryRange(24, false), 36);
    EXPECT_EQ(steppedHistoryRange(48, true), 36); // an unknown range counts as 60
}

TEST(MeterHistoryDisplay, WheelNotchesAndTrackpadTravel)
{
    EditorFixture f;
    const auto over = f.editor->getLayout().historyArea.getCentre().toFloat();
    juce::MouseWheelDetails notch{0.0f, 0.1f, false, false, false};
    f.editor->mouseWheelMove(testsupport::mouseAt(*f.editor, over), notch);
    EXPECT_EQ(f.editor->getHistoryRangeDb(), 36);
    EXPECT_EQ(readHistoryRangeDb(), 36); // written at once
    juce::MouseWheelDetails smooth{0.0f, 0.1f, false, true, false};
    f.editor->mouseWheelMove(testsupport::mouseAt(*f.editor, over), smooth);
    f.editor->mouseWheelMove(testsupport::mouseAt(*f.editor, over), smooth);
    EXPECT_EQ(f.editor->getHistoryRangeDb(), 36);
    f.editor->mouseWheelMove(testsupport::mouseAt(*f.editor, over), smooth); // the third event steps
    EXPECT_EQ(f.editor->getHistoryRangeDb(), 24);
    juce::MouseWheelDetails inertial{0.0f, -1.0f, false, false, true};
    f.editor->mouseWheelMove(testsupport::mouseAt(*f.editor, over), inertial);
    EXPECT_EQ(f.editor->getHistoryRangeDb(), 24);
    f.editor->mouseWheelMove(testsupport::mouseAt(*f.editor, {20.0f, 20.0f}), notch); // not over the graph
    EXPECT_EQ(f.editor->getHistoryRangeDb(), 24);
}

TEST(MeterHistoryDisplay, ThresholdLineFollowsTheRange)
{
    // Range 24: -18 dB sits a quarter up from the bottom, -30 on the bottom edge.
    const auto layout = makeEditorLayout(150);
    const auto area = layout.historyArea.toFloat();
    auto thresholdRow = [&](float db)
    {
        juce::Image image(juce::Image::ARGB, 960, 540, true);
        juce::Graphics g(image);
        drawHistoryGraph(g, layout, HistorySnapshot{}, 24, db);
        for (int y = layout.historyArea.getY() - 2; y <= layout.historyArea.getBottom() + 2; ++y)
            if (image.getPixelAt(layout.historyArea.getX() + 1, y).getAlpha() > 40)
                return (float)y;
        return -1.0f;
    };
    EXPECT_NEAR(thresholdRow(-18.0f), area.getBottom() - area.getHeight() / 4.0f, 1.0f);
    EXPECT_NEAR(thresholdRow(-30.0f), area.getBottom(), 1.0f);
}

TEST(LevelBars, ClickNearTheBarsClearsBothClipLights)
{
    EditorFixture f;
    // A full-scale block through both meters raises both clip flags.
    auto& meters = f.processor.metering();
    meters.prepare(48000.0, 2);
    juce::AudioBuffer<float> fullScale(2, 64);
    for (int ch = 0; ch < 2; ++ch)
        juce::FloatVectorOperations::fill(fullScale.getWritePointer(ch), 1.0f, 64);
    meters.meterOutput(fullScale, 2, 64, meters.meterInput(fullScale, 2, 64), 0.0f, 0.0);
    ASSERT_TRUE(meters.inputClipped() && meters.outputClipped());
    const auto& l = f.editor->getLayout();
    f.editor->mouseDown(testsupport::mouseAt(*f.editor, l.historyArea.getCentre().toFloat()));
    EXPECT_TRUE(f.processor.metering().inputClipped());
    f.editor->mouseDown(
        testsupport::mouseAt(*f.editor, l.inBarArea.getTopLeft().toFloat().translated(-5.0f, 2.0f)));
    EXPECT_FALSE(f.processor.metering().inputClipped());
    EXPECT_FALSE(f.processor.metering().outputClipped());
}

TEST(LearnStatusLine, TextsAndWrapping)
{
    EXPECT_EQ(learnStatus(0.0f, false, 0.1f).text, "Waiting for audio - start playback");
    EXPECT_TRUE(learnStatus(0.0f, false, 0.1f).warning);
    EXPECT_EQ(learnStatus(0.2f, false, 2.0f).text, "Listening... 6.4 s left");
    EXPECT_FALSE(learnStatus(0.2f, false, 2.0f).warning);
    EXPECT_EQ(learnStatus(0.01f, true, 4.0f).text, "Signal too low - Learn only counts audio above -60 dBFS");

    // The long warning breaks at the space nearest its middle into two lines 14 apart.
    juce::Image image(juce::Image::ARGB, 960, 540, true);
    {
        juce::Graphics g(image);
        drawWrappedCentred(g, {380, 278, 200, 40}, 290.0f, 14.0f, learnStatus(0.01f, true, 4.0f).text,
                           juce::Colours::white);
    }
    auto inkInRow = [&](int y0, int y1)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = 300; x < 660; ++x)
                if (image.getPixelAt(x, y).getAlpha() > 128)
                    return true;
        return false;
    };
    EXPECT_TRUE(inkInRow(282, 290));
    EXPECT_TRUE(inkInRow(296, 304));
}

TEST(SourceSelector, MenuIdsTextAndOneUndoEntryPerChoice)
{
    EditorFixture f;
    const auto menu = buildSourceMenu(0, 0);
    EXPECT_EQ(menu.getNumItems(), 13); // Universal, then (after a separator) twelve more
    juce::PopupMenu::MenuItemIterator items(menu);
    ASSERT_TRUE(items.next());
    EXPECT_EQ(items.getItem().text, "Universal");
    ASSERT_TRUE(items.next());
    EXPECT_TRUE(items.getItem().isSeparator);
    f.editor->handleSourceMenuResult(2 * 16 + 1 + 1); // Drum, Snare
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pSource), 2.0f);
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(pNuance), 1.0f);
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u);
    auto* selector = f.find<juce::TextButton>(selectorText(2, 1));
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(selectorText(2, 1),
              juce::String("Drum  ") + juce::String::fromUTF8("\xe2\x80\xba") + "  Snare");
    f.editor->handleSourceMenuResult(0); // dismissed
    EXPECT_EQ(f.processor.undoHistory().undoSize(), 1u);
    EXPECT_EQ(selectorText(1, 7), selectorText(1, 1)); // beyond the list shows its last name
}

TEST(LearnButton, ClickRequestsAndCancelsAndTheTextFollowsTheState)
{
    EditorFixture f;
    auto* learn = f.find<juce::TextButton>("LEARN");
    learn->triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    EXPECT_TRUE(f.processor.learn().isLearnRequested());
    EXPECT_TRUE(learn->getToggleState());
    f.editor->tick();
    EXPECT_EQ(learn->getButtonText(), "LEARNING");
    EXPECT_EQ(f.editor->getStatusText(), "Waiting for audio - start playback");
    EXPECT_TRUE(f.editor->isStatusWarning());
    learn->triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    EXPECT_FALSE(f.processor.learn().isLearnRequested());
    f.editor->tick();
    // Until the processor has stopped listening (its own timer may already have run) the run shows.
    EXPECT_EQ(learn->getButtonText(), f.processor.learn().isLearnListening() ? "LEARNING" : "LEARN");
    f.processor.timerTick();
    f.editor->tick();
    EXPECT_EQ(learn->getButtonText(), "LEARN");
    EXPECT_TRUE(f.editor->getStatusText().isEmpty());
}

TEST(UiSettings, DefaultsClampsAndWriteOnChange)
{
    testsupport::TemporarySettings settings;
    EXPECT_EQ(readEditorWidth(), 960);
    EXPECT_EQ(readHistoryRangeDb(), 60);
    writeHistoryRangeDb(48);
    EXPECT_EQ(readHistoryRangeDb(), 60);
    writeEditorWidth(100);
    EXPECT_EQ(readEditorWidth(), 720);
    EXPECT_TRUE(websiteUrl("/contact").startsWith("https://"));
    EXPECT_TRUE(websiteUrl("/contact").endsWith("/contact"));
}

TEST(MeterHistoryDisplay, ThresholdLabelMovesBelowItsLineWhereTheReductionLineOrThePanelBorderWouldCrossIt)
{
    const auto layout = makeEditorLayout(150);
    const auto area = layout.historyArea.toFloat();
    MeterHistory history;
    history.setHop(480);
    for (int i = 0; i < 600; ++i)
        history.write(480, 0.5f, 0.4f, 1.0f, 0.0); // 1 dB of reduction: its line runs near the top
    const HistorySnapshot playing{&history, history.writeCount(), 0.0, -1.0};
    auto lineAt = [&](float db, float range)
    { return area.getBottom() - area.getHeight() * (range + db) / range; };
    auto reductionLine = [&](float range) { return area.getY() + area.getHeight() / range; };

    // A threshold a little below 0 dB would put the label across the reduction line: it goes
    // below its own line, clear of the reduction line and its glow.
    for (auto [range, threshold] : {std::pair{60, -8.0f}, std::pair{24, -2.0f}})
    {
        const auto label = thresholdLabelArea(layout, playing, range, threshold);
        EXPECT_GE(label.getY(), lineAt(threshold, (float)range) + 5.0f) << range;
        EXPECT_GT(label.getY(), reductionLine((float)range) + 3.0f) << range;
    }

    const auto lower = thresholdLabelArea(layout, playing, 60, -30.0f);
    EXPECT_LE(lower.getBottom(), lineAt(-30.0f, 60.0f) - 5.0f) << "where nothing crosses it, above its line";

    const HistorySnapshot silent{&history, 0, 0.0, -1.0}; // no input, no reduction line
    EXPECT_LE(thresholdLabelArea(layout, silent, 60, -8.0f).getBottom(), lineAt(-8.0f, 60.0f) - 5.0f);

    // At 0 dB, above its line the label would cross the panel's top border: it stays inside.
    for (const auto& snapshot : {playing, silent})
        for (int range : {24, 60})
        {
            const auto top = thresholdLabelArea(layout, snapshot, range, 0.0f);
            EXPECT_GE(top.getY(), (float)layout.bottomPanel.getY() + 2.0f) << range;
            EXPECT_LE(top.getBottom(), (float)layout.bottomPanel.getBottom() - 2.0f) << range;
        }
}
