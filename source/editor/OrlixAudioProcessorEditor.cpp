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

// A layer is made only as large as what it holds, its children keeping their places in
// the window: the framework dims a layer by compositing a picture of all of it that a
// repaint touches, so a window-sized layer would add a composite to every repaint.
void fitToChildren(juce::Component& layer)
{
    juce::Rectangle<int> area;
    for (const auto* child : layer.getChildren())
        area = area.isEmpty() ? child->getBounds() : area.getUnion(child->getBounds());
    for (auto* child : layer.getChildren())
        child->setTopLeftPosition(child->getPosition() - area.getPosition());
    layer.setBounds(area + layer.getPosition());
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
        processor.learn().setLearnRequested(!learnActive());
        refreshLearnButton();
        updateDisplay();
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
    characterChips->autoPickIndex = processor.state().baseCharacter(); // right from the first paint

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
        KnobUndoBridge::closeOpenBurst();
        processor.undoHistory().undo();
        refreshUndoButtons();
    };
    redoButton.onClick = [this]
    {
        KnobUndoBridge::closeOpenBurst();
        processor.undoHistory().redo();
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
    processor.metering().takeInputPeak();
    processor.metering().takeOutputPeak();
    processor.metering().takeGainReduction();

    // Any press in the window ends a burst of wheel or key steps on a knob, so the next
    // edit makes an undo entry of its own.
    addMouseListener(&burstEnder, true);

    setWantsKeyboardFocus(true);
    refreshSelectorText();
    refreshSectionState();

    setResizable(true, true);
    setResizeLimits(720, 405, 1280, 720);
    if (auto* sizeLimits = getConstrainer())
        sizeLimits->setFixedAspectRatio(16.0 / 9.0);
    widthAtOpen = readEditorWidth();
    setSize(widthAtOpen, (widthAtOpen * 540 + 480) / 960);
    shown = currentDisplay();
    startTimer(33);
}

OrlixAudioProcessorEditor::~OrlixAudioProcessorEditor()
{
    removeMouseListener(&burstEnder);
    stopTimer();
    processor.undoHistory().closeAllGestures();
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
    return processor.learn().isLearnRequested() || processor.learn().isLearnListening();
}

//==============================================================================
// On Windows the window draws with the framework's software renderer, as the pictures our tests
// check are drawn; its Direct2D renderer draws the same window differently (and wrongly under
// Wine). Chosen whenever the window gets a new native peer.
void OrlixAudioProcessorEditor::parentHierarchyChanged()
{
#if JUCE_WINDOWS
    constexpr int softwareRenderer = 0;
    if (auto* peer = getPeer(); peer != nullptr && peer->getCurrentRenderingEngine() != softwareRenderer)
        peer->setCurrentRenderingEngine(softwareRenderer);
#endif
}

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
    fitToChildren(driveContainer);
    fitToChildren(controlsContainer);
    targetMarker.ringCentre = layout.meterCentre - controlsContainer.getPosition();

    // A live resize sends a new size at every step: until it settles the window shows its
    // last pictures stretched instead of rebuilding them each time.
    if (staticLayers.isValid() &&
        (staticLayers.key.width != getWidth() || staticLayers.key.height != getHeight()))
    {
        resizeSettling = true;
        lastResizeMs = now();
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
    if (const int pick = processor.state().baseCharacter(); pick != characterChips->autoPickIndex)
    {
        characterChips->autoPickIndex = pick;
        characterChips->repaint();
    }
    meters.advance(now(), processor.metering().takeInputPeak(), processor.metering().takeOutputPeak(),
                   processor.metering().takeGainReduction());
    clipInShown = processor.metering().inputClipped();
    clipOutShown = processor.metering().outputClipped();
    refreshLearnStatus();
    settleSize();
    updateDisplay();
    KnobUndoBridge::closeOpenBurstIfQuiet(juce::Time::currentTimeMillis());
}

void OrlixAudioProcessorEditor::settleSize()
{
    if (resizeSettling && now() - lastResizeMs >= 150.0)
    {
        resizeSettling = false;
        repaint();
    }
}

