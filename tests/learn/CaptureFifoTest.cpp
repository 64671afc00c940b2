#include "learn/CaptureFifo.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

using namespace orlix;

namespace
{
// Distinct, recognisable sample values: 1, 2, 3 ... scaled into range.
std::vector<float> ramp(int length, int first = 0)
{
    std::vector<float> x((size_t)length);
    for (int i = 0; i < length; ++i)
        x[(size_t)i] = (float)(first + i + 1) / 65536.0f;
    return x;
}

struct Drained
{
    std::vector<float> mono, channel1, channel2;
    int regions = 0;
    bool channelsPresent = false;
};

Drained drainAll(CaptureFifo& fifo)
{
    Drained out;
    fifo.drain(
        [&out](const CaptureRegion& region)
        {
            ++out.regions;
            out.mono.insert(out.mono.end(), region.mono, region.mono + region.numSamples);
            out.channelsPresent = region.hasChannels();
            if (region.hasChannels())
            {
                out.channel1.insert(out.channel1.end(), region.channel1, region.channel1 + region.numSamples);
                out.channel2.insert(out.channel2.end(), region.channel2, region.channel2 + region.numSamples);
            }
        });
    return out;
}

void feedMono(CaptureFifo& fifo, const std::vector<float>& x, std::atomic<int>& phase)
{
    const float* channels[] = {x.data()};
    fifo.feed(channels, 1, (int)x.size(), phase);
}
} // namespace

// --- Phases -------------------------------------------------------------------

TEST(CaptureFifoPhase, IdleCapturesNothing)
{
    CaptureFifo fifo;
    fifo.prepare(48000.0, 1);
    std::atomic<int> phase{learnPhaseIdle};
    feedMono(fifo, ramp(512), phase);
    EXPECT_EQ(fifo.getNumReady(), 0);
    EXPECT_EQ(phase.load(), learnPhaseIdle);
}

TEST(CaptureFifoPhase, ArmingDiscardsOldSamplesAndStartsCapturing)
{
    CaptureFifo fifo;
    fifo.prepare(48000.0, 1);
    std::atomic<int> phase{learnPhaseCapturing};
    feedMono(fifo, ramp(300), phase); // left over from an earlier run
    ASSERT_EQ(fifo.getNumReady(), 300);

    phase = learnPhaseArmed;
    const auto fresh = ramp(100, 1000);
    feedMono(fifo, fresh, phase);
    EXPECT_EQ(phase.load(), learnPhaseCapturing);
    EXPECT_EQ(drainAll(fifo).mono, fresh); // the arming block itself is captured
}

// --- What is written ----------------------------------------------------------

TEST(CaptureFifoContent, AnalysisSampleIsTheLoudestSignedSample)
{
    CaptureFifo fifo;
    fifo.prepare(48000.0, 3);
    std::atomic<int> phase{learnPhaseArmed};
    const std::vector<float> a{0.5f, 0.1f, 0.3f, 0.0f, 0.4f, 0.0f};
    const std::vector<float> b{-0.2f, -0.7f, -0.3f, 0.0f, -0.4f, 0.2f};
    const std::vector<float> c{0.1f, 0.6f, 0.3f, 0.0f, 0.0f, -0.9f};
    const float* channels[] = {a.data(), b.data(), c.data()};
    fifo.feed(channels, 3, 6, phase);

    // Ties (0.3 / -0.3 / 0.3, 0.4 / -0.4, silence) go to the first channel.
    const std::vector<float> expected{0.5f, -0.7f, 0.3f, 0.0f, 0.4f, -0.9f};
    const auto drained = drainAll(fifo);
    EXPECT_EQ(drained.mono, expected);
    // Only channels 1 and 2 are kept beside it, unchanged.
    EXPECT_EQ(drained.channel1, a);
    EXPECT_EQ(drained.channel2, b);
}

TEST(CaptureFifoContent, CapacityIsASecondButAtLeast8192)
{
    CaptureFifo fifo;
    fifo.prepare(44100.0, 2);
    EXPECT_EQ(fifo.getCapacity(), 44100);
    EXPECT_TRUE(fifo.keepsChannels());
    fifo.prepare(96000.7, 1);
    EXPECT_EQ(fifo.getCapacity(), 96000);
    EXPECT_FALSE(fifo.keepsChannels());
    fifo.prepare(4000.0, 2);
    EXPECT_EQ(fifo.getCapacity(), 8192);
}

