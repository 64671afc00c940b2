#include "processor/TruePeakDetector.h"
#include "processor/Metering.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <limits>
#include <vector>

using namespace orlix;

namespace
{
constexpr double pi = 3.14159265358979323846;

// The interpolator written out from its definition, in double: a 48-tap
// Hann-windowed sinc centred between taps 23 and 24, split into four phases,
// each normalised to unit gain at DC.
std::array<std::array<double, 12>, 4> referencePhases()
{
    std::array<std::array<double, 12>, 4> phases{};
    for (int p = 0; p < 4; ++p)
    {
        double sum = 0.0;
        for (int j = 0; j < 12; ++j)
        {
            const int i = p + 4 * j;
            const double t = (i - 23.5) / 4.0;
            const double window = 0.5 - 0.5 * std::cos(2.0 * pi * i / 47.0);
            phases[(size_t)p][(size_t)j] = window * std::sin(pi * t) / (pi * t);
            sum += phases[(size_t)p][(size_t)j];
        }
        for (auto& c : phases[(size_t)p])
            c /= sum;
    }
    return phases;
}

// The largest of |x| and every interpolated point after the first 12 samples, in double.
double referencePeak(const std::vector<float>& x)
{
    const auto phases = referencePhases();
    double peak = 0.0;
    for (size_t n = 11; n < x.size(); ++n)
    {
        peak = std::max(peak, std::abs((double)x[n]));
        for (const auto& c : phases)
        {
            double y = 0.0;
            for (size_t j = 0; j < 12; ++j)
                y += c[j] * x[n - j];
            peak = std::max(peak, std::abs(y));
        }
    }
    return peak;
}

double db(double v)
{
    return 20.0 * std::log10(v);
}

// The detector as the old sample-by-sample filter ran it: same sum order.
float sampleBySamplePeak(const std::vector<float>& x)
{
    std::array<float, 12> ring{};
    float peak = 0.0f;
    for (float v : x)
    {
        std::rotate(ring.rbegin(), ring.rbegin() + 1, ring.rend());
        ring[0] = v;
        peak = std::max(peak, std::abs(v));
        for (const auto& c : TruePeakDetector::phases())
        {
            float y = 0.0f;
            for (size_t j = 0; j < 12; ++j)
                y += c[j] * ring[j];
            peak = std::max(peak, std::abs(y));
        }
    }
    return peak;
}
} // namespace

TEST(TruePeakDetector, ReadsKnownInterSamplePeaksAsTheInterpolatorDefinesThem)
{
    // An fs/4 sine at 45 degrees: every sample sits 3.01 dB below the true peak.
    const auto quarter = testsupport::sine(12000.0, 48000.0, 4096, 0.5f, pi / 4.0);
    // The first 11 samples fill the history; an abrupt start would overshoot.
    auto settledPeak = [](const std::vector<float>& x)
    {
        TruePeakDetector detector;
        detector.blockPeak(x.data(), 11);
        return detector.blockPeak(x.data() + 11, (int)x.size() - 11);
    };
    const float measured = settledPeak(quarter);
    const double samplePeak = 0.5 / std::sqrt(2.0);
    EXPECT_NEAR(db(samplePeak / 0.5), -3.01, 0.01);
    EXPECT_NEAR(db(measured), db(referencePeak(quarter)), 0.01);
    // Well above the samples: within the 48-tap filter's droop at fs/4 of the true peak.
    EXPECT_GT(db(measured) - db(samplePeak), 2.75);

    // Other frequencies and phases, against the same definition.
    for (const double frequency : {997.0, 5000.0, 11025.0, 15000.0})
        for (const double phase : {0.1, 0.7, 1.3})
        {
            const auto x = testsupport::sine(frequency, 48000.0, 4096, 0.8f, phase);
            EXPECT_NEAR(db(settledPeak(x)), db(referencePeak(x)), 0.01)
                << frequency << " Hz, phase " << phase;
        }
}