DisplayState OrlixAudioProcessorEditor::currentDisplay() const
{
    DisplayState d;
    d.learning = learnButton.getToggleState();
    if (d.learning)
    {
        d.arcFraction = learnArcFraction(learnProgressShown);
        d.percent = learnPercent(learnProgressShown);
        d.status = statusText;
        d.statusWarning = statusIsWarning;
    }
    else
    {
        d.arcFraction = dialArcFraction(meters.grSmoothed);
        d.number = gainReductionText(meters.grHeld);
        d.caption = sourceButton.getButtonText().replace("  ", " ");
        d.targetShown = processor.learn().target().available;
        if (d.targetShown)
        {
            d.target = targetText(processor.learn().target().shownDb);
            d.targetEdited = processor.learn().target().edited;
        }
    }
    const double time = now();
    d.history = {&processor.metering().history(), processor.metering().history().writeCount(), time,
                 processor.metering().history().resetMs()};
    d.historyGap = historyGap(time, d.history.resetMs);
    d.rangeDb = historyRangeDb;
    d.thresholdDb = processor.state().rawParameter(pThreshold);
    d.historyArea = historyGraphArea(layout, d.history, d.rangeDb, d.thresholdDb);
    d.badgeOpacity = rangeBadgeOpacity(time - rangeChangedAt);
    d.inFraction = levelBarFraction(meters.inputPeakShown, layout.inBarArea.getHeight());
    d.outFraction = levelBarFraction(meters.outputPeakShown, layout.outBarArea.getHeight());
    d.inClip = clipInShown;
    d.outClip = clipOutShown;
    return d;
}

// Repaints only the parts of the displays that now look different. The parts are gathered
// into one rectangle each for the dial, the graph and the bars: every rectangle of a repaint
// is one more cut for each shape the repaint fills.
void OrlixAudioProcessorEditor::updateDisplay()
{
    auto next = currentDisplay();
    const auto& was = shown;
    juce::Rectangle<float> dial, graph, bars;
    auto changed = [](juce::Rectangle<float>& group, juce::Rectangle<float> before,
                      juce::Rectangle<float> after) { group = group.getUnion(before).getUnion(after); };

    if (next.learning != was.learning)
        dial = layout.meterArea.toFloat();
    else
    {
        if (!juce::exactlyEqual(next.arcFraction, was.arcFraction))
            changed(dial, dialArcArea(layout, was.arcFraction), dialArcArea(layout, next.arcFraction));
        if (next.learning)
        {
            if (next.percent != was.percent)
                changed(dial, learnPercentArea(was.percent), learnPercentArea(next.percent));
            if (next.status != was.status || next.statusWarning != was.statusWarning)
                changed(dial, statusArea(was.status), statusArea(next.status));
        }
        else
        {
            if (next.number != was.number)
                changed(dial, gainReductionNumberArea(was.number), gainReductionNumberArea(next.number));
            if (next.targetShown != was.targetShown || next.target != was.target ||
                next.targetEdited != was.targetEdited)
                changed(dial, was.targetShown ? targetReadoutArea(was.target) : juce::Rectangle<float>(),
                        next.targetShown ? targetReadoutArea(next.target) : juce::Rectangle<float>());
            if (next.caption != was.caption)
                changed(dial, statusArea(was.caption), statusArea(next.caption));
        }
    }
    if (!next.sameHistory(was))
        changed(graph, was.historyArea, next.historyArea);
    if (!juce::exactlyEqual(next.badgeOpacity, was.badgeOpacity) ||
        (next.badgeOpacity > 0.0f && next.rangeDb != was.rangeDb))
        changed(graph, layout.rangeBadgeArea.toFloat().expanded(1.0f), {});
    if (!juce::exactlyEqual(next.inFraction, was.inFraction) || next.inClip != was.inClip)
        changed(bars, levelBarArea(layout.inBarArea, layout.inClipArea), {});
    if (!juce::exactlyEqual(next.outFraction, was.outFraction) || next.outClip != was.outClip)
        changed(bars, levelBarArea(layout.outBarArea, layout.outClipArea), {});
    for (const auto& area : {dial, graph, bars})
        repaintDesignArea(area);
    shown = std::move(next);
}

juce::Rectangle<float> OrlixAudioProcessorEditor::statusArea(const juce::String& text) const
{
    return wrappedCentredArea(layout.captionArea, (float)layout.captionBaseline, (float)layout.captionStep,
                              text);
}

