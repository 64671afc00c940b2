#include "learn/LearnAnalyzer.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;
constexpr int samplesPerMs = 48;
constexpr double msPerSample = 1000.0 / rate;

int samplesOf(double seconds)
{
    return (int)std::lround(seconds * rate);
}

void analyseMono(LearnAnalyzer& analyzer, const std::vector<float>& x)
{
    analyzer.analyse(x.data(), nullptr, nullptr, (int)x.size());
}

LearnAnalyzer preparedAnalyzer(double sampleRate = rate)
{
    LearnAnalyzer analyzer;
    analyzer.prepare(sampleRate);
    return analyzer;
}

void append(std::vector<float>& x, const std::vector<float>& more)
{
    x.insert(x.end(), more.begin(), more.end());
}

// A unipolar pulse: `amplitude` held for `holdMs`, then silence until `totalMs`.
std::vector<float> heldPulse(float amplitude, double holdMs, double totalMs)
{
    std::vector<float> x((size_t)samplesOf(totalMs / 1000.0), 0.0f);
    std::fill_n(x.begin(), samplesOf(holdMs / 1000.0), amplitude);
    return x;
}

// Drum-like hits at `bpm`: a linear attack to 0.8 and a 60 ms exponential
// decay on a rectified 2 kHz carrier, over a steady bed at -40 dBFS that keeps
// every 50 ms block counted without producing onsets of its own. With a carrier
// of 0 Hz and no bed the hit is a bare unipolar shape.
std::vector<float> pulseTrain(double seconds, double bpm, double attackMs, double carrierHz = 2000.0,
                              float bed = 0.01f)
{
    const int length = samplesOf(seconds);
    const int period = samplesOf(60.0 / bpm);
    const int attack = samplesOf(attackMs / 1000.0);
    auto x = testsupport::sine(100.0, rate, length, bed);
    for (int i = 0; i < length; ++i)
    {
        const int t = i % period;
        const double shape = t < attack ? (double)t / attack : std::exp(-(t - attack) / (0.06 * rate));
        const double phase = 2.0 * juce::MathConstants<double>::pi * carrierHz * i / rate;
        const double carrier = carrierHz > 0.0 ? std::abs(std::sin(phase)) : 1.0;
        x[(size_t)i] += (float)(0.8 * shape * carrier);
    }
    return x;
}

float riseOfPulseTrain(double attackMs)
{
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, pulseTrain(9.0, 120.0, attackMs));
    return analyzer.finishStatistics().statistics.rise;
}
} // namespace

// --- What counts -------------------------------------------------------------

TEST(LearnAnalyzerCounting, SilenceCountsNothingAndNeverFinishes)
{
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, std::vector<float>((size_t)samplesOf(20.0), 0.0f));

    EXPECT_EQ(analyzer.getCountedSamples(), 0);
    EXPECT_EQ(analyzer.progress(), 0.0);
    EXPECT_FALSE(analyzer.hasCountedEnough());
    EXPECT_NEAR(analyzer.secondsAnalysed(), 20.0, 1e-9);

    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.seconds, 0.0f);
    EXPECT_EQ(s.peak, -100.0f);
    EXPECT_EQ(s.rms, -100.0f);
    EXPECT_EQ(s.p50, -100.0f);
    EXPECT_EQ(s.p95, -100.0f);
    EXPECT_EQ(s.onsetRate, 0.0f);
    EXPECT_EQ(s.sustain, 0.0f);
}

