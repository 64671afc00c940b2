#include "editor/OrlixAudioProcessorEditor.h"

#include "editor/DrawingKit.h"
#include "editor/LearnControls.h"
#include "editor/UiSettings.h"
#include "editor/WindowBackground.h"
#include "feedback/OrlixFeedbackDialog.h"
#include "processor/OrlixAudioProcessor.h"

using namespace orlix;

juce::Component* NoDefaultChild::getDefaultComponent(juce::Component* parent)
{
    if (dynamic_cast<FocusPassthroughContainer*>(parent) != nullptr)
        return nullptr;
    return juce::KeyboardFocusTraverser::getDefaultComponent(parent);
}

namespace
{
juce::RangedAudioParameter& parameterOf(OrlixAudioProcessor& p, ParameterIndex index)
{
    return *p.getParameterState().getParameter(parameterId(index));
}

void addPassthrough(juce::Component& parent, juce::Component& child)
{
    parent.addAndMakeVisible(child);
    child.setInterceptsMouseClicks(false, true);
}

juce::StringArray tooltipsOf(const std::vector<TooltipEntry>& entries)
{
    juce::StringArray texts;
    for (int i = 0; i < (int)entries.size(); ++i)
        texts.add(tooltipText(entries, i));
    return texts;
}

const std::vector<TooltipEntry>& headerTooltips()
{
    static const std::vector<TooltipEntry> entries{helpTooltip, {"Undo", ""}, {"Redo", ""}, targetTooltip};
    return entries;
}
} // namespace

OrlixAudioProcessorEditor::OrlixAudioProcessorEditor(OrlixAudioProcessor& p)
    : juce::AudioProcessorEditor(p), processor(p), targetMarker(p)
{
    setLookAndFeel(&lookAndFeel);
    addPassthrough(*this, rootContainer);
    addPassthrough(rootContainer, controlsContainer);
    addPassthrough(controlsContainer, driveContainer);

    setupKnob(*this, thresholdKnob, p, "threshold", "THRESHOLD", "dB", 1, controlsContainer);
    setupKnob(*this, ratioKnob, p, "ratio", "RATIO", ": 1", 1, controlsContainer);
    setupKnob(*this, attackKnob, p, "attack", "ATTACK", "ms", -2, controlsContainer);
    setupKnob(*this, releaseKnob, p, "release", "RELEASE", "ms", 0, controlsContainer);
    setupKnob(*this, kneeKnob, p, "knee", "KNEE", "", -1, controlsContainer);
    setupKnob(*this, mixKnob, p, "mix", "MIX", "%", 0, controlsContainer);
    setupKnob(*this, outputKnob, p, "output", "OUTPUT", "dB", 1, controlsContainer);
    setupKnob(*this, driveAmountKnob, p, "drive", "AMOUNT", "%", 0, driveContainer);

    controlsContainer.addAndMakeVisible(driveSwitch);
    driveSwitch.getProperties().set(props::toggleSwitch, true);
    driveSwitchAttachment = std::make_unique<UserButtonAttachment>(p, parameterOf(p, pDriveOn), driveSwitch);

    driveTypeChips = std::make_unique<ChoiceChips>(p, parameterOf(p, pDriveType),
                                                   juce::StringArray{"TUBE", "XFMR", "TAPE", "FET"}, 11.0f);
    driveContainer.addAndMakeVisible(*driveTypeChips);
    driveTypeChips->tooltips = tooltipsOf(driveTypeTooltips());

    controlsContainer.addAndMakeVisible(autoGainToggle);
    autoGainToggle.getProperties().set(props::chip, 10.0);
    autoGainAttachment =
        std::make_unique<UserButtonAttachment>(p, parameterOf(p, pAutoMakeup), autoGainToggle);
    controlsContainer.addAndMakeVisible(autoReleaseToggle);
    autoReleaseToggle.getProperties().set(props::chip, 11.0);
    autoReleaseAttachment =
        std::make_unique<UserButtonAttachment>(p, parameterOf(p, pAutoRelease), autoReleaseToggle);

    controlsContainer.addAndMakeVisible(learnButton);
    learnButton.setClickingTogglesState(false);
    learnButton.setToggleable(false);
    learnButton.getProperties().set(props::learn, true);
    learnButton.onClick = [this]
    {
        processor.learnRequested = !learnActive();
        refreshLearnButton();
    };
    refreshLearnButton();

    controlsContainer.addAndMakeVisible(targetMarker);
    targetMarker.tooltip = tooltipText(headerTooltips(), 3);

    controlsContainer.addAndMakeVisible(sourceButton);
    sourceButton.getProperties().set(props::drop, true);
    sourceButton.onClick = [this] { showSourceMenu(); };

    historyRangeDb = readHistoryRangeDb();

    characterChips = std::make_unique<ChoiceChips>(p, parameterOf(p, pCharacter),
                                                   juce::StringArray{"AUTO", "OPTO", "FET", "VCA"}, 10.5f);
    controlsContainer.addAndMakeVisible(*characterChips);
    characterChips->tooltips = tooltipsOf(characterTooltips());

    for (auto [button, arrow, name] :
         {std::tuple{&undoButton, 1, "Undo"}, std::tuple{&redoButton, 2, "Redo"}})
    {
        rootContainer.addAndMakeVisible(*button);
        button->setWantsKeyboardFocus(false);
        button->getProperties().set(props::arrow, arrow);
        button->setTooltip(name);
        button->setTitle(name);
    }
    undoButton.onClick = [this]
    {
        processor.undo();
        refreshUndoButtons();
    };
    redoButton.onClick = [this]
    {
        processor.redo();
        refreshUndoButtons();
    };
    refreshUndoButtons();

    rootContainer.addAndMakeVisible(helpButton);
    helpButton.setWantsKeyboardFocus(false);
    helpButton.getProperties().set(props::help, true);
    helpButton.setTooltip(tooltipText(headerTooltips(), 0));
    helpButton.setTitle("Help");
    helpButton.onClick = [this] { showHelpMenu(); };

    // Peaks measured while the window was closed are old news: the first tick starts from silence.
    processor.takeInputPeak();
    processor.takeOutputPeak();
    processor.takeGainReduction();

    setWantsKeyboardFocus(true);
    refreshSelectorText();
    refreshSectionState();

    setResizable(true, true);
    setResizeLimits(720, 405, 1280, 720);
    if (auto* sizeLimits = getConstrainer())
        sizeLimits->setFixedAspectRatio(16.0 / 9.0);
    widthAtOpen = readEditorWidth();
    setSize(widthAtOpen, (widthAtOpen * 540 + 480) / 960);
    startTimer(33);
}

