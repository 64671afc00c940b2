// The snapshot command draws what it is asked for: menus open, Learn at the requested percentage;
// and the guide's pictures are what it draws of the window now.
#include "support/OffscreenWindow.h"

#include "support/OrlixCommand.h"

#include <gtest/gtest.h>

namespace
{
testsupport::CommandResult snapshot(const juce::File& picture, const juce::StringArray& options)
{
    juce::StringArray args{"snapshot", picture.getFullPathName()};
    args.addArray(options);
    return testsupport::runOrlix(args);
}

int differingPixels(const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
{
    int differing = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            differing += a.getPixelAt(x, y) != b.getPixelAt(x, y) ? 1 : 0;
    return differing;
}
} // namespace

TEST(SnapshotCommand, LearnShowsExactlyThePercentageAskedFor)
{
    const juce::TemporaryFile picture(".png");
    for (const int percent : {40, 7, 73})
    {
        const auto run = snapshot(picture.getFile(), {"--learning", juce::String(percent)});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(run.output.contains("(Learn at " + juce::String(percent) + " %)")) << run.output;
    }
    const auto refused = snapshot(picture.getFile(), {"--learning", "100"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.output.contains("0 to 99")) << refused.output;
}

TEST(SnapshotCommand, MenusAppearInThePicture)
{
    if (!testsupport::OffscreenWindow::hasDisplay())
        GTEST_SKIP() << "menus are laid out on a display";
    const juce::TemporaryFile idleFile(".png"), sourceFile(".png"), helpFile(".png");
    ASSERT_EQ(snapshot(idleFile.getFile(), {}).exitCode, 0);
    ASSERT_EQ(snapshot(sourceFile.getFile(), {"--menu", "source"}).exitCode, 0);
    ASSERT_EQ(snapshot(helpFile.getFile(), {"--menu", "help"}).exitCode, 0);
    const auto idle = juce::ImageFileFormat::loadFrom(idleFile.getFile());
    const auto source = juce::ImageFileFormat::loadFrom(sourceFile.getFile());
    const auto help = juce::ImageFileFormat::loadFrom(helpFile.getFile());
    ASSERT_TRUE(idle.isValid() && source.isValid() && help.isValid());
    // The SOURCE menu opens above its selector, thirteen rows tall; the help menu under "?".
    EXPECT_GT(differingPixels(idle, source, {380, 40, 120, 280}), 20000);
    EXPECT_GT(differingPixels(idle, help, {205, 50, 150, 100}), 8000);
    EXPECT_EQ(differingPixels(idle, help, {380, 40, 120, 280}), 0) << "the help menu is not the source menu";
}

TEST(SnapshotCommand, DisplayScaleMultipliesThePicture)
{
    const juce::TemporaryFile picture(".png");
    const auto run = snapshot(picture.getFile(), {"--scale", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(run.output.contains("1920 x 1080")) << run.output;
}

namespace
{
// Pixels whose colour differs by more than a rounding step in any channel.
int pixelsApart(const juce::Image& a, const juce::Image& b)
{
    int apart = 0;
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
        {
            const auto p = a.getPixelAt(x, y), q = b.getPixelAt(x, y);
            const int most =
                std::max({std::abs(p.getRed() - q.getRed()), std::abs(p.getGreen() - q.getGreen()),
                          std::abs(p.getBlue() - q.getBlue()), std::abs(p.getAlpha() - q.getAlpha())});
            apart += most > 2 ? 1 : 0;
        }
    return apart;
}
} // namespace

// The user guide shows the window through pictures that scripts/guide-pictures.sh makes;
// when the window changes, they must be made again, or the guide shows a window that is gone.
TEST(SnapshotCommand, GuidePicturesAreWhatTheScriptMakesOfTheWindowNow)
{
    const auto committed = juce::File(ORLIX_SOURCE_DIR).getChildFile("docs/pictures");
    testsupport::TemporaryFolder made;
    const auto run = testsupport::runCommand(
        "/usr/bin/env",
        {"ORLIX=" ORLIX_CLI_PATH, "bash",
         juce::File(ORLIX_SOURCE_DIR).getChildFile("scripts/guide-pictures.sh").getFullPathName(),
         made.dir.getFullPathName()});
    ASSERT_EQ(run.exitCode, 0) << run.output;

    juce::StringArray committedNames;
    for (const auto& file : committed.findChildFiles(juce::File::findFiles, false, "*.png"))
        committedNames.add(file.getFileName());
    committedNames.sort(true);
    ASSERT_EQ(made.names(), committedNames);
    for (const auto& name : committedNames)
    {
        const auto expected = juce::ImageFileFormat::loadFrom(committed.getChildFile(name));
        const auto actual = juce::ImageFileFormat::loadFrom(made.dir.getChildFile(name));
        ASSERT_TRUE(expected.isValid() && actual.isValid()) << name;
        ASSERT_EQ(actual.getBounds(), expected.getBounds()) << name;
        EXPECT_EQ(pixelsApart(actual, expected), 0)
            << "docs/pictures/" << name
            << " is not what scripts/guide-pictures.sh makes now: run it and commit the pictures";
    }
}