void OrlixAudioProcessorEditor::repaintDesignArea(juce::Rectangle<int> designArea)
{
    repaintDesignArea(designArea.toFloat());
}

void OrlixAudioProcessorEditor::repaintDesignArea(juce::Rectangle<float> designArea)
{
    if (designArea.isEmpty())
        return;
    const auto area = designArea.transformedBy(designTransform).getSmallestIntegerContainer();
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
    const bool bypassed = processor.state().rawParameter(pBypass) > 0.5f;
    const bool driveOn = processor.state().rawParameter(pDriveOn) > 0.5f;
    const bool changed = bypassed != bypassShown || driveOn != driveShown;
    bypassShown = bypassed;
    driveShown = driveOn;
    controlsContainer.setAlpha(bypassed ? 0.4f : 1.0f);
    driveContainer.setAlpha(driveOn ? 1.0f : 0.5f);

    const bool releaseEnabled = processor.state().rawParameter(pAutoRelease) <= 0.5f;
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
    const bool idle = !processor.learn().isLearnRequested() && !processor.learn().isLearnListening() &&
                      !processor.learn().isDriveEqPending() && processor.undoHistory().gestureDepth() <= 0;
    const bool canUndo = idle && processor.undoHistory().canUndo();
    const bool canRedo = idle && processor.undoHistory().canRedo();
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
    const int s = (int)std::lround(processor.state().rawParameter(pSource));
    const int n = clampNuance(s, (int)std::lround(processor.state().rawParameter(pNuance)));
    if (s == shownSource && n == shownNuance)
        return;
    shownSource = s;
    shownNuance = n;
    sourceButton.setButtonText(selectorText(s, n));
}

void OrlixAudioProcessorEditor::refreshLearnStatus()
{
    learnProgressShown = processor.learn().status().progress;
    lowSignalShown = processor.learn().status().signalLow;
    secondsListenedShown = processor.learn().status().secondsAnalysed;
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
    // The key code, not the character: with Ctrl held, Linux delivers control characters
    // (0x1A for Z) and a Windows host may deliver none. Letter codes come in either case.
    const int code = key.getKeyCode();
    const auto letter =
        code > 0 && code < 128 ? juce::CharacterFunctions::toUpperCase((juce::juce_wchar)code) : 0;
    const bool undo = letter == 'Z' && !mods.isShiftDown();
    const bool redo = (letter == 'Z' && mods.isShiftDown()) || (letter == 'Y' && !mods.isShiftDown());
    if (!undo && !redo)
        return false;
    KnobUndoBridge::closeOpenBurst();
    const bool result = undo ? processor.undoHistory().undo() : processor.undoHistory().redo();
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
        processor.metering().clearClipFlags();
        clipInShown = clipOutShown = false;
        updateDisplay();
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
    updateDisplay();
}

//==============================================================================
namespace
{
// Paints one part of the window within its own area (in the graphics' present coordinates):
// not at all when the repaint does not reach it, and otherwise clipped to it, so that each
// shape it fills is cut to that area instead of to the whole repaint.
template <typename Draw> void paintPart(juce::Graphics& g, juce::Rectangle<float> area, Draw&& draw)
{
    if (area.isEmpty())
        return;
    const auto bounds = area.getSmallestIntegerContainer().expanded(1);
    if (!g.clipRegionIntersects(bounds))
        return;
    juce::Graphics::ScopedSaveState state(g);
    if (g.reduceClipRegion(bounds))
        draw();
}
} // namespace

void OrlixAudioProcessorEditor::paint(juce::Graphics& g)
{
    const auto key = staticKey(g.getInternalContext().getPhysicalPixelScaleFactor());
    if (!staticLayers.isValid() || !staticLayers.key.sameLook(key) ||
        (!staticLayers.key.sameSize(key) && !resizeSettling))
        renderStaticLayers(key);
    if (!staticLayers.key.sameSize(key))
        g.fillAll(Palette::background); // around a stretched picture of another shape
    numberFolded = foldNumberIntoBase(shown);
    staticLayers.draw(g, numberFolded ? staticLayers.baseWithNumber : staticLayers.base, key);
    if (bypassShown)
    {
        g.beginTransparencyLayer(0.4f);
        staticLayers.draw(g, staticLayers.overlay, key);
    }
    g.addTransform(designTransform);
    paintValues(g);
    if (bypassShown)
        g.endTransparencyLayer();
}