OrlixAudioProcessorEditor::~OrlixAudioProcessorEditor()
{
    stopTimer();
    processor.gestureDepth = 0;
    processor.discardUndoGesture();
    setLookAndFeel(nullptr);
    if (getWidth() != widthAtOpen)
        writeEditorWidth(getWidth());
}

int OrlixAudioProcessorEditor::getLearnPercentShown() const
{
    return learnPercent(learnProgressShown);
}

bool OrlixAudioProcessorEditor::learnActive() const
{
    return processor.learnRequested.load() || processor.isLearnListening();
}

//==============================================================================
void OrlixAudioProcessorEditor::resized()
{
    const float w = (float)getWidth(), h = (float)getHeight();
    designScale = std::min(h / 540.0f, w / 960.0f);
    designTransform = juce::AffineTransform::scale(designScale)
                          .translated((w - 960.0f * designScale) / 2.0f, (h - 540.0f * designScale) / 2.0f);
    rootContainer.setBounds(0, 0, designWidth, designHeight);
    rootContainer.setTransform(designTransform);
    controlsContainer.setBounds(0, 0, designWidth, designHeight);
    driveContainer.setBounds(0, 0, designWidth, designHeight);

    layout = makeEditorLayout(juce::roundToInt(textWidth(uiFont(13.0f, true, 5.0f), "HALVANE AUDIO")));
    sourceButton.setBounds(layout.sourceButton);
    characterChips->setChipAreas({layout.characterChips.begin(), layout.characterChips.end()});
    autoReleaseToggle.setBounds(layout.autoReleaseToggle);
    driveSwitch.setBounds(layout.driveSwitch);
    driveTypeChips->setChipAreas({layout.driveTypeChips.begin(), layout.driveTypeChips.end()});
    autoGainToggle.setBounds(layout.autoGainToggle);
    learnButton.setBounds(layout.learnButton);
    targetMarker.ringCentre = layout.meterCentre;
    targetMarker.ringRadius = (float)layout.ringRadius;
    targetMarker.setBounds(layout.targetMarker);
    undoButton.setBounds(layout.undoButton);
    redoButton.setBounds(layout.redoButton);
    helpButton.setBounds(layout.helpButton);
    if (feedbackOverlay != nullptr)
        feedbackOverlay->setBounds(0, 0, rootContainer.getWidth(), rootContainer.getHeight());

    for (size_t i = 0; i < knobs.size(); ++i)
    {
        auto& knob = *knobs[i];
        const auto& placement = knobPlacements[i];
        knob.getProperties().set(props::radius, placement.radius);
        knob.centre = placement.centre;
        knob.arcRadius = placement.radius;
        knob.labelPosition = placement.labelPosition();
        knob.setBounds(placement.bounds());
    }
}

