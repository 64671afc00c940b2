// The window repaints only what changed: these tests drive it through a stand-in window
// system that paints exactly the areas asked for, as a real one does.
#include "support/EditorFixture.h"
#include "support/HostSimulation.h"
#include "support/OffscreenWindow.h"
#include "support/Programme.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
// The largest difference of any colour channel between two pictures of the same size.
int largestDifference(const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds())
        return 256;
    const juce::Image::BitmapData da(a, juce::Image::BitmapData::readOnly),
        db(b, juce::Image::BitmapData::readOnly);
    int largest = 0;
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
        {
            const auto ca = da.getPixelColour(x, y), cb = db.getPixelColour(x, y);
            largest =
                std::max({largest, std::abs(ca.getRed() - cb.getRed()),
                          std::abs(ca.getGreen() - cb.getGreen()), std::abs(ca.getBlue() - cb.getBlue())});
        }
    return largest;
}

// An open window with a clock of its own, fed by a host playing programme material.
struct LiveWindow
{
    explicit LiveWindow(float displayScale)
    {
        f.editor->setClock([this] { return clockMs; });
        window = std::make_unique<testsupport::OffscreenWindow>(*f.editor);
        window->setDisplayScale(displayScale);
        window->paintPendingRepaints();
    }

    // One 33 ms tick, with or without audio played meanwhile; returns the pixels repainted.
    juce::int64 tick(bool playing)
    {
        tickWithoutPainting(playing);
        return window->paintPendingRepaints();
    }

    void tickWithoutPainting(bool playing)
    {
        if (playing)
        {
            juce::AudioBuffer<float> block(2, 528);
            juce::MidiBuffer midi;
            for (int i = 0; i < 3; ++i)
            {
                if (position + 528 > audio.getNumSamples())
                    position = 0;
                for (int ch = 0; ch < 2; ++ch)
                    block.copyFrom(ch, 0, audio, ch, position, 528);
                position += 528;
                f.processor.processBlock(block, midi);
            }
        }
        clockMs += 33.0;
        f.editor->tick();
    }

    // The window as one full paint shows it now.
    juce::Image fullPaint(float displayScale)
    {
        return f.editor->createComponentSnapshot(f.editor->getLocalBounds(), true, displayScale);
    }

    testsupport::EditorFixture f;
    std::unique_ptr<testsupport::OffscreenWindow> window;
    juce::AudioBuffer<float> audio = testsupport::programme(48000.0, 4.0);
    double clockMs = 1.0e6;
    int position = 0;
};
} // namespace

TEST(WindowRepaint, AnIdleWindowRepaintsNothing)
{
    LiveWindow live(1.0f);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(live.tick(false), 0) << "tick " << i << " of a window that never had audio";

    // After music stops, the meters fall to rest and then nothing more is painted.
    for (int i = 0; i < 60; ++i)
        live.tick(true);
    juce::int64 lastRepaint = 0;
    int ticksSinceRepaint = 0;
    for (int i = 0; i < 300; ++i)
    {
        lastRepaint = live.tick(false);
        ticksSinceRepaint = lastRepaint > 0 ? 0 : ticksSinceRepaint + 1;
    }
    EXPECT_GE(ticksSinceRepaint, 100) << "ten seconds after the music, the window is still repainting";
}

TEST(WindowRepaint, RepaintingOnlyChangedPartsLeavesTheWholePicture)
{
    // Moving meters, a threshold change, a range step with its fading badge, Learn starting
    // and stopping, bypass: after each tick's partial repaint the window must look as one full
    // paint of the same moment. Anything left stale differs by far more than the few levels by
    // which the renderer's clipping changes a shape where the edge of a repainted area cuts it.
    for (const float scale : {1.0f, 2.0f})
    {
        LiveWindow live(scale);
        for (int i = 0; i < 90; ++i)
        {
            if (i == 20)
                testsupport::setParameter(live.f.processor, pThreshold, -2.0f);
            if (i == 30)
                live.f.editor->mouseWheelMove(
                    testsupport::mouseAt(*live.f.editor,
                                         live.f.editor->getLayout().historyArea.getCentre().toFloat()),
                    juce::MouseWheelDetails{0.0f, 1.0f, false, false, false});
            if (i == 50)
                live.f.processor.learn().setLearnRequested(true);
            if (i == 65)
                live.f.processor.learn().setLearnRequested(false);
            if (i == 75)
                testsupport::setParameter(live.f.processor, pBypass, 1.0f);
            live.tick(i < 70);
            if (i % 5 == 4)
            {
                ASSERT_LE(largestDifference(live.window->getPicture(), live.fullPaint(scale)), 4)
                    << "scale " << scale << ", tick " << i;
            }
        }
    }
}

TEST(WindowRepaint, MovingMetersRepaintTheDialGraphAndBarsOnly)
{
    LiveWindow live(1.0f); // 960 wide: window pixels are design units
    for (int i = 0; i < 30; ++i)
        live.tick(true);
    live.tickWithoutPainting(true);
    const auto& l = live.f.editor->getLayout();
    const auto dirty = live.window->pendingRepaints();
    EXPECT_TRUE(dirty.intersects(l.historyArea));
    EXPECT_TRUE(dirty.intersects(l.inBarArea));
    EXPECT_FALSE(dirty.intersects(l.leftPanel.withTrimmedRight(8)));
    EXPECT_FALSE(dirty.intersects(l.rightPanel.withTrimmedLeft(8)));
    live.window->paintPendingRepaints();
}
