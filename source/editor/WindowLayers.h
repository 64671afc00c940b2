#pragma once

#include "editor/MeterDisplays.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace orlix
{

// What the dial, the Learn overlay and the bottom card show at one tick. Painting reads
// only this, so equal parts paint equal pixels and a tick repaints only the parts that differ.
struct DisplayState
{
    bool learning = false;
    float arcFraction = 0.0f; // gain reduction, or Learn's progress while learning; 0: no arc
    // Not learning:
    juce::String number, caption;
    bool targetShown = false, targetEdited = false;
    juce::String target;
    // Learning:
    int percent = 0;
    juce::String status;
    bool statusWarning = false;
    // The bottom card:
    HistorySnapshot history;
    int historyGap = 0, rangeDb = 60;
    juce::Rectangle<float> historyArea; // all the graph paints
    float thresholdDb = 0.0f, badgeOpacity = 0.0f;
    float inFraction = 0.0f, outFraction = 0.0f;
    bool inClip = false, outClip = false;

    bool sameHistory(const DisplayState& o) const
    {
        return history.writeCount == o.history.writeCount && historyGap == o.historyGap &&
               rangeDb == o.rangeDb && juce::exactlyEqual(thresholdDb, o.thresholdDb);
    }
};

// The parts of the window that stay put between ticks, as pictures at the display's pixel
// size, drawn back pixel for pixel under what changes.
struct StaticLayers
{
    struct Key
    {
        int width = 0, height = 0; // editor pixels
        float scale = 0.0f;        // display pixels per editor pixel
        juce::AffineTransform design;
        bool bypass = false, drive = false, releaseDimmed = false;

        bool sameSize(const Key& o) const
        {
            return width == o.width && height == o.height && juce::exactlyEqual(scale, o.scale);
        }
        bool sameLook(const Key& o) const
        {
            return bypass == o.bypass && drive == o.drive && releaseDimmed == o.releaseDimmed;
        }
    };

    // The backdrop and header, and unless bypassed also the cards, dial and captions; while
    // bypassed those are the overlay, which the window composites at 40 % with the values.
    juce::Image base, overlay;
    Key key;

    // The base with the dial's number drawn in: the number changes a few times a second at
    // most, so its glow is drawn once per change instead of at every repaint of the dial.
    juce::Image baseWithNumber;
    juce::String foldedNumber;
    juce::Rectangle<int> foldedArea; // display pixels

    bool isValid() const { return base.isValid(); }

    // Draws a picture on the display's pixels, or, while the window's size settles, stretched
    // from the size it was made for to the window's present one.
    void draw(juce::Graphics& g, const juce::Image& picture, const Key& present) const
    {
        if (!picture.isValid())
            return;
        auto toPresent = juce::AffineTransform::scale(1.0f / key.scale);
        if (!key.sameSize(present))
            toPresent = toPresent.followedBy(key.design.inverted()).followedBy(present.design);
        g.drawImageTransformed(picture, toPresent);
    }
};

} // namespace orlix
