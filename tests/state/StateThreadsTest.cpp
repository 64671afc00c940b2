#include "processor/OrlixAudioProcessor.h"
#include "state/StateIds.h"
#include "support/AudioThread.h"
#include "support/Signals.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace orlix;

// Host saves and loads on one thread, audio blocks on another and curve
// publication on a third, as hosts do. Run under ThreadSanitizer in CI.
TEST(StateThreads, SavesLoadsBlocksAndPublicationRunConcurrentlyWithoutLosingKeys)
{
    OrlixAudioProcessor p;
    const auto learned = testsupport::prepareWithLearnResult(p);

    std::atomic<bool> stop{false};
    std::atomic<int> publications{0};

    testsupport::AudioThread audio(p);
    std::thread publisher(
        [&]
        {
            while (!stop)
            {
                p.state().publishLearnCurves();
                ++publications;
                std::this_thread::yield();
            }
        });

    int lostKeys = 0;
    for (int i = 0; i < 300; ++i)
    {
        p.setStateInformation(learned.getData(), (int)learned.getSize());
        const auto saved = testsupport::saveState(p);
        auto xml = juce::AudioProcessor::getXmlFromBinary(saved.getData(), (int)saved.getSize());
        for (const auto* key : {"orlixLearnTrace", "orlixLearnMkHist", "orlixLearnMkCurve",
                                "orlixLearnDriveEq", "orlixBaseRatio", "orlixAppliedSource"})
            if (xml == nullptr || !xml->hasAttribute(key))
                ++lostKeys;
    }
    // Let the other threads overlap with the loads for a while, then stop them.
    while (audio.blocks < 200 || publications < 200)
        std::this_thread::yield();
    stop = true;
    audio.stop();
    publisher.join();

    EXPECT_EQ(lostKeys, 0);
    EXPECT_EQ(p.state().loadGeneration(), 300);
}
