#pragma once

#include "processor/LiveProcessorCount.h"
#include "processor/OrlixAudioProcessor.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace feedbacktest
{
using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Network work only runs while a plug-in instance is alive, so every test
// keeps one, and may let it go to play the host closing the last instance.
class WithLiveInstance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(orlix::liveProcessorCount().load(), 0) << "an earlier test leaked a processor";
        instance = std::make_unique<OrlixAudioProcessor>();
    }

    void TearDown() override { instance.reset(); }

    void closeLastInstance()
    {
        instance.reset();
        ASSERT_EQ(orlix::liveProcessorCount().load(), 0);
    }

    std::unique_ptr<OrlixAudioProcessor> instance;
};
} // namespace feedbacktest
