#include "processor/OrlixAudioProcessor.h"
#include "support/AudioThread.h"
#include "support/HostSimulation.h"
#include "support/Signals.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace orlix;

// Host loads on one thread, audio blocks on another, and undo, redo, edits and
// the Learn timer on this (message) thread. Run under ThreadSanitizer in CI.
TEST(UndoThreads, UndoRedoAndTheLearnTimerRaceNeitherLoadsNorBlocks)
{
    OrlixAudioProcessor p;
    const auto learned = testsupport::prepareWithLearnResult(p);

    std::atomic<bool> stop{false};
    std::atomic<int> loads{0};
    testsupport::AudioThread audio(p);
    std::thread host(
        [&]
        {
            while (!stop)
            {
                p.setStateInformation(learned.getData(), (int)learned.getSize());
                ++loads;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });

    int restored = 0;
    for (int i = 0; i < 400; ++i)
    {
        testsupport::editParameter(p, (i % 2) == 0 ? pRatio : pThreshold,
                                   (i % 2) == 0 ? 2.0f + (float)(i % 7) : -30.0f);
        testsupport::editParameter(p, pSource, (float)(i % 13));
        if (p.undoHistory().undo())
            ++restored;
        if (i % 3 == 0 && p.undoHistory().redo())
            ++restored;
        p.learn().setLearnRequested((i % 50) < 10);
        p.timerTick();
        p.learn().setTargetFromMarker(3.0f + (float)(i % 5));
    }
    while (audio.blocks < 100 || loads < 20)
        std::this_thread::yield();
    stop = true;
    audio.stop();
    host.join();
    p.learn().setLearnRequested(false);
    p.timerTick();

    EXPECT_GT(restored, 0);
    // The state is whole afterwards: it saves and loads into another instance unchanged.
    const auto saved = testsupport::saveState(p);
    OrlixAudioProcessor other;
    other.setStateInformation(saved.getData(), (int)saved.getSize());
    EXPECT_EQ(testsupport::saveState(other), saved);
}
