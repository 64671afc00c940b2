#pragma once

#include "editor/EditorLayout.h"
#include "processor/MeterHistory.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

namespace orlix
{

// The display ballistics of the dial and the level bars.
struct MeterState
{
    float inputPeakShown = 0.0f, outputPeakShown = 0.0f;
    float grSmoothed = 0.0f;
    std::array<float, 8> grWindow{};
    int grWindowIndex = 0;
    float grCurrentMax = 0.0f;
    float grHeld = 0.0f;
    bool firstSlice = true;
    double sliceTime = 0.125;
    double lastTick = 0.0;

    // One editor tick with the values taken from the processor.
    void advance(double nowMs, float inputPeak, float outputPeak, float gainReduction);
};

// What the history graph reads of the processor, taken once per paint.
struct HistorySnapshot
{
    const MeterHistory* history = nullptr;
    int writeCount = 0;
    double nowMs = 0.0;
    double resetMs = -1.0;
};

void drawDialBody(juce::Graphics& g, const EditorLayout& layout);
void drawDialTrack(juce::Graphics& g, const EditorLayout& layout);

// The parts of the dial's values, each with the area it paints (design units).
// A fraction of 0 draws no arc; otherwise the arc runs to that fraction of its sweep.
void drawDialArc(juce::Graphics& g, const EditorLayout& layout, float fraction);
juce::Rectangle<float> dialArcArea(const EditorLayout& layout, float fraction);
void drawDialScale(juce::Graphics& g, const EditorLayout& layout);
juce::Rectangle<float> dialScaleArea(const EditorLayout& layout);
void drawGainReductionNumber(juce::Graphics& g, const juce::String& number);
juce::Rectangle<float> gainReductionNumberArea(const juce::String& number);
// Whether an area of the dial lies clear of every arc the dial can draw and of its scale
// numbers: what is drawn there lands on the dial's static face alone.
bool clearOfArcAndScale(const EditorLayout& layout, juce::Rectangle<float> area);
void drawTargetReadout(juce::Graphics& g, const juce::String& value, bool edited);
juce::Rectangle<float> targetReadoutArea(const juce::String& value);

// The gain reduction the dial's number shows, and the target readout's value.
juce::String gainReductionText(float heldDb);
juce::String targetText(float targetDb);
// The arc's fraction for a smoothed gain reduction: 0 when the arc is not drawn.
float dialArcFraction(float smoothedDb);

void drawHistoryGraph(juce::Graphics& g, const EditorLayout& layout, const HistorySnapshot& snapshot,
                      int rangeDb, float thresholdDb);
// Everything the history graph paints (design units).
juce::Rectangle<float> historyGraphArea(const EditorLayout& layout, const HistorySnapshot& snapshot,
                                        int rangeDb, float thresholdDb);
int historyFrames(const HistorySnapshot& snapshot);
// The ink of the threshold label (design units): 6 units above its line, or 6 below when the
// gain-reduction line would run through it above (a threshold near 0 dB).
juce::Rectangle<float> thresholdLabelArea(const EditorLayout& layout, const HistorySnapshot& snapshot,
                                          int rangeDb, float thresholdDb);
void drawRangeBadge(juce::Graphics& g, const EditorLayout& layout, int rangeDb, float opacity);
// The badge's opacity at an age; 0 when it is not drawn.
float rangeBadgeOpacity(double ageMs);

// A level bar's fill as a fraction of its height (0 when it draws none) and the bar itself.
float levelBarFraction(float peak, int barHeight);
void drawLevelBar(juce::Graphics& g, juce::Rectangle<int> bar, juce::Rectangle<int> clip, float fraction,
                  bool clipLit);
juce::Rectangle<float> levelBarArea(juce::Rectangle<int> bar, juce::Rectangle<int> clip);
void drawLevelBarLabel(juce::Graphics& g, juce::Point<int> label, const juce::String& text);

// The history range after one wheel step (60, 36, 24 dB; away from the user zooms in).
int steppedHistoryRange(int currentRange, bool awayFromUser);

// Frames between the newest written frame and now that a host reset left empty.
int historyGap(double nowMs, double resetMs);

} // namespace orlix