//==============================================================================
void OrlixAudioProcessorEditor::timerCallback()
{
    refreshSelectorText();
    refreshLearnButton();
    refreshSectionState();
    refreshUndoButtons();
    targetMarker.refreshFromProcessor();
    if (const int pick = processor.cachedBaseCharacter.load(); pick != characterChips->autoPickIndex)
    {
        characterChips->autoPickIndex = pick;
        characterChips->repaint();
    }
    meters.advance(now(), processor.takeInputPeak(), processor.takeOutputPeak(),
                   processor.takeGainReduction());
    clipInShown = processor.inputClip.load();
    clipOutShown = processor.outputClip.load();
    refreshLearnStatus();
    repaintDesignArea(layout.meterArea);
    repaintDesignArea(layout.bottomPanel);
}

void OrlixAudioProcessorEditor::repaintDesignArea(juce::Rectangle<int> designArea)
{
    const auto area = designArea.toFloat().transformedBy(designTransform).getSmallestIntegerContainer();
    const auto visible = area.getIntersection(getLocalBounds());
    if (!visible.isEmpty())
        repaint(visible);
}

juce::Point<int> OrlixAudioProcessorEditor::toDesign(juce::Point<float> editorPoint) const
{
    const auto p = editorPoint.transformedBy(designTransform.inverted());
    return {(int)std::floor(p.x), (int)std::floor(p.y)};
}

void OrlixAudioProcessorEditor::refreshSectionState()
{
    const bool bypassed = processor.rawParameter(pBypass) > 0.5f;
    const bool driveOn = processor.rawParameter(pDriveOn) > 0.5f;
    const bool changed = bypassed != bypassShown || driveOn != driveShown;
    bypassShown = bypassed;
    driveShown = driveOn;
    controlsContainer.setAlpha(bypassed ? 0.4f : 1.0f);
    driveContainer.setAlpha(driveOn ? 1.0f : 0.5f);

    const bool releaseEnabled = processor.rawParameter(pAutoRelease) <= 0.5f;
    if (releaseEnabled != releaseEnabledShown || releaseEnabled != releaseKnob.isEnabled())
    {
        releaseEnabledShown = releaseEnabled;
        releaseKnob.setEnabled(releaseEnabled);
        repaint();
    }
    if (changed)
        repaint();
}

void OrlixAudioProcessorEditor::refreshUndoButtons()
{
    const bool idle = !processor.learnRequested && !processor.isLearnListening() &&
                      !processor.driveEqPending && processor.gestureDepth <= 0;
    const bool canUndo = idle && processor.canUndoAfterEpochCheck();
    const bool canRedo = idle && processor.canRedoAfterEpochCheck();
    if (undoButton.isEnabled() != canUndo)
        undoButton.setEnabled(canUndo);
    if (redoButton.isEnabled() != canRedo)
        redoButton.setEnabled(canRedo);
}

void OrlixAudioProcessorEditor::refreshLearnButton()
{
    const bool active = learnActive();
    if (learnButton.getToggleState() != active)
        learnButton.setToggleState(active, juce::dontSendNotification);
}

void OrlixAudioProcessorEditor::refreshSelectorText()
{
    const int s = (int)std::lround(processor.rawParameter(pSource));
    const int n = clampNuance(s, (int)std::lround(processor.rawParameter(pNuance)));
    if (s == shownSource && n == shownNuance)
        return;
    shownSource = s;
    shownNuance = n;
    sourceButton.setButtonText(selectorText(s, n));
    repaintDesignArea(layout.captionArea.expanded(2));
}