TEST(CaptureFifoContent, SamplesArriveInOrderAcrossTheWrap)
{
    CaptureFifo fifo;
    fifo.prepare(8000.0, 2); // 8192 slots
    std::atomic<int> phase{learnPhaseArmed};
    std::vector<float> all;
    std::vector<float> drained;
    int regions = 0;
    for (int round = 0; round < 4; ++round)
    {
        const auto x = ramp(3000, round * 3000);
        const float* channels[] = {x.data(), x.data()};
        fifo.feed(channels, 2, 3000, phase);
        all.insert(all.end(), x.begin(), x.end());
        const auto d = drainAll(fifo);
        regions += d.regions;
        drained.insert(drained.end(), d.mono.begin(), d.mono.end());
        EXPECT_EQ(d.channel1, d.mono);
    }
    EXPECT_EQ(drained, all);
    EXPECT_GT(regions, 4); // at least one read was split at the end of the buffer
}

// --- Real-time behaviour -------------------------------------------------------

TEST(CaptureFifoRealtime, DropsInsteadOfBlockingWhenTheReaderFallsBehind)
{
    CaptureFifo fifo;
    fifo.prepare(8000.0, 1); // 8192 slots, of which 8191 can be filled
    std::atomic<int> phase{learnPhaseArmed};
    const auto x = ramp(12000);
    for (int offset = 0; offset < 12000; offset += 1000)
    {
        const float* channels[] = {x.data() + offset};
        fifo.feed(channels, 1, 1000, phase);
    }
    EXPECT_EQ(fifo.getNumReady(), 8191);

    // What was granted is kept in order; what did not fit is gone.
    const auto drained = drainAll(fifo);
    EXPECT_EQ(drained.mono, std::vector<float>(x.begin(), x.begin() + 8191));

    // Once the reader catches up, capture resumes.
    const auto later = ramp(500, 50000);
    feedMono(fifo, later, phase);
    EXPECT_EQ(drainAll(fifo).mono, later);
}

TEST(CaptureFifoRealtime, FeedingAllocatesNothing)
{
    CaptureFifo fifo;
    fifo.prepare(48000.0, 2);
    std::atomic<int> phase{learnPhaseArmed};
    const auto left = ramp(512);
    const auto right = ramp(512, 7);
    const float* channels[] = {left.data(), right.data()};

    testsupport::AllocationCounter counter;
    for (int block = 0; block < 200; ++block) // arms, fills, then overflows
        fifo.feed(channels, 2, 512, phase);
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(fifo.getNumReady(), 47999);
}

#if defined(__linux__)
// Most instances never learn, so the second of capture memory must cost nothing until
// Learn makes it resident, and then all of it, before the audio thread writes.
TEST(CaptureFifoRealtime, MemoryBecomesResidentOnlyWhenMadeSoAndThenWhole)
{
    const auto residentPages = [](const UntouchedPages& pages)
    {
        const size_t pageSize = (size_t)sysconf(_SC_PAGESIZE);
        const size_t count = (pages.size() * sizeof(float) + pageSize - 1) / pageSize;
        std::vector<unsigned char> flags(count);
        EXPECT_EQ(mincore(pages.data(), pages.size() * sizeof(float), flags.data()), 0);
        return (size_t)std::count_if(flags.begin(), flags.end(), [](unsigned char f) { return (f & 1) != 0; });
    };
    UntouchedPages pages(3 * 48000);
    EXPECT_EQ(residentPages(pages), 0u);
    pages.touch();
    EXPECT_EQ(residentPages(pages), (pages.size() * sizeof(float) + (size_t)sysconf(_SC_PAGESIZE) - 1) /
                                        (size_t)sysconf(_SC_PAGESIZE));
    EXPECT_TRUE(std::all_of(pages.data(), pages.data() + pages.size(), [](float x) { return std::fpclassify(x) == FP_ZERO; }));

    CaptureFifo fifo;
    fifo.prepare(48000.0, 2);
    EXPECT_FALSE(fifo.isResident());
    fifo.makeResident();
    EXPECT_TRUE(fifo.isResident());
    fifo.prepare(48000.0, 2); // a new rate or layout starts untouched again
    EXPECT_FALSE(fifo.isResident());
}
#endif
