#include "editor/DrawingKit.h"
#include "editor/OrlixLookAndFeel.h"
#include "support/EditorFixture.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
} // namespace

TEST(KnobValueText, DecimalsFollowTheKnobsSettingAndNeverShowNegativeZero)
{
    juce::Slider slider;
    EXPECT_EQ(knobValueText(slider, 9.94, -2), "9.9"); // below 10: one decimal
    EXPECT_EQ(knobValueText(slider, 10.0, -2), "10");
    EXPECT_EQ(knobValueText(slider, -0.04, 1), "0.0");
    EXPECT_EQ(knobValueText(slider, -0.06, 1), "-0.1");
    EXPECT_EQ(knobValueText(slider, 95.6, 0), "96");
    EXPECT_EQ(knobValueText(slider, -0.4, 0), "0");
}

TEST(SliderLayout, TextBoxSizeDependsOnTheArcRadius)
{
    OrlixLookAndFeel lnf;
    juce::Slider knob(juce::Slider::RotaryVerticalDrag, juce::Slider::TextBoxBelow);
    knob.setRange(0.0, 10.0, 1.0); // short value texts: the design's widths
    knob.setBounds(0, 0, 80, 80);
    knob.getProperties().set(props::radius, 29);
    EXPECT_EQ(lnf.getSliderLayout(knob).textBoxBounds, juce::Rectangle<int>(18, 29, 44, 22));
    knob.getProperties().set(props::radius, 30);
    EXPECT_EQ(lnf.getSliderLayout(knob).textBoxBounds, juce::Rectangle<int>(10, 29, 60, 22));
    EXPECT_EQ(lnf.getSliderLayout(knob).sliderBounds, juce::Rectangle<int>(0, 0, 80, 80));
}

TEST(ButtonDispatch, HelpWinsOverPillAndPillsDrawTheirCaption)
{
    OrlixLookAndFeel lnf;
    juce::TextButton both, help;
    for (auto* b : {&both, &help})
    {
        b->setLookAndFeel(&lnf);
        b->setBounds(0, 0, 16, 16);
        b->getProperties().set(props::help, true);
    }
    both.getProperties().set(props::pill, 2); // would be a bright gradient pill
    const auto a = both.createComponentSnapshot(both.getLocalBounds(), true, 1.0f);
    const auto b = help.createComponentSnapshot(help.getLocalBounds(), true, 1.0f);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(a.getPixelAt(x, y), b.getPixelAt(x, y)) << x << "," << y;
    both.setLookAndFeel(nullptr);
    help.setLookAndFeel(nullptr);
}

TEST(Tooltips, TitleAloneOrTitleAndWrappedBody)
{
    const auto titleOnly = layoutTooltip("Undo");
    EXPECT_EQ(titleOnly.getNumLines(), 1);
    const auto long_ =
        layoutTooltip("AUTO\nLet Learn choose. The type it picked lights up and AUTO keeps a thin ring; "
                      "it picks again when SOURCE changes. Acts as VCA until Learn finishes.");
    EXPECT_GT(long_.getNumLines(), 3);
    EXPECT_LE(long_.getWidth(), 260.0f);

    OrlixLookAndFeel lnf;
    const juce::Rectangle<int> parent(0, 0, 960, 540);
    const auto lowerRight =
        lnf.getTooltipBounds("TARGET\nHow much gain reduction you aim for", {900, 500}, parent);
    EXPECT_LT(lowerRight.getRight(), 900);
    EXPECT_LT(lowerRight.getBottom(), 500);
    EXPECT_TRUE(parent.contains(lowerRight));
    const auto upperLeft = lnf.getTooltipBounds("Undo", {100, 100}, parent);
    EXPECT_EQ(upperLeft.getPosition(), juce::Point<int>(116, 118));
}

TEST(DrawingKit, TextIsPlacedByItsBaselineAndAlignment)
{
    const auto font = uiFont(20.0f, true, 0.0f);
    const float w = textWidth(font, "LEARN");
    EXPECT_GT(w, 40.0f);
    EXPECT_GT(textWidth(uiFont(20.0f, true, 4.0f), "LEARN"), w + 15.0f); // tracking adds space per letter
    juce::Image image(juce::Image::ARGB, 200, 60, true);
    {
        juce::Graphics g(image);
        drawTextAt(g, "LEARN", font, juce::Colours::white, 100.0f, 40.0f,
                   juce::Justification::horizontallyCentred);
    }
    int left = 200, right = -1, bottom = -1;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            if (image.getPixelAt(x, y).getAlpha() > 128)
            {
                left = std::min(left, x);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
    EXPECT_NEAR((left + right) / 2.0f, 100.0f, 2.0f);
    EXPECT_NEAR(bottom, 39, 1); // capitals sit on the baseline
}

TEST(DrawingKit, BrandGradientRunsFromVioletThroughPinkToAmber)
{
    const auto gradient = brandGradient({10.0f, 10.0f, 100.0f, 50.0f});
    EXPECT_EQ(gradient.getColour(0), Palette::violet);
    EXPECT_EQ(gradient.getColour(gradient.getNumColours() - 1), Palette::amber);
    EXPECT_EQ(gradient.getColourAtPosition(0.55), Palette::pink);
    EXPECT_EQ(gradient.point1, juce::Point<float>(9.5f, 60.5f));
    EXPECT_EQ(gradient.point2, juce::Point<float>(110.5f, 9.5f));
}

TEST(DrawingKit, AlphaFractionsRoundToEvenBytes)
{
    EXPECT_EQ(alphaByte(0.5f), 128); // 127.5 rounds to the even 128
    EXPECT_EQ(alphaByte(0.52f), 0x85);
    EXPECT_EQ(alphaByte(0.74f), 0xBD);
    EXPECT_EQ(alphaByte(1.5f), 255);
    EXPECT_EQ(alphaByte(-0.1f), 0);
}