void OrlixAudioProcessorEditor::refreshLearnStatus()
{
    learnProgressShown = processor.learnProgress.load();
    lowSignalShown = processor.learnSignalLow.load();
    secondsListenedShown = processor.learnSecondsAnalysed.load();
    statusIsWarning = false;
    if (learnButton.getToggleState())
    {
        if (learnButton.getButtonText() != "LEARNING")
            learnButton.setButtonText("LEARNING");
        const auto status = learnStatus(learnProgressShown, lowSignalShown, secondsListenedShown);
        statusText = status.text;
        statusIsWarning = status.warning;
    }
    else
    {
        statusText = {};
        if (learnButton.getButtonText() != "LEARN")
            learnButton.setButtonText("LEARN");
    }
}

//==============================================================================
bool OrlixAudioProcessorEditor::keyPressed(const juce::KeyPress& key)
{
    if (feedbackOverlay != nullptr)
        return false;
    const auto mods = key.getModifiers();
    if (!mods.isCommandDown() || mods.isAltDown())
        return false;
    const auto c = juce::CharacterFunctions::toUpperCase(
        key.getTextCharacter() != 0 ? key.getTextCharacter() : (juce::juce_wchar)key.getKeyCode());
    bool result = false;
    if (c == 'Z' && !mods.isShiftDown())
        result = processor.undo();
    else if ((c == 'Z' && mods.isShiftDown()) || (c == 'Y' && !mods.isShiftDown()))
        result = processor.redo();
    else
        return false;
    refreshUndoButtons();
    return result;
}

void OrlixAudioProcessorEditor::mouseDown(const juce::MouseEvent& e)
{
    const auto p = toDesign(e.getEventRelativeTo(this).position);
    const auto inZone = layout.inBarArea.getUnion(layout.inClipArea).expanded(6);
    const auto outZone = layout.outBarArea.getUnion(layout.outClipArea).expanded(6);
    if (inZone.contains(p) || outZone.contains(p))
    {
        processor.inputClip = false;
        processor.outputClip = false;
        repaint();
    }
}

void OrlixAudioProcessorEditor::mouseWheelMove(const juce::MouseEvent& e,
                                               const juce::MouseWheelDetails& wheel)
{
    const auto p = toDesign(e.getEventRelativeTo(this).position);
    if (!layout.historyArea.contains(p))
    {
        juce::AudioProcessorEditor::mouseWheelMove(e, wheel);
        return;
    }
    if (wheel.isInertial || juce::exactlyEqual(wheel.deltaY, 0.0f))
        return;
    const float delta = wheel.deltaY;
    if (wheel.isSmooth)
        wheelAccumulator = (delta > 0.0f) == (wheelAccumulator > 0.0f) ? wheelAccumulator + delta : delta;
    else
        wheelAccumulator = delta > 0.0f ? 0.25f : -0.25f;
    if (std::abs(wheelAccumulator) < 0.25f)
        return;
    wheelAccumulator = 0.0f;
    const int next = steppedHistoryRange(historyRangeDb, delta > 0.0f);
    rangeChangedAt = now();
    if (next != historyRangeDb)
    {
        historyRangeDb = next;
        writeHistoryRangeDb(next);
    }
    repaintDesignArea(layout.bottomPanel.expanded(2));
}