StaticLayers::Key OrlixAudioProcessorEditor::staticKey(float displayScale) const
{
    return {getWidth(),
            getHeight(),
            displayScale,
            designTransform,
            bypassShown,
            driveShown,
            !releaseKnob.isEnabled()};
}

void OrlixAudioProcessorEditor::renderStaticLayers(const StaticLayers::Key& key)
{
    staticLayers.key = key;
    staticLayers.base = staticLayers.overlay = staticLayers.baseWithNumber = {};
    staticLayers.foldedNumber = {};
    staticLayers.foldedArea = {};
    const int w = juce::roundToInt((float)key.width * key.scale),
              h = juce::roundToInt((float)key.height * key.scale);
    if (w < 1 || h < 1)
        return;
    // Painted as the window itself would be, on the same pixel grid, so every pixel is the
    // one a direct paint would give. Software images, as the window's renderer is: the
    // framework's native images on Windows are Direct2D bitmaps.
    auto picture = [&](juce::Image::PixelFormat format, auto paintParts)
    {
        juce::Image image(format, w, h, true, juce::SoftwareImageType());
        juce::Graphics g(image);
        g.addTransform(juce::AffineTransform::scale(key.scale));
        paintParts(g);
        return image;
    };
    // The base is opaque: kept without alpha, drawing it back is a copy of each pixel.
    staticLayers.base = picture(juce::Image::RGB,
                                [&](juce::Graphics& g)
                                {
                                    paintBackdrop(g);
                                    if (!key.bypass)
                                        paintStaticParts(g);
                                });
    if (key.bypass)
        staticLayers.overlay = picture(juce::Image::ARGB,
                                       [&](juce::Graphics& g)
                                       {
                                           g.addTransform(designTransform);
                                           paintStaticParts(g);
                                       });
}

// Draws the dial's number into a copy of the base when nothing else is drawn where it goes:
// on the copy's own pixel grid, so its pixels are those a direct paint gives. Returns whether
// the window can show that copy (not while bypassed, learning or stretched by a resize).
bool OrlixAudioProcessorEditor::foldNumberIntoBase(const DisplayState& d)
{
    const auto& key = staticLayers.key;
    if (key.bypass || d.learning || !staticLayers.isValid() || key.width != getWidth() ||
        key.height != getHeight())
        return false;
    const auto designArea = gainReductionNumberArea(d.number);
    if (!clearOfArcAndScale(layout, designArea))
        return false;
    auto& picture = staticLayers.baseWithNumber;
    if (!picture.isValid())
    {
        picture = staticLayers.base.createCopy();
        staticLayers.foldedNumber = {};
        staticLayers.foldedArea = {};
    }
    if (staticLayers.foldedNumber == d.number && !staticLayers.foldedArea.isEmpty())
        return true;
    const auto toDisplay = designTransform.scaled(key.scale);
    const auto area = designArea.transformedBy(toDisplay).getSmallestIntegerContainer().expanded(1);
    juce::Graphics g(picture);
    g.reduceClipRegion(area.getUnion(staticLayers.foldedArea));
    g.drawImageAt(staticLayers.base, 0, 0); // the previous number gone
    g.addTransform(toDisplay);
    drawGainReductionNumber(g, d.number);
    staticLayers.foldedNumber = d.number;
    staticLayers.foldedArea = area;
    return true;
}

// The lit background and the header; leaves the graphics in design units.
void OrlixAudioProcessorEditor::paintBackdrop(juce::Graphics& g)
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
}

// Cards, dial body, headings, captions and the dial's track: everything below the values
// that only the section state changes (design units).
void OrlixAudioProcessorEditor::paintStaticParts(juce::Graphics& g)
{
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
        drawDialTrack(g, layout);
    // The bottom card and the bars' labels lie apart from the dial's values, so drawing
    // them before the values gives the same pixels as drawing them after.
    if (!layout.bottomPanel.isEmpty())
    {
        drawGlassCard(g, layout.bottomPanel.toFloat(), 22.0f);
        drawLevelBarLabel(g, layout.inLabel, "IN");
        drawLevelBarLabel(g, layout.outLabel, "OUT");
    }
}