TEST(LearnAnalyzerCounting, QuietBlocksDoNotCountTowardsTheEightSeconds)
{
    // Half-second segments alternating between -70 and -10 dBFS peaks, aligned
    // to the 50 ms blocks so that no block mixes both.
    auto analyzer = preparedAnalyzer();
    const int segment = samplesOf(0.5);
    const auto quiet = testsupport::sine(1000.0, rate, segment, std::pow(10.0f, -70.0f / 20.0f));
    const auto loud = testsupport::sine(1000.0, rate, segment, std::pow(10.0f, -10.0f / 20.0f));

    for (int pair = 0; pair < 15; ++pair)
    {
        analyseMono(analyzer, quiet);
        analyseMono(analyzer, loud);
    }
    analyseMono(analyzer, quiet);
    EXPECT_NEAR(analyzer.progress(), 7.5 / 8.0, 1e-9);
    EXPECT_FALSE(analyzer.hasCountedEnough());

    analyseMono(analyzer, loud);
    EXPECT_TRUE(analyzer.hasCountedEnough());
    EXPECT_EQ(analyzer.progress(), 1.0);
    EXPECT_NEAR(analyzer.secondsAnalysed(), 16.0, 1e-9);

    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_NEAR(s.seconds, 8.0f, 1e-6f);
    // Only the loud blocks are in the percentiles: a sine's RMS is 3.01 dB below its peak.
    EXPECT_NEAR(s.p50, -13.01f, 0.01f);
    EXPECT_NEAR(s.p95, -13.01f, 0.01f);
    // The RMS covers everything analysed, quiet halves included (half the power).
    EXPECT_NEAR(s.rms, -13.01f - 3.01f, 0.02f);
}

TEST(LearnAnalyzerCounting, ResetForgetsThePreviousRun)
{
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, testsupport::sine(440.0, rate, samplesOf(2.0), 0.5f));
    analyzer.reset();

    EXPECT_EQ(analyzer.getCountedSamples(), 0);
    EXPECT_EQ(analyzer.secondsAnalysed(), 0.0);
    const auto finished = analyzer.finishStatistics();
    EXPECT_EQ(finished.statistics.peak, -100.0f);
    EXPECT_EQ(finished.statistics.p50, -100.0f);
    EXPECT_TRUE(finished.captured.empty());
    EXPECT_FALSE(isUsableForMapping(finished.statistics));
}

// --- Levels -------------------------------------------------------------------

TEST(LearnAnalyzerLevels, SteadySineHasEqualPercentilesAndASinesCrest)
{
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, testsupport::sine(1000.0, rate, samplesOf(8.0), 0.1f)); // -20 dBFS peak
    ASSERT_TRUE(analyzer.hasCountedEnough());

    const auto s = analyzer.finishStatistics().statistics;
    const float blockLevel = -20.0f - 3.0103f;
    EXPECT_NEAR(s.p50, blockLevel, 0.01f);
    EXPECT_NEAR(s.p75, blockLevel, 0.01f);
    EXPECT_NEAR(s.p90, blockLevel, 0.01f);
    EXPECT_NEAR(s.p95, blockLevel, 0.01f);
    EXPECT_NEAR(s.peak, -20.0f, 0.01f);
    EXPECT_NEAR(s.rms, blockLevel, 0.01f);
    EXPECT_NEAR(s.crest, 3.01f, 0.02f);
    EXPECT_NEAR(s.seconds, 8.0f, 1e-6f);
    // The envelope never leaves the top of a steady tone.
    EXPECT_GT(s.sustain, 0.99f);

    // A steady tone has no onsets: every timing field keeps its default.
    EXPECT_EQ(s.onsetRate, 0.0f);
    EXPECT_EQ(s.onsetIvl, 1000.0f);
    EXPECT_EQ(s.rise, 10.0f);
    EXPECT_EQ(s.riseN, 0);
    EXPECT_EQ(s.decay, 200.0f);
    EXPECT_EQ(s.decayN, 0);
}

TEST(LearnAnalyzerLevels, PercentilesFollowTheSpreadOfBlockLevels)
{
    // Four seconds at -30 dBFS RMS, then four at -10: the median sits between,
    // the upper percentiles at the loud level.
    auto analyzer = preparedAnalyzer();
    const float quietPeak = std::pow(10.0f, -30.0f / 20.0f) * std::sqrt(2.0f);
    const float loudPeak = std::pow(10.0f, -10.0f / 20.0f) * std::sqrt(2.0f);
    analyseMono(analyzer, testsupport::sine(1000.0, rate, samplesOf(4.0), quietPeak));
    analyseMono(analyzer, testsupport::sine(1000.0, rate, samplesOf(4.0), loudPeak));

    const auto s = analyzer.finishStatistics().statistics;
    // 160 blocks, 80 of each: the median interpolates between the 80th and 81st.
    EXPECT_NEAR(s.p50, -20.0f, 0.02f);
    EXPECT_NEAR(s.p75, -10.0f, 0.01f);
    EXPECT_NEAR(s.p95, -10.0f, 0.01f);
}