//==============================================================================
void OrlixAudioProcessorEditor::paint(juce::Graphics& g)
{
    g.fillAll(Palette::background);
    const auto canvas = juce::Rectangle<float>(0.0f, 0.0f, 960.0f, 540.0f).transformedBy(designTransform);
    const float scale = g.getInternalContext().getPhysicalPixelScaleFactor();
    const int W = juce::roundToInt(canvas.getWidth() * scale),
              H = juce::roundToInt(canvas.getHeight() * scale);
    if (W < 1 || H < 1)
        backgroundCache = {};
    else
    {
        if (!backgroundCache.isValid() || backgroundCache.getWidth() != W || backgroundCache.getHeight() != H)
            backgroundCache = renderBackground(W, H);
        if (bypassShown)
        {
            g.setOpacity(0.45f);
            g.drawImage(backgroundCache, canvas, juce::RectanglePlacement::stretchToFit);
            g.setOpacity(1.0f);
            g.fillAll(withAlpha(Palette::background, 0.35f));
        }
        else
            g.drawImage(backgroundCache, canvas, juce::RectanglePlacement::stretchToFit);
    }
    g.addTransform(designTransform);

    drawHeader(g, layout.brandOrigin);
    if (bypassShown)
        g.beginTransparencyLayer(0.4f);

    if (driveShown && !layout.rightPanel.isEmpty())
    {
        const auto glowArea = layout.rightPanel.toFloat().expanded(2.0f);
        for (auto [thickness, alpha] :
             {std::pair{9.0f, 0.07f}, std::pair{6.0f, 0.12f}, std::pair{3.0f, 0.55f}})
        {
            g.setColour(withAlpha(Palette::orange, alpha));
            g.drawRoundedRectangle(glowArea, 23.0f, thickness);
        }
    }
    if (!layout.leftPanel.isEmpty())
    {
        drawGlassCard(g, layout.leftPanel.toFloat(), 22.0f);
        drawGlassCard(g, layout.rightPanel.toFloat(), 22.0f);
        drawDialBody(g, layout);
        const auto headingFont = uiFont(12.0f, true, 3.0f);
        drawTextAt(g, "COMPRESSOR", headingFont, white(0.52f), (float)layout.compressorHeading.x,
                   (float)layout.compressorHeading.y, juce::Justification::left);
        drawTextAt(g, "DRIVE", headingFont, white(0.52f), (float)layout.driveHeading.x,
                   (float)layout.driveHeading.y, juce::Justification::left);
        drawTextAt(g, "OUTPUT", headingFont, white(0.52f), (float)layout.outputHeading.x,
                   (float)layout.outputHeading.y, juce::Justification::left);
        g.setColour(white(0.15f));
        g.drawLine(layout.dividerStart.toFloat().x, layout.dividerStart.toFloat().y,
                   layout.dividerEnd.toFloat().x, layout.dividerEnd.toFloat().y, 1.0f);
    }
    for (const auto* knob : knobs)
    {
        const bool dimmed =
            (knob == &driveAmountKnob && !driveShown) || (knob == &releaseKnob && !releaseKnob.isEnabled());
        drawTextAt(g, knob->label, uiFont(12.0f, true, 1.5f), white(0.52f * (dimmed ? 0.5f : 1.0f)),
                   (float)knob->labelPosition.x, (float)knob->labelPosition.y,
                   juce::Justification::horizontallyCentred);
    }
    if (!layout.leftPanel.isEmpty())
    {
        drawDialTrack(g, layout);
        if (!learnButton.getToggleState())
        {
            drawDialValues(g, layout, meters, processor.targetAvailable.load(),
                           processor.shownTargetDb.load(), processor.targetEdited.load());
            drawWrappedCentred(g, layout.captionArea, (float)layout.captionBaseline,
                               (float)layout.captionStep, sourceButton.getButtonText().replace("  ", " "),
                               juce::Colour(0x85FFFFFF));
        }
    }
    if (!layout.bottomPanel.isEmpty())
    {
        drawGlassCard(g, layout.bottomPanel.toFloat(), 22.0f);
        const HistorySnapshot snapshot{&processor.history(), processor.history().writeCount(), now(),
                                       processor.history().resetMs()};
        drawHistoryGraph(g, layout, snapshot, historyRangeDb, processor.rawParameter(pThreshold));
        drawRangeBadge(g, layout, historyRangeDb, now() - rangeChangedAt);
        drawLevelBar(g, layout.inBarArea, layout.inClipArea, layout.inLabel, meters.inputPeakShown,
                     clipInShown, "IN");
        drawLevelBar(g, layout.outBarArea, layout.outClipArea, layout.outLabel, meters.outputPeakShown,
                     clipOutShown, "OUT");
    }
    if (bypassShown)
        g.endTransparencyLayer();
}

void OrlixAudioProcessorEditor::paintOverChildren(juce::Graphics& g)
{
    if (!learnButton.getToggleState() || layout.leftPanel.isEmpty())
        return;
    g.addTransform(designTransform);
    drawLearnProgress(g, layout.meterCentre, layout.ringRadius, learnProgressShown);
    if (statusText.isNotEmpty())
        drawWrappedCentred(g, layout.captionArea, (float)layout.captionBaseline, (float)layout.captionStep,
                           statusText, statusIsWarning ? Palette::amber : juce::Colour(0xBDFFFFFF));
}