TEST(TruePeakDetector, BlocksOfAnySizeGiveTheSampleBySampleResultExactly)
{
    const auto x = testsupport::noise(6000, 0.9f, 3);
    const float expected = sampleBySamplePeak(x);
    for (int blockSize : {1, 5, 11, 12, 64, 255, 256, 257, 1000, 6000})
    {
        TruePeakDetector detector;
        float peak = 0.0f;
        for (int start = 0; start < (int)x.size(); start += blockSize)
            peak = std::max(peak,
                            detector.blockPeak(x.data() + start, std::min(blockSize, (int)x.size() - start)));
        EXPECT_EQ(peak, expected) << blockSize;
    }
}

TEST(TruePeakDetector, LargestMagnitudeFindsThePeakWhereverItSits)
{
    // Every length around the lane width, with the peak (negative or positive) at every position.
    for (int n = 1; n <= 35; ++n)
        for (int at = 0; at < n; ++at)
            for (float sign : {-1.0f, 1.0f})
            {
                std::vector<float> x((size_t)n, 0.25f);
                for (int i = 0; i < n; i += 2)
                    x[(size_t)i] = -0.5f;
                x[(size_t)at] = sign * 0.75f;
                ASSERT_EQ(TruePeakDetector::largestMagnitude(x.data(), n), 0.75f) << n << " " << at;
            }
    EXPECT_EQ(TruePeakDetector::largestMagnitude(nullptr, 0), 0.0f);

    // A NaN is passed over, in the vector part and in the tail, before and after the peak.
    std::vector<float> y(40, 0.25f);
    y[3] = std::numeric_limits<float>::quiet_NaN();
    y[21] = -0.75f;
    y[30] = y[38] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(TruePeakDetector::largestMagnitude(y.data(), 40), 0.75f);
}

TEST(TruePeakDetector, SkippingQuietBlocksNeverMissesAClip)
{
    // Blocks scaled all around the level where skipping stops being safe: the
    // shortcut must agree with the full computation every time.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> samplePeak(0.5f, 1.0f);
    TruePeakDetector withShortcut, withoutShortcut, runningMaximum;
    int clips = 0;
    float fullPeak = 0.0f, skippingPeak = 0.0f;
    for (int block = 0; block < 4000; ++block)
    {
        auto x = testsupport::noise(64, 1.0f, (std::uint32_t)block + 1);
        float largest = 0.0f;
        for (float v : x)
            largest = std::max(largest, std::abs(v));
        const float gain = samplePeak(random) / largest;
        for (auto& v : x)
            v *= gain;
        const float peak = withoutShortcut.blockPeak(x.data(), 64);
        fullPeak = std::max(fullPeak, peak);
        skippingPeak = std::max(skippingPeak, runningMaximum.blockPeakAbove(x.data(), 64, skippingPeak));
        const bool expected = peak >= 0.999f;
        EXPECT_EQ(withShortcut.reaches(x.data(), 64, 0.999f), expected) << block;
        clips += expected ? 1 : 0;
    }
    EXPECT_EQ(skippingPeak, fullPeak); // a running maximum that skips quiet blocks misses nothing
    EXPECT_GT(clips, 100);             // both outcomes were exercised
    EXPECT_LT(clips, 3900);
}

TEST(Metering, ClipFlagsFollowTheTruePeakAndStayUntilCleared)
{
    Metering meters;
    meters.prepare(48000.0, 2);
    // fs/4 at 45 degrees: the samples stay 3 dB under the true peak, so only
    // the interpolation (0.2 dB short of the true peak this high) sees the
    // 1.05 block clip.
    auto block = [](float amplitude)
    {
        const auto x = testsupport::sine(12000.0, 48000.0, 512, amplitude, pi / 4.0);
        return testsupport::toBuffer(x, x);
    };
    const auto quiet = block(0.9f);
    const auto loud = block(1.05f);
    meters.meterInput(quiet, 2, 512);
    EXPECT_FALSE(meters.inputClipped());
    meters.meterInput(loud, 2, 512);
    EXPECT_TRUE(meters.inputClipped());
    meters.meterInput(quiet, 2, 512);
    EXPECT_TRUE(meters.inputClipped()); // latched
    meters.clearClipFlags();
    meters.meterInput(quiet, 2, 512);
    EXPECT_FALSE(meters.inputClipped());
    EXPECT_NEAR(meters.takeInputPeak(), 1.05f / std::sqrt(2.0f), 1e-3f); // the bars show sample peaks
}
