#pragma once

#include "editor/ChoiceChips.h"
#include "editor/EditorLayout.h"
#include "editor/MeterDisplays.h"
#include "editor/OrlixKnob.h"
#include "editor/OrlixLookAndFeel.h"
#include "editor/TargetMarker.h"
#include "editor/WindowLayers.h"
#include "processor/ParameterLayout.h"

#include <juce_audio_processors/juce_audio_processors.h>

class OrlixAudioProcessor;

namespace orlix
{
// Keyboard traversal that never picks a default child inside these containers.
class NoDefaultChild : public juce::KeyboardFocusTraverser
{
public:
    juce::Component* getDefaultComponent(juce::Component* parent) override;
};

// A layer of the window that draws nothing and lets clicks on its empty area fall through.
class FocusPassthroughContainer : public juce::Component
{
public:
    std::unique_ptr<juce::ComponentTraverser> createKeyboardFocusTraverser() override
    {
        return std::make_unique<NoDefaultChild>();
    }
};
} // namespace orlix

class OrlixAudioProcessorEditor : public juce::AudioProcessorEditor, private juce::Timer
{
public:
    explicit OrlixAudioProcessorEditor(OrlixAudioProcessor&);
    ~OrlixAudioProcessorEditor() override;

    void mouseDown(const juce::MouseEvent&) override;
    void mouseWheelMove(const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    void paint(juce::Graphics&) override;
    void paintOverChildren(juce::Graphics&) override;
    bool keyPressed(const juce::KeyPress&) override;
    void resized() override;
    void parentHierarchyChanged() override;

    // One timer tick, for tests and snapshots that run without a message loop.
    void tick() { timerCallback(); }
    // The millisecond clock of the meters, the history graph and the range badge. Pictures
    // and tests run it on audio time so that what they show does not depend on machine speed.
    void setClock(std::function<double()> millisecondClock) { clock = std::move(millisecondClock); }
    // The Learn percentage the dial shows while Learn runs.
    int getLearnPercentShown() const;

    // Opens the feedback form over the whole window unless one is open already.
    void openFeedbackDialog();
    void closeFeedbackDialog();
    juce::Component* getFeedbackOverlay() const { return feedbackOverlay.get(); }
    juce::Component* getCornerResizer() const;

    // Pictures of the window: menus open inside it instead of as their own windows,
    // and a tooltip can be shown for a control at once.
    void setMenusInsideWindow(bool inside) { menusInsideWindow = inside; }
    void showTooltipFor(juce::Component& control);
    juce::PopupMenu::Options menuOptionsFor(juce::Component& target);

    void showHelpMenu();
    void showSourceMenu();
    void handleHelpMenuResult(int result);
    void handleSourceMenuResult(int result);

    const orlix::EditorLayout& getLayout() const { return layout; }
    float getDesignScale() const { return designScale; }
    juce::AffineTransform getDesignTransform() const { return designTransform; }
    int getHistoryRangeDb() const { return historyRangeDb; }
    const orlix::MeterState& getMeters() const { return meters; }
    const juce::String& getStatusText() const { return statusText; }
    bool isStatusWarning() const { return statusIsWarning; }
    const juce::Image& getBackgroundCache() const { return backgroundCache; }

    OrlixAudioProcessor& processor;

private:
    void timerCallback() override;
    void refreshSectionState();
    void refreshUndoButtons();
    void refreshLearnButton();
    void refreshSelectorText();
    void refreshLearnStatus();
    void settleSize();
    orlix::DisplayState currentDisplay() const;
    void updateDisplay();
    orlix::StaticLayers::Key staticKey(float displayScale) const;
    void renderStaticLayers(const orlix::StaticLayers::Key& key);
    bool foldNumberIntoBase(const orlix::DisplayState& d);
    void paintBackdrop(juce::Graphics& g);
    void paintStaticParts(juce::Graphics& g);
    void paintValues(juce::Graphics& g);
    void showCornerResizer(bool visible);
    juce::Rectangle<float> statusArea(const juce::String& text) const;
    void repaintDesignArea(juce::Rectangle<int> designArea);
    void repaintDesignArea(juce::Rectangle<float> designArea);
    juce::Point<int> toDesign(juce::Point<float> editorPoint) const;
    void setParameterIfDifferent(orlix::ParameterIndex index, float value);
    bool learnActive() const;
    double now() const { return clock ? clock() : juce::Time::getMillisecondCounterHiRes(); }

    orlix::OrlixLookAndFeel lookAndFeel;
    orlix::FocusPassthroughContainer rootContainer, controlsContainer, driveContainer;
    float designScale = 1.0f;
    juce::AffineTransform designTransform;
    int widthAtOpen = 960;

    orlix::OrlixKnob thresholdKnob, ratioKnob, attackKnob, releaseKnob, kneeKnob, mixKnob, outputKnob,
        driveAmountKnob;
    juce::ToggleButton driveSwitch{"DRIVE"};
    std::unique_ptr<orlix::UserButtonAttachment> driveSwitchAttachment;
    std::unique_ptr<orlix::ChoiceChips> driveTypeChips;
    juce::ToggleButton autoGainToggle{"AUTO GAIN"};
    std::unique_ptr<orlix::UserButtonAttachment> autoGainAttachment;
    juce::ToggleButton autoReleaseToggle{"AUTO"};
    std::unique_ptr<orlix::UserButtonAttachment> autoReleaseAttachment;
    juce::TextButton learnButton{"LEARN"};
    orlix::TargetMarker targetMarker;
    juce::TextButton helpButton;
    std::unique_ptr<juce::Component> feedbackOverlay;
    juce::TextButton undoButton, redoButton;
    juce::TextButton sourceButton;
    std::unique_ptr<orlix::ChoiceChips> characterChips;
    juce::TooltipWindow tooltipWindow{this, 600};

    orlix::MeterState meters;
    bool clipInShown = false, clipOutShown = false;
    bool bypassShown = false, driveShown = false;
    bool releaseEnabledShown = true;
    bool sourceMenuOpen = false;
    int shownSource = -1, shownNuance = -1;
    orlix::EditorLayout layout;
    juce::Image backgroundCache;
    orlix::StaticLayers staticLayers;
    orlix::DisplayState shown;
    bool resizeSettling = false, numberFolded = false;
    double lastResizeMs = 0.0;
    int historyRangeDb = 60;
    float wheelAccumulator = 0.0f;
    double rangeChangedAt = -1.0e9;
    float learnProgressShown = 0.0f, secondsListenedShown = 0.0f;
    bool lowSignalShown = false;
    juce::String statusText;
    bool statusIsWarning = false;
    bool menusInsideWindow = false;
    std::function<double()> clock;

    struct BurstEnder : juce::MouseListener
    {
        void mouseDown(const juce::MouseEvent&) override { orlix::KnobUndoBridge::closeOpenBurst(); }
    } burstEnder;

    std::array<orlix::OrlixKnob*, 8> knobs{&thresholdKnob, &ratioKnob, &attackKnob, &releaseKnob,
                                           &kneeKnob,      &mixKnob,   &outputKnob, &driveAmountKnob};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(OrlixAudioProcessorEditor)
};