// The values over the static layers, each only where the clip asks for it (design units).
void OrlixAudioProcessorEditor::paintValues(juce::Graphics& g)
{
    const auto& d = shown;
    if (!layout.leftPanel.isEmpty() && !d.learning)
    {
        paintPart(g, dialArcArea(layout, d.arcFraction), [&] { drawDialArc(g, layout, d.arcFraction); });
        paintPart(g, dialScaleArea(layout), [&] { drawDialScale(g, layout); });
        if (!numberFolded)
            paintPart(g, gainReductionNumberArea(d.number), [&] { drawGainReductionNumber(g, d.number); });
        if (d.targetShown)
            paintPart(g, targetReadoutArea(d.target),
                      [&] { drawTargetReadout(g, d.target, d.targetEdited); });
        paintPart(g, statusArea(d.caption),
                  [&]
                  {
                      drawWrappedCentred(g, layout.captionArea, (float)layout.captionBaseline,
                                         (float)layout.captionStep, d.caption, juce::Colour(0x85FFFFFF));
                  });
    }
    if (!layout.bottomPanel.isEmpty())
    {
        paintPart(g, d.historyArea,
                  [&] { drawHistoryGraph(g, layout, d.history, d.rangeDb, d.thresholdDb); });
        if (d.badgeOpacity > 0.0f)
            paintPart(g, layout.rangeBadgeArea.toFloat().expanded(1.0f),
                      [&] { drawRangeBadge(g, layout, d.rangeDb, d.badgeOpacity); });
        paintPart(g, levelBarArea(layout.inBarArea, layout.inClipArea),
                  [&] { drawLevelBar(g, layout.inBarArea, layout.inClipArea, d.inFraction, d.inClip); });
        paintPart(g, levelBarArea(layout.outBarArea, layout.outClipArea),
                  [&] { drawLevelBar(g, layout.outBarArea, layout.outClipArea, d.outFraction, d.outClip); });
    }
}

void OrlixAudioProcessorEditor::paintOverChildren(juce::Graphics& g)
{
    const auto& d = shown;
    if (!d.learning || layout.leftPanel.isEmpty())
        return;
    g.addTransform(designTransform);
    paintPart(g, dialArcArea(layout, d.arcFraction), [&] { drawDialArc(g, layout, d.arcFraction); });
    paintPart(g, learnPercentArea(d.percent), [&] { drawLearnPercent(g, d.percent); });
    if (d.status.isNotEmpty())
        paintPart(g, statusArea(d.status),
                  [&]
                  {
                      drawWrappedCentred(g, layout.captionArea, (float)layout.captionBaseline,
                                         (float)layout.captionStep, d.status,
                                         d.statusWarning ? Palette::amber : juce::Colour(0xBDFFFFFF));
                  });
}

//==============================================================================
void OrlixAudioProcessorEditor::showSourceMenu()
{
    const int s = (int)std::lround(processor.state().rawParameter(pSource));
    const int n = clampNuance(s, (int)std::lround(processor.state().rawParameter(pNuance)));
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
    processor.undoHistory().beginUndoGesture();
    setParameterIfDifferent(pSource, (float)source);
    setParameterIfDifferent(pNuance, (float)nuance);
    processor.undoHistory().commitUndoGesture();
    closeUndoGesture(processor);
    refreshSelectorText();
    updateDisplay();
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
    showCornerResizer(false);
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
        showCornerResizer(true);
    }
}

// The framework's corner resizer sits above every child; over the feedback form it is
// hidden and lets clicks through. (The framework shows it again after each resize, so it is
// made transparent rather than invisible.)
void OrlixAudioProcessorEditor::showCornerResizer(bool visible)
{
    for (auto* child : getChildren())
        if (auto* corner = dynamic_cast<juce::ResizableCornerComponent*>(child))
        {
            corner->setAlpha(visible ? 1.0f : 0.0f);
            corner->setEnabled(visible);
            corner->setInterceptsMouseClicks(visible, visible);
        }
}

juce::Component* OrlixAudioProcessorEditor::getCornerResizer() const
{
    for (auto* child : getChildren())
        if (auto* corner = dynamic_cast<juce::ResizableCornerComponent*>(child))
            return corner;
    return nullptr;
}