TEST(LearnAnalyzerLevels, SustainIsTheTimeTheEnvelopeStaysAboveATenthOfThePeak)
{
    // Half a second at 0.5, then half a second at 0.04 (8 % of the peak, still
    // counted). The 20 ms release takes 20 ms x ln(0.46 / 0.01) = 76.6 ms to
    // fall from 0.5 to a tenth of it over the 0.04 floor.
    auto analyzer = preparedAnalyzer();
    auto x = testsupport::constant(samplesOf(0.5), 0.5f);
    append(x, testsupport::constant(samplesOf(0.5), 0.04f));
    analyseMono(analyzer, x);

    const auto s = analyzer.finishStatistics().statistics;
    ASSERT_NEAR(s.seconds, 1.0f, 1e-6f);
    EXPECT_NEAR(s.sustain, 0.5 + 0.020 * std::log(0.46 / 0.01), 0.001);
}

TEST(LearnAnalyzerLevels, HighFrequencyShareSeparatesLowFromHighTones)
{
    // The share is measured against a one-pole low-pass at 2 kHz: a 200 Hz tone
    // leaves under 1 % above it, a 10 kHz tone over 70 %.
    auto low = preparedAnalyzer();
    analyseMono(low, testsupport::sine(200.0, rate, samplesOf(2.0), 0.5f));
    auto high = preparedAnalyzer();
    analyseMono(high, testsupport::sine(10000.0, rate, samplesOf(2.0), 0.5f));

    EXPECT_LT(low.finishStatistics().statistics.hf, 0.01f);
    EXPECT_GT(high.finishStatistics().statistics.hf, 0.7f);
}

// --- Onsets and timing ---------------------------------------------------------

TEST(LearnAnalyzerTiming, SingleOnsetHasARateAndTheDefaultInterval)
{
    auto analyzer = preparedAnalyzer();
    auto x = std::vector<float>((size_t)samplesOf(0.2), 0.0f);
    append(x, heldPulse(0.5f, 10.0, 1000.0));
    analyseMono(analyzer, x);

    const auto s = analyzer.finishStatistics().statistics;
    ASSERT_GT(s.seconds, 0.0f);
    EXPECT_NEAR(s.onsetRate, 1.0f / s.seconds, 1e-4f);
    EXPECT_EQ(s.onsetIvl, 1000.0f);
}

TEST(LearnAnalyzerTiming, DecayThatStaysAboveTheMarkRecordsHalfASecond)
{
    // The level falls to 60 % of the peak (enough to end the onset) and stays there.
    auto analyzer = preparedAnalyzer();
    auto x = heldPulse(0.5f, 10.0, 10.0);
    append(x, testsupport::constant(samplesOf(2.0), 0.3f));
    analyseMono(analyzer, x);

    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_EQ(s.decayN, 1);
    EXPECT_EQ(s.decay, 500.0f);
}

TEST(LearnAnalyzerTiming, LevelHeldLongerThanTwentyMillisecondsIsNoHit)
{
    // The step settles within about 8 ms; 20 ms later without a new peak or a
    // fall the candidate is dropped, so the fall at 100 ms confirms nothing.
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, heldPulse(0.5f, 100.0, 500.0));
    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_EQ(s.riseN, 0);
    EXPECT_EQ(s.decayN, 0);
    EXPECT_EQ(s.onsetRate, 0.0f);
}

TEST(LearnAnalyzerTiming, HitsCloserThanThirtyMillisecondsCountOnce)
{
    // A small 5 ms hit, then a much larger one 20 ms (or 40 ms) after its start.
    const auto twoHits = [](double gapMs)
    {
        auto x = heldPulse(0.1f, 5.0, gapMs);
        append(x, heldPulse(0.9f, 5.0, 300.0));
        auto analyzer = preparedAnalyzer();
        analyseMono(analyzer, x);
        return analyzer.finishStatistics().statistics;
    };

    const auto close = twoHits(20.0);
    EXPECT_EQ(close.riseN, 1);
    EXPECT_NEAR(close.onsetRate * close.seconds, 1.0f, 1e-4f);

    const auto apart = twoHits(40.0);
    EXPECT_EQ(apart.riseN, 2);
    EXPECT_NEAR(apart.onsetRate * apart.seconds, 2.0f, 1e-4f);
    EXPECT_NEAR(apart.onsetIvl, 40.0f, 2 * msPerSample);
}