//==============================================================================
void OrlixAudioProcessorEditor::showSourceMenu()
{
    const int s = (int)std::lround(processor.rawParameter(pSource));
    const int n = clampNuance(s, (int)std::lround(processor.rawParameter(pNuance)));
    auto menu = buildSourceMenu(s, n);
    menu.setLookAndFeel(&lookAndFeel);
    sourceMenuOpen = true;
    sourceButton.getProperties().set(props::open, true);
    sourceButton.repaint();
    juce::Component::SafePointer<OrlixAudioProcessorEditor> safe(this);
    menu.showMenuAsync(menuOptionsFor(sourceButton),
                       [safe](int result)
                       {
                           if (safe != nullptr)
                               safe->handleSourceMenuResult(result);
                       });
}

juce::PopupMenu::Options OrlixAudioProcessorEditor::menuOptionsFor(juce::Component& target)
{
    auto options = juce::PopupMenu::Options().withTargetComponent(&target);
    return menusInsideWindow ? options.withParentComponent(this) : options;
}

void OrlixAudioProcessorEditor::showTooltipFor(juce::Component& control)
{
    auto* client = dynamic_cast<juce::TooltipClient*>(&control);
    if (client == nullptr)
        return;
    const auto where = control.localPointToGlobal(control.getLocalBounds().getCentre());
    tooltipWindow.displayTip(where, client->getTooltip());
}

void OrlixAudioProcessorEditor::handleSourceMenuResult(int result)
{
    sourceMenuOpen = false;
    sourceButton.getProperties().set(props::open, false);
    sourceButton.repaint();
    if (result <= 0)
        return;
    const int source = std::min((result - 1) / 16, numSources - 1);
    const int nuance = clampNuance(source, (result - 1) % 16);
    processor.beginUndoGesture();
    setParameterIfDifferent(pSource, (float)source);
    setParameterIfDifferent(pNuance, (float)nuance);
    processor.commitUndoGesture();
    closeUndoGesture(processor);
    refreshSelectorText();
}

void OrlixAudioProcessorEditor::setParameterIfDifferent(ParameterIndex index, float value)
{
    auto& parameter = parameterOf(processor, index);
    const float normalised =
        parameter.convertTo0to1(parameter.getNormalisableRange().snapToLegalValue(value));
    if (std::abs(normalised - parameter.getValue()) <= 0.000001f)
        return;
    parameter.beginChangeGesture();
    parameter.setValueNotifyingHost(normalised);
    parameter.endChangeGesture();
}

void OrlixAudioProcessorEditor::openFeedbackDialog()
{
    if (feedbackOverlay != nullptr)
        return;

    auto dialog = std::make_unique<OrlixFeedbackDialog>();
    dialog->sender =
        [](const juce::String& category, const juce::String& message, orlixfeedback::Completion completion)
    { orlixfeedback::sendFeedback(category, message, std::move(completion)); };

    // The dialog asks to go from inside its own callbacks, so it is removed
    // later from the message loop, and only if that very dialog is still open.
    SafePointer<OrlixAudioProcessorEditor> editor(this);
    SafePointer<juce::Component> opened(dialog.get());
    dialog->onClose = [editor, opened]
    {
        juce::MessageManager::callAsync(
            [editor, opened]
            {
                if (editor != nullptr && opened != nullptr &&
                    editor->feedbackOverlay.get() == opened.getComponent())
                    editor->closeFeedbackDialog();
            });
    };

    feedbackOverlay = std::move(dialog);
    // Shown last: becoming visible hands the focus to the message box, which
    // bringing the dialog to the front beforehand would otherwise take over.
    rootContainer.addChildComponent(*feedbackOverlay);
    feedbackOverlay->setBounds(0, 0, rootContainer.getWidth(), rootContainer.getHeight());
    feedbackOverlay->toFront(true);
    feedbackOverlay->setVisible(true);
}

void OrlixAudioProcessorEditor::closeFeedbackDialog()
{
    if (feedbackOverlay != nullptr)
    {
        rootContainer.removeChildComponent(feedbackOverlay.get());
        feedbackOverlay.reset();
    }
}
