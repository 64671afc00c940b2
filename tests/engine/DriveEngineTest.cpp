#include "engine/DriveModel.h"
#include "engine/DynamicsEngine.h"
#include "support/AllocationCounter.h"
#include "support/Fft.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
const int crossfadeLength = 960; // 20 ms at 48 kHz

// No gain reduction and no make-up: the wet path is the input itself, so what the drive adds
// is all that differs from the delayed input.
EngineSettings transparent()
{
    EngineSettings s;
    s.thresholdDb = 0.0f;
    s.ratio = 1.0f;
    s.autoMakeup = false;
    return s;
}

EngineSettings driven(int type, float percent)
{
    auto s = transparent();
    s.driveOn = true;
    s.driveType = type;
    s.driveAmount = percent;
    return s;
}

// Renders a mono signal in 512-sample blocks; settingsFor(block) gives each block's settings.
std::vector<float> render(const std::vector<float>& x, const std::function<EngineSettings(int)>& settingsFor,
                          int* latency = nullptr)
{
    DynamicsEngine engine;
    engine.prepare(rate, 1);
    engine.setActive(1.0f);
    if (latency != nullptr)
        *latency = engine.latency();
    std::vector<float> y(x);
    for (int start = 0, block = 0; start < (int)y.size(); start += blockSize, ++block)
    {
        float* channel[1] = {y.data() + start};
        engine.process(channel, 1, std::min(blockSize, (int)y.size() - start), settingsFor(block));
    }
    return y;
}

std::vector<float> render(const std::vector<float>& x, const EngineSettings& s, int* latency = nullptr)
{
    return render(
        x, [&](int) { return s; }, latency);
}

float largestDifference(const std::vector<float>& a, const std::vector<float>& b, int from, int to)
{
    float worst = 0.0f;
    for (int i = from; i < to; ++i)
        worst = std::max(worst, std::abs(a[(size_t)i] - b[(size_t)i]));
    return worst;
}

} // namespace

TEST(DriveEngine, DriveOffOrZeroAmountLeavesTheCompressedSignalUntouched)
{
    const auto x = testsupport::drumLoop(rate, 1.0);
    EngineSettings compressing;
    compressing.thresholdDb = -30.0f;
    compressing.ratio = 6.0f;
    const auto off = render(x, compressing);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        auto zero = compressing;
        zero.driveOn = true;
        zero.driveType = type;
        zero.driveAmount = 0.0f;
        EXPECT_EQ(render(x, zero), off) << driveTypes[(size_t)type].name;

        auto switchedOff = zero;
        switchedOff.driveOn = false;
        switchedOff.driveAmount = 80.0f;
        EXPECT_EQ(render(x, switchedOff), off) << driveTypes[(size_t)type].name;
    }
}

TEST(DriveEngine, OutputLinesUpWithTheInputDelayedByTheLatency)
{
    const auto x = testsupport::sine(1000.0, rate, 24000, 0.5f);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        int latency = 0;
        const auto y = render(x, driven(type, 0.1f), &latency); // amount 0.001
        ASSERT_GT(latency, 0);
        float aligned = 0.0f, early = 0.0f;
        for (int i = 4800; i < 24000; ++i)
        {
            aligned = std::max(aligned, std::abs(y[(size_t)i] - x[(size_t)(i - latency)]));
            early = std::max(early, std::abs(y[(size_t)i] - x[(size_t)(i - latency + 1)]));
        }
        // A tiny drive adds well under 1e-3; one sample off would differ by 2 pi 1000/48000 * 0.5.
        EXPECT_LT(aligned, 1e-3f) << driveTypes[(size_t)type].name;
        EXPECT_GT(early, 0.05f);
    }
}