TEST(LearnAnalyzerTiming, PulseTrainGivesItsTempoAndAttack)
{
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, pulseTrain(9.0, 120.0, 5.0));
    ASSERT_TRUE(analyzer.hasCountedEnough());

    const auto s = analyzer.finishStatistics().statistics;
    // 16 hits in the 8 counted seconds; identical hits sit exactly 24000 samples apart.
    EXPECT_NEAR(s.onsetRate, 2.0f, 1e-4f);
    EXPECT_NEAR(s.onsetIvl, 500.0f, msPerSample);
    // A linear 5 ms attack spends 4 ms between 10 % and 90 %. On a carrier the
    // follower charges only near the crests, so it reaches 90 % up to about one
    // attack time constant (0.5 ms) late: 4 to 5 ms.
    EXPECT_EQ(s.riseN, 16);
    EXPECT_GE(s.rise, 4.0f);
    EXPECT_LE(s.rise, 5.0f);
    EXPECT_EQ(s.decayN, 16);
}

TEST(LearnAnalyzerTiming, SlowerAttackMeasuresLongerByTheRampDifference)
{
    // 80 % of the 5 ms longer ramp; the follower's lag is the same for both and
    // cancels, leaving the carrier's crest spacing (0.25 ms) as the uncertainty.
    EXPECT_NEAR(riseOfPulseTrain(10.0) - riseOfPulseTrain(5.0), 4.0f, 0.25f);
}

TEST(LearnAnalyzerTiming, DecayOfAnExponentialHitFollowsTheReleaseFollower)
{
    // From its peak, a one-pole 20 ms release fed a 60 ms exponential decay
    // follows 1.5 e^(-t/60) - 0.5 e^(-t/20) of the peak. That crosses 95 % (the
    // onset is confirmed, the decay clock starts) at 12.54 ms and 36.8 % at
    // 83.04 ms: 70.50 ms, whatever the attack. The discrete follower adds at
    // most a couple of samples.
    for (double attackMs : {2.0, 10.0})
    {
        auto analyzer = preparedAnalyzer();
        analyseMono(analyzer, pulseTrain(4.0, 120.0, attackMs, 0.0, 0.0f));
        const auto s = analyzer.finishStatistics().statistics;
        EXPECT_EQ(s.decayN, 8);
        EXPECT_NEAR(s.decay, 70.50f, 0.1f) << attackMs;
    }
}

TEST(LearnAnalyzerTiming, DrumLoopCountsOneOnsetPerHit)
{
    // Noise bursts over a decaying 60 Hz thump with alternating accents: the
    // thump's half-cycles and the noise must not count as hits of their own.
    auto analyzer = preparedAnalyzer();
    analyseMono(analyzer, testsupport::drumLoop(rate, 12.0, 120.0));
    const auto s = analyzer.finishStatistics().statistics;

    ASSERT_NEAR(s.seconds, 8.0f, 1e-6f);
    EXPECT_NEAR(s.onsetRate, 2.0f, 1e-4f);
    // The accents move the moment a hit is confirmed by a few samples.
    EXPECT_NEAR(s.onsetIvl, 500.0f, 1.0f);
    EXPECT_EQ(s.riseN, 16);
    EXPECT_LT(s.rise, 10.0f);
}

// --- Rate ---------------------------------------------------------------------

TEST(LearnAnalyzerRate, LowHostRatesAnalyseAsEightKilohertz)
{
    auto analyzer = preparedAnalyzer(4000.0);
    EXPECT_EQ(analyzer.getSampleRate(), 8000.0);
    EXPECT_EQ(analyzer.getRmsBlockLength(), 400);
    EXPECT_EQ(analyzer.getMaxCaptureSamples(), 320000u);

    // Eight seconds' worth of samples at 8000 Hz finish the count.
    analyseMono(analyzer, testsupport::sine(500.0, 8000.0, 8 * 8000 - 1, 0.5f));
    EXPECT_FALSE(analyzer.hasCountedEnough());
    analyseMono(analyzer, testsupport::constant(1, 0.5f));
    EXPECT_TRUE(analyzer.hasCountedEnough());

    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_EQ(s.traceSampleRate, 8000.0);
    EXPECT_EQ(s.traceSamplesPerPoint, 8);

    for (double nonsense : {0.0, -44100.0, std::nan(""), HUGE_VAL})
        EXPECT_EQ(preparedAnalyzer(nonsense).getSampleRate(), 8000.0) << nonsense;
}

