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
void drawDialValues(juce::Graphics& g, const EditorLayout& layout, const MeterState& meters,
                    bool targetAvailable, float targetDb, bool targetEdited);
void drawHistoryGraph(juce::Graphics& g, const EditorLayout& layout, const HistorySnapshot& snapshot,
                      int rangeDb, float thresholdDb);
void drawRangeBadge(juce::Graphics& g, const EditorLayout& layout, int rangeDb, double ageMs);
void drawLevelBar(juce::Graphics& g, juce::Rectangle<int> bar, juce::Rectangle<int> clip,
                  juce::Point<int> label, float peak, bool clipLit, const juce::String& text);

// The history range after one wheel step (60, 36, 24 dB; away from the user zooms in).
int steppedHistoryRange(int currentRange, bool awayFromUser);

// Frames between the newest written frame and now that a host reset left empty.
int historyGap(double nowMs, double resetMs);

} // namespace orlix