TEST(DriveEngine, TypeChangeWhileAudibleCrossfadesAfterThePipelineFills)
{
    const auto x = testsupport::sustainedChord(rate, 1.0, 0.5f);
    const int changeBlock = 20;
    const int change = changeBlock * blockSize;
    int latency = 0;
    const auto tube = render(x, driven(driveTypeTube, 60.0f), &latency);
    const auto fet = render(x, driven(driveTypeFet, 60.0f));
    const auto switched = render(
        x, [&](int block) { return driven(block < changeBlock ? driveTypeTube : driveTypeFet, 60.0f); });

    const int fadeStart = change + latency + 16;
    // The incoming stage fills its pipeline while the output is still all TUBE...
    EXPECT_EQ(largestDifference(switched, tube, 0, fadeStart), 0.0f);
    EXPECT_GT(largestDifference(switched, tube, fadeStart, fadeStart + 40), 0.0f);
    // ...then the output moves to FET over 20 ms without a jump...
    float worstStep = 0.0f, usualStep = 0.0f;
    for (int i = fadeStart - 200; i < fadeStart + crossfadeLength; ++i)
        worstStep = std::max(worstStep, std::abs(switched[(size_t)i + 1] - switched[(size_t)i]));
    for (int i = change - 2000; i < change; ++i)
        usualStep = std::max(usualStep, std::abs(tube[(size_t)i + 1] - tube[(size_t)i]));
    EXPECT_LT(worstStep, 1.2f * usualStep);
    // ...and once the incoming stage's high-pass has settled it sounds like FET all along.
    const float fetVersusTube = largestDifference(fet, tube, fadeStart + 6000, (int)x.size());
    EXPECT_LT(largestDifference(switched, fet, fadeStart + 6000, (int)x.size()), 0.01f * fetVersusTube);
}

TEST(DriveEngine, TypeChangeWhileTheDriveIsOffSwitchesAtOnce)
{
    const auto x = testsupport::drumLoop(rate, 0.5);
    auto settingsFor = [](int first, int block)
    {
        auto s = driven(block < 10 ? first : driveTypeTape, 70.0f);
        s.driveOn = block >= 11; // the type changes one block before the drive comes on
        return s;
    };
    const auto switched = render(x, [&](int block) { return settingsFor(driveTypeTube, block); });
    const auto tapeAllAlong = render(x, [&](int block) { return settingsFor(driveTypeTape, block); });
    EXPECT_EQ(switched, tapeAllAlong);
}

TEST(DriveEngine, TurningTheDriveOffFadesOverTwentyMilliseconds)
{
    const auto x = testsupport::sustainedChord(rate, 0.6, 0.6f);
    const int offBlock = 30;
    const int off = offBlock * blockSize;
    const auto fading = render(x,
                               [&](int block)
                               {
                                   auto s = driven(driveTypeTube, 50.0f);
                                   s.driveOn = block < offBlock;
                                   return s;
                               });
    const auto stayingOn = render(x, driven(driveTypeTube, 50.0f));
    const auto withoutDrive = render(x, transparent());

    // How much of the drive's contribution is left in a window, against the drive left on.
    auto share = [&](int from, int to)
    {
        double left = 0.0, full = 0.0;
        for (int i = from; i < to; ++i)
        {
            left += std::pow(fading[(size_t)i] - withoutDrive[(size_t)i], 2.0);
            full += std::pow(stayingOn[(size_t)i] - withoutDrive[(size_t)i], 2.0);
        }
        return std::sqrt(left / full);
    };
    EXPECT_EQ(share(off - 500, off), 1.0);
    // Amount and drive-on ramps both fall linearly over 20 ms (the stage follows the falling
    // amount, so the drive's own shape changes too): close to all of it at first, part of it
    // halfway, a trace at the end and exactly nothing after.
    const double first = share(off, off + 50), middle = share(off + 430, off + 530),
                 last = share(off + 900, off + 960);
    EXPECT_GT(first, 0.85);
    EXPECT_LT(middle, 0.8 * first);
    EXPECT_GT(middle, 0.1);
    EXPECT_LT(last, 0.05);
    EXPECT_EQ(largestDifference(fading, withoutDrive, off + crossfadeLength, (int)x.size()), 0.0f);
}