// --- Capture and trace --------------------------------------------------------

TEST(LearnAnalyzerCapture, CaptureStopsAtFortySeconds)
{
    auto analyzer = preparedAnalyzer(8000.0);
    analyseMono(analyzer, std::vector<float>(45 * 8000, 0.0f));
    const auto finished = analyzer.finishStatistics();
    EXPECT_EQ(finished.captured.size(), 320000u);
    EXPECT_NEAR(analyzer.secondsAnalysed(), 45.0, 1e-9);
}

TEST(LearnAnalyzerCapture, FinishingHandsTheCapturedAudioOver)
{
    auto analyzer = preparedAnalyzer();
    const auto left = testsupport::sine(300.0, rate, 1000, 0.4f);
    const auto right = testsupport::sine(700.0, rate, 1000, 0.2f);
    const auto mono = testsupport::noise(1000, 0.5f);
    analyzer.analyse(mono.data(), left.data(), right.data(), 1000);

    auto first = analyzer.finishStatistics();
    EXPECT_EQ(first.captured, mono);
    ASSERT_EQ(first.capturedChannels.size(), 2u);
    EXPECT_EQ(first.capturedChannels[0], left);
    EXPECT_EQ(first.capturedChannels[1], right);
    EXPECT_TRUE(isUsableForMapping(first.statistics));

    // The audio moved out: a second finish has nothing to trace.
    auto second = analyzer.finishStatistics();
    EXPECT_TRUE(second.captured.empty());
    EXPECT_TRUE(second.capturedChannels.empty());
    EXPECT_FALSE(isUsableForMapping(second.statistics));
}

TEST(LearnAnalyzerCapture, TraceBytesAreHalfDecibelsAboveMinusHundred)
{
    auto analyzer = preparedAnalyzer();
    // Two whole periods of a 1 kHz sine at 0.5 (one per 1 ms point), then a
    // 4-sample tail at 0.01 that forms a short last point of its own.
    auto x = testsupport::sine(1000.0, rate, 2 * samplesPerMs, 0.5f);
    append(x, testsupport::constant(4, 0.01f));
    analyseMono(analyzer, x);

    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_EQ(s.traceSampleRate, rate);
    EXPECT_EQ(s.traceSamplesPerPoint, samplesPerMs);
    ASSERT_EQ(s.tracePeak.size(), 3u);
    ASSERT_EQ(s.traceRms.size(), 3u);
    // Peak -6.02 dBFS -> 187.96, RMS -9.03 dBFS -> 181.94.
    EXPECT_EQ(s.tracePeak[0], 188);
    EXPECT_EQ(s.traceRms[0], 182);
    EXPECT_EQ(s.tracePeak[1], 188);
    // The short point is measured over its own four samples: -40 dBFS both ways.
    EXPECT_EQ(s.tracePeak[2], 120);
    EXPECT_EQ(s.traceRms[2], 120);
}

TEST(LearnAnalyzerCapture, TraceOfSilenceAndFullScaleClamps)
{
    auto analyzer = preparedAnalyzer(44100.0);
    auto x = std::vector<float>(44, 0.0f);
    append(x, testsupport::constant(44, 4.0f));   // +12.04 dBFS: byte 224
    append(x, testsupport::constant(44, 100.0f)); // +40 dBFS is past the top byte
    analyseMono(analyzer, x);

    const auto s = analyzer.finishStatistics().statistics;
    EXPECT_EQ(s.traceSamplesPerPoint, 44); // 44.1 samples per ms, rounded
    ASSERT_EQ(s.tracePeak.size(), 3u);
    EXPECT_EQ(s.tracePeak[0], 0);
    EXPECT_EQ(s.traceRms[0], 0);
    EXPECT_EQ(s.tracePeak[1], 224);
    EXPECT_EQ(s.tracePeak[2], 255);
    EXPECT_EQ(s.traceRms[2], 255);
}

