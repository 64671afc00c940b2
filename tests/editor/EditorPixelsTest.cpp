#include "support/EditorFixture.h"
#include "support/HostSimulation.h"

#include <gtest/gtest.h>

using namespace orlix;

// Points of the rendered window that later painting never covers.
TEST(EditorPixels, LitSwitchTrackKnobPointerAndDisabledKnob)
{
    testsupport::EditorFixture f;
    f.editor->tick();
    auto image = f.snapshot();
    ASSERT_EQ(image.getWidth(), 960);
    const auto trackOff = image.getPixelAt(878, 96);
    EXPECT_LT(trackOff.getBlue(), 120) << "an off switch's track is dark";

    // THRESHOLD at -18 dB: 70 % of its travel, the pointer 54 degrees right of the top.
    const auto pointer = image.getPixelAt(122, 171);
    EXPECT_GT(pointer.getRed(), 245);
    EXPECT_GT(pointer.getGreen(), 245);
    EXPECT_GT(pointer.getBlue(), 245);

    // RELEASE at 200 ms points straight up: white while enabled.
    EXPECT_GT(image.getPixelAt(200, 240).getRed(), 245);

    testsupport::setParameter(f.processor, pDriveOn, 1.0f);
    testsupport::setParameter(f.processor, pAutoRelease, 1.0f);
    f.editor->tick();
    image = f.snapshot();
    const auto trackOn = image.getPixelAt(878, 96);
    EXPECT_GT(trackOn.getBlue(), 150) << "the lit track shows the violet end of the brand gradient";
    EXPECT_GT(trackOn.getRed(), 90);

    // Disabled: the same pointer dot at 0.38 over the dark card.
    const auto dimmed = image.getPixelAt(200, 240);
    EXPECT_GT(dimmed.getRed(), 90);
    EXPECT_LT(dimmed.getRed(), 170);
}

TEST(EditorPixels, BackgroundIsRebuiltOnlyWhenTheSizeChanges)
{
    testsupport::EditorFixture f;
    double clockMs = 1.0e6;
    f.editor->setClock([&] { return clockMs; });
    f.snapshot();
    const auto first = f.editor->getBackgroundCache();
    ASSERT_TRUE(first.isValid());
    EXPECT_EQ(first.getWidth(), 960);
    f.snapshot();
    EXPECT_TRUE(f.editor->getBackgroundCache() == first); // the same image object reused

    // A live resize: every step shows the last pictures stretched, none is rebuilt...
    for (const int width : {1000, 1100, 1280})
    {
        f.editor->setSize(width, (width * 540 + 480) / 960);
        clockMs += 100.0;
        f.editor->tick();
        f.snapshot();
        EXPECT_TRUE(f.editor->getBackgroundCache() == first) << width;
    }
    // ...until the size has settled for a moment: then once, at the final size.
    clockMs += 200.0;
    f.editor->tick();
    const auto settled = f.snapshot();
    EXPECT_EQ(f.editor->getBackgroundCache().getWidth(), 1280);
    EXPECT_FALSE(f.editor->getBackgroundCache() == first);

    // The settled window looks exactly like one opened at that size. (A second window on the
    // same processor, so that both keep to this test's settings folder.)
    OrlixAudioProcessorEditor fresh(f.processor);
    fresh.setSize(1280, 720);
    const auto expected = fresh.createComponentSnapshot(fresh.getLocalBounds(), true, 1.0f);
    int moved = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x)
            moved += settled.getPixelAt(x, y) != expected.getPixelAt(x, y) ? 1 : 0;
    EXPECT_EQ(moved, 0);
}