TEST(DriveEngine, CompensationFollowsTheIncomingTypeFromTheStartOfACrossfade)
{
    const auto x = testsupport::sine(220.0, rate, 24000, 0.3f);
    auto withTable = [](int type)
    {
        auto s = driven(type, 50.0f);
        s.autoMakeup = true; // the drive level table applies with automatic make-up
        s.driveEqValid = true;
        s.driveEq[(size_t)driveTypeTape] = {0.0f, -20.0f, -20.0f, -20.0f, -20.0f};
        return s;
    };
    const int changeBlock = 20;
    const int change = changeBlock * blockSize;
    int latency = 0;
    const auto tube = render(x, withTable(driveTypeTube), &latency);
    const auto switched =
        render(x, [&](int block) { return withTable(block < changeBlock ? driveTypeTube : driveTypeTape); });

    // Inside the pipeline fill both outputs still carry the TUBE drive; only the compensation
    // differs, ramping toward -20 dB over 20 ms: about -1 dB after 50 samples.
    const int probeFrom = change + 40, probeTo = change + latency + 16;
    double ratio = 0.0;
    int counted = 0;
    for (int i = probeFrom; i < probeTo; ++i)
        if (std::abs(tube[(size_t)i]) > 0.05f)
        {
            ratio += switched[(size_t)i] / tube[(size_t)i];
            ++counted;
        }
    ASSERT_GT(counted, 0);
    ratio /= counted;
    EXPECT_LT(ratio, 0.97);
    EXPECT_GT(ratio, 0.80);
}

TEST(DriveEngine, ProcessAllocatesNothingWhileTheDriveChanges)
{
    DynamicsEngine engine;
    engine.prepare(rate, 2);
    engine.setActive(1.0f);
    const auto x = testsupport::drumLoop(rate, 1.0);
    auto buffer = testsupport::toBuffer(x, x);
    testsupport::AllocationCounter counter;
    for (int start = 0, block = 0; start + blockSize <= buffer.getNumSamples(); start += blockSize, ++block)
    {
        auto s = driven((block / 3) % 4, (float)(block % 7) * 15.0f);
        s.driveOn = block % 11 != 10;
        float* channels[2] = {buffer.getWritePointer(0, start), buffer.getWritePointer(1, start)};
        engine.process(channels, 2, blockSize, s);
    }
    EXPECT_EQ(counter.count(), 0);
}

// A figure for the report, not a pass/fail check: a 7 kHz sine at -6 dBFS through the engine
// at full drive; the strongest component that is not a harmonic below Nyquist (so an alias
// or other spurious line), relative to the fundamental.
TEST(DriveEngine, DISABLED_ReportAliasingOfA7kHzSineAtFullDrive)
{
    constexpr int order = 15;
    constexpr int length = 1 << order;
    constexpr int settle = 48000;
    const int bin = 4779; // 7000.5 Hz: a whole number of periods in the window
    const double frequency = rate * bin / length;
    const auto x = testsupport::sine(frequency, rate, length + settle, 0.5012f);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        const auto y = render(x, driven(type, 100.0f));
        const auto spectrum = testsupport::magnitudeSpectrum(y.data() + settle, order);
        const double fundamental = testsupport::peakAround(spectrum, bin, 4);
        double strongest = 0.0;
        int strongestBin = 0;
        for (int b = 8; b < (int)spectrum.size(); ++b)
        {
            bool harmonic = false;
            for (int h = 1; h * bin < length / 2; ++h)
                harmonic = harmonic || std::abs(b - h * bin) <= 6;
            if (!harmonic && spectrum[(size_t)b] > strongest)
            {
                strongest = spectrum[(size_t)b];
                strongestBin = b;
            }
        }
        std::printf("%-12s strongest non-harmonic %.1f dB re fundamental at %.0f Hz\n",
                    driveTypes[(size_t)type].name, testsupport::decibels(strongest / fundamental),
                    rate * strongestBin / length);
    }
}