// --- Draining the FIFO --------------------------------------------------------

TEST(LearnAnalyzerDrain, DrainsEverythingAndAnalysesTheLoudestChannel)
{
    CaptureFifo fifo;
    fifo.prepare(rate, 2);
    auto analyzer = preparedAnalyzer();
    std::atomic<int> phase{learnPhaseArmed};

    const auto left = testsupport::sine(1000.0, rate, 4800, 0.1f);
    const auto right = testsupport::sine(1000.0, rate, 4800, 0.5f);
    const float* channels[] = {left.data(), right.data()};
    for (int block = 0; block < 10; ++block)
    {
        const float* offset[] = {channels[0] + block * 480, channels[1] + block * 480};
        fifo.feed(offset, 2, 480, phase);
    }
    analyzer.drainCapture(fifo);

    EXPECT_EQ(fifo.getNumReady(), 0);
    EXPECT_EQ(analyzer.getTotalSamples(), 4800);
    const auto finished = analyzer.finishStatistics();
    EXPECT_EQ(finished.captured, right); // the right channel is always the louder
    ASSERT_EQ(finished.capturedChannels.size(), 2u);
    EXPECT_EQ(finished.capturedChannels[0], left);
    EXPECT_EQ(finished.capturedChannels[1], right);
    EXPECT_NEAR(finished.statistics.peak, 20.0f * std::log10(0.5f), 0.01f);
}

TEST(LearnAnalyzerDrain, MonoFifoGivesNoChannelCapture)
{
    CaptureFifo fifo;
    fifo.prepare(rate, 1);
    auto analyzer = preparedAnalyzer();
    std::atomic<int> phase{learnPhaseArmed};
    const auto x = testsupport::sine(1000.0, rate, 480, 0.3f);
    const float* channels[] = {x.data()};
    fifo.feed(channels, 1, 480, phase);
    analyzer.drainCapture(fifo);

    const auto finished = analyzer.finishStatistics();
    EXPECT_EQ(finished.captured, x);
    EXPECT_TRUE(finished.capturedChannels.empty());
}

TEST(LearnAnalyzerDrain, SamplesPastTheCountAreConsumedUnanalysed)
{
    CaptureFifo fifo;
    fifo.prepare(8000.0, 1);
    auto analyzer = preparedAnalyzer(8000.0);
    std::atomic<int> phase{learnPhaseArmed};
    const auto x = testsupport::sine(500.0, 8000.0, 8000, 0.5f);
    const float* channels[] = {x.data()};

    // Ten seconds in one-second blocks, drained after every block (the FIFO
    // holds just under 8192 samples).
    for (int second = 0; second < 10; ++second)
    {
        fifo.feed(channels, 1, 8000, phase);
        analyzer.drainCapture(fifo);
        EXPECT_EQ(fifo.getNumReady(), 0);
    }
    EXPECT_TRUE(analyzer.hasCountedEnough());
    EXPECT_EQ(analyzer.getTotalSamples(), 8 * 8000);
}

// --- The record ---------------------------------------------------------------

TEST(LearnStatisticsRecord, UsableOnlyWithAValidRecordAndACompleteTrace)
{
    LearnStatistics s;
    EXPECT_FALSE(isUsableForMapping(s));

    s.valid = true;
    s.traceSampleRate = 48000.0;
    s.traceSamplesPerPoint = 48;
    s.tracePeak = {10, 20};
    s.traceRms = {5, 15};
    EXPECT_TRUE(isUsableForMapping(s));

    auto unequal = s;
    unequal.traceRms.pop_back();
    EXPECT_FALSE(isUsableForMapping(unequal));
    auto noRate = s;
    noRate.traceSampleRate = 0.0;
    EXPECT_FALSE(isUsableForMapping(noRate));
    auto noPoints = s;
    noPoints.traceSamplesPerPoint = 0;
    EXPECT_FALSE(isUsableForMapping(noPoints));
    auto unfinished = s;
    unfinished.valid = false;
    EXPECT_FALSE(isUsableForMapping(unfinished));
}
