#include "engine/DriveStage.h"
#include "support/AllocationCounter.h"
#include "support/Fft.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;

// Runs a signal through the stage in blocks; returns the stage's output (the drive difference).
std::vector<float> run(DriveStage& stage, std::vector<float> x, int blockSize = 512)
{
    for (int start = 0; start < (int)x.size(); start += blockSize)
        stage.process(x.data() + start, std::min(blockSize, (int)x.size() - start));
    return x;
}

std::vector<float> runFresh(int type, float amount, const std::vector<float>& x, int blockSize = 512)
{
    DriveStage stage;
    stage.prepare(rate, nullptr);
    stage.configure(type, amount);
    return run(stage, x, blockSize);
}

// The driven signal: the stage's difference added back to the input delayed by the latency.
std::vector<float> drivenSignal(const std::vector<float>& x, const std::vector<float>& difference,
                                int latency)
{
    std::vector<float> y(difference);
    for (size_t i = (size_t)latency; i < y.size(); ++i)
        y[i] += x[i - (size_t)latency];
    return y;
}

float largestAbs(const std::vector<float>& x, size_t from = 0)
{
    return testsupport::peakOf(x.data() + from, (int)(x.size() - from));
}
} // namespace

TEST(DriveStage, ZeroAmountOutputsExactlyZero)
{
    const auto x = testsupport::noise(20000, 0.8f);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
        for (float amount : {0.0f, 0.5e-4f})
        {
            const auto out = runFresh(type, amount, x);
            EXPECT_EQ(largestAbs(out), 0.0f) << driveTypes[(size_t)type].name << " " << amount;
        }
}

TEST(DriveStage, TapeRunsAt32xTheOthersAt16xWithOneLatency)
{
    DriveStage stage;
    stage.prepare(rate, nullptr);
    const int latency = stage.latency();
    EXPECT_GE(latency, (int)std::ceil(stage.oversamplerLatency(0)) + 1);
    EXPECT_GE(latency, (int)std::ceil(stage.oversamplerLatency(1)) + 1);
    EXPECT_LE(latency, (int)stage.oversamplerLatency(1) + 3);

    for (int type :
         {driveTypeTube, driveTypeTape, driveTypeTransformer, driveTypeTape, driveTypeFet, driveTypeTube})
    {
        stage.configure(type, 0.5f);
        EXPECT_EQ(stage.oversamplingFactor(), type == driveTypeTape ? 32 : 16);
        EXPECT_EQ(stage.latency(), latency);
    }
}

TEST(DriveStage, BothOversamplersLineUpWithTheDelayedDrySignal)
{
    // A quiet 4 kHz sine barely bends, so the driven signal must cancel against the dry one:
    // a misalignment of 0.1 sample would leave a residue near -26 dB.
    const auto x = testsupport::sine(4000.0, rate, 24000, 0.01f);
    for (int type : {driveTypeTube, driveTypeTape})
    {
        const auto out = runFresh(type, 1e-3f, x);
        const double residue =
            testsupport::rmsDb(out.data() + 12000, 12000) - testsupport::rmsDb(x.data(), 12000);
        EXPECT_LT(residue, -40.0) << driveTypes[(size_t)type].name;
    }
}

TEST(DriveStage, EverySampleRateKeepsTheAlignment)
{
    for (double fs : {8000.0, 44100.0, 96000.0, 192000.0})
    {
        DriveStage stage;
        stage.prepare(fs, nullptr);
        stage.configure(driveTypeTape, 1e-3f);
        const auto x = testsupport::sine(fs / 12.0, fs, 24000, 0.01f);
        const auto out = run(stage, x);
        const double residue =
            testsupport::rmsDb(out.data() + 12000, 12000) - testsupport::rmsDb(x.data(), 12000);
        EXPECT_LT(residue, -40.0) << fs;
    }
}

TEST(DriveStage, FullDriveKeepsTheLevelOfASineAtTheCalibrationLevel)
{
    // The normalisation is calibrated with a sine at about -18 dBFS and the sag a 1 kHz sine
    // causes; the TUBE curve's asymmetry also makes DC, which the high-pass removes (-0.8 dB).
    const auto x = testsupport::sine(1000.0, rate, 48000, testSineAmplitude);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        DriveStage stage;
        stage.prepare(rate, nullptr);
        stage.configure(type, 1.0f);
        const auto y = drivenSignal(x, run(stage, x), stage.latency());
        const double change =
            testsupport::rmsDb(y.data() + 24000, 24000) - testsupport::rmsDb(x.data() + 24000, 24000);
        EXPECT_NEAR(change, 0.0, 1.0) << driveTypes[(size_t)type].name;
        EXPECT_GT(largestAbs(run(stage, x)), 0.01f) << "and it does drive";
    }
}

TEST(DriveStage, TubeMakesEvenHarmonicsFetOnlyOddOnes)
{
    constexpr int order = 15;
    constexpr int length = 1 << order;
    constexpr int settle = 24000;
    const double frequency = rate * 512 / length; // 750 Hz, exactly on bin 512
    const auto x = testsupport::sine(frequency, rate, length + settle, 0.3f);

    auto harmonicsOf = [&](int type)
    {
        DriveStage stage;
        stage.prepare(rate, nullptr);
        stage.configure(type, 1.0f);
        const auto y = drivenSignal(x, run(stage, x), stage.latency());
        const auto spectrum = testsupport::magnitudeSpectrum(y.data() + settle, order);
        const double fundamental = testsupport::peakAround(spectrum, 512, 2);
        std::array<double, 7> db{};
        for (int h = 2; h <= 6; ++h)
            db[(size_t)h] =
                testsupport::decibels(testsupport::peakAround(spectrum, 512 * h, 2) / fundamental);
        return db;
    };

    const auto tube = harmonicsOf(driveTypeTube);
    EXPECT_GT(tube[2], -30.0);
    EXPECT_GT(tube[4], -40.0);
    const auto fet = harmonicsOf(driveTypeFet);
    EXPECT_GT(fet[3], -30.0);
    EXPECT_GT(fet[5], -40.0);
    // Mirror-image half-waves cancel the even harmonics down to rounding.
    for (size_t h : {2u, 4u, 6u})
        EXPECT_LT(fet[h], -100.0) << "H" << h;
}

TEST(DriveStage, FourSecondsOfSilenceStopTheWorkAfterThreeAndASampleResumesIt)
{
    DriveStage stage;
    stage.prepare(rate, nullptr);
    stage.configure(driveTypeTape, 0.8f);
    run(stage, testsupport::sine(300.0, rate, 24000, 0.5f));

    std::vector<float> block(480, 0.0f); // 10 ms
    int restingFrom = -1;
    for (int b = 0; b < 400; ++b)
    {
        std::fill(block.begin(), block.end(), 0.0f);
        stage.process(block.data(), (int)block.size());
        if (stage.isRestingInSilence() && restingFrom < 0)
            restingFrom = b;
        if (restingFrom >= 0)
        {
            EXPECT_TRUE(stage.isRestingInSilence()) << b;
            ASSERT_EQ(largestAbs(block), 0.0f) << b;
        }
    }
    EXPECT_EQ(restingFrom, 300); // more than 3 * 48000 silent samples after 301 blocks

    std::fill(block.begin(), block.end(), 0.0f);
    block[5] = 0.9f;
    stage.process(block.data(), (int)block.size());
    EXPECT_FALSE(stage.isRestingInSilence());
    EXPECT_GT(largestAbs(block), 1e-4f); // the click is driven again
}

TEST(DriveStage, ChangingTheHysteresisAmountWakesAStageResting)
{
    DriveStage stage;
    stage.prepare(rate, nullptr);
    stage.configure(driveTypeTransformer, 0.8f);
    std::vector<float> silence((size_t)(3.2 * rate), 0.0f);
    run(stage, silence);
    EXPECT_TRUE(stage.isRestingInSilence());
    stage.configure(driveTypeTransformer, 0.6f);
    std::vector<float> block(256, 0.0f);
    stage.process(block.data(), 256);
    EXPECT_FALSE(stage.isRestingInSilence());
}

TEST(DriveStage, ProcessAndConfigureAllocateNothing)
{
    DriveStage stage;
    stage.prepare(rate, nullptr);
    auto x = testsupport::noise(8192, 0.7f);
    testsupport::AllocationCounter counter;
    for (int i = 0; i < 12; ++i)
    {
        stage.configure(i % 4, 0.1f * (float)(i % 5));
        stage.process(x.data(), i == 5 ? 8192 : 512);
    }
    EXPECT_EQ(counter.count(), 0);
}

TEST(DriveStage, ResetGivesTheOutputOfAFreshStage)
{
    const auto x = testsupport::drumLoop(rate, 0.5);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        DriveStage stage;
        stage.prepare(rate, nullptr);
        stage.configure(type, 0.7f);
        const auto first = run(stage, x);
        stage.reset();
        stage.configure(type, 0.7f);
        const auto second = run(stage, x);
        EXPECT_EQ(first, second) << driveTypes[(size_t)type].name;
    }
}

TEST(DriveStage, BlockSizeDoesNotChangeTheResult)
{
    // A long block plans the hysteresis of each oversampled piece while the piece before runs;
    // a block of 16 is one piece, planned on its own, and blocks of 37 end in a short piece.
    const auto x = testsupport::drumLoop(rate, 0.5);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        const auto whole = runFresh(type, 0.6f, x, 8192);
        for (const int blockSize : {37, 16})
        {
            const auto small = runFresh(type, 0.6f, x, blockSize);
            float worst = 0.0f;
            for (size_t i = 0; i < x.size(); ++i)
                worst = std::max(worst, std::abs(whole[i] - small[i]));
            EXPECT_LT(worst, 1e-6f) << driveTypes[(size_t)type].name << ", blocks of " << blockSize;
        }
    }
}

TEST(DriveStage, TemplatePreparedStageMatchesOneThatMeasuredItself)
{
    DriveStage measured, copied;
    measured.prepare(rate, nullptr);
    copied.prepare(rate, &measured);
    EXPECT_EQ(copied.latency(), measured.latency());
    EXPECT_EQ(copied.oversamplerLatency(1), measured.oversamplerLatency(1));

    const auto x = testsupport::sustainedChord(rate, 0.3);
    measured.configure(driveTypeTransformer, 0.9f);
    copied.configure(driveTypeTransformer, 0.9f);
    EXPECT_EQ(run(measured, x), run(copied, x));

    // A template for another rate is not used.
    DriveStage other;
    other.prepare(44100.0, &measured);
    EXPECT_NE(other.envelopeReferences().fullBand, 0.0f);
    EXPECT_LE(std::abs(other.oversamplerLatency(0) - measured.oversamplerLatency(0)), 1e-9);
}

TEST(DriveStage, TakingOverTheRunningStateContinuesTheDryDelay)
{
    // Right after a hand-over the incoming stage's oversampler is still empty, but the dry
    // signal it subtracts must be the same one the active stage would subtract.
    const auto x = testsupport::sine(200.0, rate, 4800, 0.5f);
    DriveStage active, taken, fresh;
    for (auto* s : {&active, &taken, &fresh})
    {
        s->prepare(rate, nullptr);
        s->configure(driveTypeFet, 0.5f);
    }
    run(active, x);
    taken.takeOverRunningState(active);

    const auto whole = testsupport::sine(200.0, rate, 9600, 0.5f);
    const std::vector<float> next(whole.begin() + 4800, whole.end());
    const auto fromActive = run(active, next);
    const auto fromTaken = run(taken, next);
    const auto fromFresh = run(fresh, next);
    // Within the latency the hand-over stage outputs G_s - 1 times the same dry samples the
    // active one uses (G_s is 1.035 here); a fresh stage has no dry signal yet and outputs
    // only the filters' faint pre-ringing.
    EXPECT_GT(largestAbs(std::vector<float>(fromTaken.begin(), fromTaken.begin() + 20)), 1e-3f);
    EXPECT_LT(largestAbs(std::vector<float>(fromFresh.begin(), fromFresh.begin() + 20)), 1e-6f);
    // Once the oversampler has filled both stages agree.
    float worst = 0.0f;
    for (size_t i = 2000; i < next.size(); ++i)
        worst = std::max(worst, std::abs(fromActive[i] - fromTaken[i]));
    EXPECT_LT(worst, 1e-3f * largestAbs(fromActive));
}

TEST(DriveStage, ExtremeInputStaysFinite)
{
    auto x = testsupport::noise(9000, 8.0f);
    x[100] = 1e6f;
    x[200] = -1e6f;
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        const auto out = runFresh(type, 1.0f, x);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v)) << driveTypes[(size_t)type].name;
    }
}

TEST(DriveStage, BlocksBeyondTheBufferAreWrittenAsZero)
{
    DriveStage stage;
    stage.prepare(rate, nullptr);
    stage.configure(driveTypeTube, 1.0f);
    auto x = testsupport::noise(DriveStage::maxBlock + 100, 0.5f);
    stage.process(x.data(), (int)x.size());
    EXPECT_GT(largestAbs(std::vector<float>(x.begin(), x.begin() + DriveStage::maxBlock)), 0.0f);
    EXPECT_EQ(largestAbs(x, DriveStage::maxBlock), 0.0f);
}

namespace
{
// The complex amplitude of the component at `frequency` over a whole number of its periods.
std::complex<double> componentAt(const float* x, int n, double frequency, double sampleRate)
{
    std::complex<double> sum{};
    for (int i = 0; i < n; ++i)
        sum +=
            (double)x[i] * std::polar(1.0, -juce::MathConstants<double>::twoPi * frequency * i / sampleRate);
    return sum * (2.0 / n);
}

// What the stage should do to a steady sine, computed without oversampling filters, delay
// lines or alignment: the drive chain runs on the sine evaluated exactly at the oversampled
// instants, its fundamental is read off directly, and the base-rate normalisation, roll-off
// and high-pass are applied as the frequency responses they are. Returns the complex gain of
// the driven signal (input delayed by the latency plus the stage's output) over the input.
std::complex<double> referenceDrivenGain(int type, double frequency, float amplitude, double fs,
                                         EnvelopeReferences references)
{
    const auto m = designDrive(type, 1.0f);
    const double t = m.oversampling * fs;
    const double twoPi = juce::MathConstants<double>::twoPi;
    const auto attack = (float)std::exp(-1.0 / (0.015 * t)), release = (float)std::exp(-1.0 / (0.12 * t));
    const auto lowPass = (float)(1.0 - std::exp(-twoPi * 120.0 / t));

    const auto sine = makeTestSine();
    HysteresisCalibration calibration;
    const float gainH = hysteresisGain(m, sine, calibration);
    const double gainS = shaperGain(m, gainH, sine, calibration.response, references);

    const int settle = (int)(0.5 * t);
    const int periods = 400;
    const int measured = (int)std::lround(periods * t / frequency);
    float full = 0.0f, low = 0.0f, lp = 0.0f;
    HysteresisState hysteresis;
    std::array<ShaperStageState, 3> stages{};
    std::complex<double> in{}, out{};
    for (int i = 0; i < settle + measured; ++i)
    {
        const auto x = (float)(amplitude * std::sin(twoPi * frequency * i / t));
        full = std::abs(x) + (full - std::abs(x)) * (full < std::abs(x) ? attack : release);
        lp += (x - lp) * lowPass;
        low = std::abs(lp) + (low - std::abs(lp)) * (low < std::abs(lp) ? attack : release);
        const float k = std::max(m.lowBandSag ? low : full, 0.0f);
        const float u = (1.0f - m.sagDepth * m.amount * k / (k + m.sagKnee)) * m.bias;
        float y = x;
        if (m.hysteresisAmount > 0.0f)
        {
            if (i == 0)
                hysteresis.magnetisation = std::clamp(x / gainH, -1.0f, 1.0f);
            y += (hysteresisStep(hysteresis, x, m) * gainH - y) * m.hysteresisAmount;
        }
        for (int s = 0; s < m.stages; ++s)
            y = shaperStep(stages[(size_t)s], y, m, u);
        if (i >= settle)
        {
            const auto w = std::polar(1.0, -twoPi * frequency * i / t);
            in += (double)x * w;
            out += (double)y * w;
        }
    }
    const auto shaped = out / in;

    const auto z = std::polar(1.0, -twoPi * frequency / fs); // one base-rate sample of delay
    const double b = std::exp(-twoPi * 9000.0 / fs);
    const auto rollOff = 1.0 - m.rollOff + m.rollOff * (1.0 - b) / (1.0 - b * z);
    const double a = 1.0 - twoPi * m.highPassHz / fs;
    const auto highPass = (1.0 - z) / (1.0 - a * z);
    return 1.0 + highPass * (rollOff * gainS * shaped - 1.0);
}
} // namespace

TEST(DriveStage, FullDriveAtHighFrequencyMatchesAnUnalignedReference)
{
    // At full drive the stage's difference signal is a large share of the sine itself, so a
    // one-sample slip between the oversampled path and the dry delay turns an 8 kHz tone's
    // difference by 60 degrees: 1.4 to 10 dB and 12 to 43 degrees at the output. The reference
    // leaves out the oversampling filters and the fractional delay, whose own small errors on
    // the harmonics-rich difference keep it within 0.6 dB and 5.3 degrees of the stage.
    constexpr double frequency = 8000.0;
    constexpr float amplitude = 0.2f;
    const auto x = testsupport::sine(frequency, rate, 36000, amplitude);
    for (int type = 0; type < (int)driveTypes.size(); ++type)
    {
        DriveStage stage;
        stage.prepare(rate, nullptr);
        stage.configure(type, 1.0f);
        const auto y = drivenSignal(x, run(stage, x), stage.latency());
        const int from = 24000, length = 12000; // 2000 whole periods after the envelopes settled
        const auto measured = componentAt(y.data() + from, length, frequency, rate) /
                              componentAt(x.data() + from - stage.latency(), length, frequency, rate);
        const auto expected =
            referenceDrivenGain(type, frequency, amplitude, rate, stage.envelopeReferences());
        const auto ratio = measured / expected;
        EXPECT_NEAR(testsupport::decibels(std::abs(ratio)), 0.0, 1.0) << driveTypes[(size_t)type].name;
        EXPECT_NEAR(std::arg(ratio) * 180.0 / juce::MathConstants<double>::pi, 0.0, 8.0)
            << driveTypes[(size_t)type].name;
    }
}

TEST(DriveStage, AnIdleStageKeepsTheDryDelayWhateverItsBlockSizes)
{
    // A stage without drive only keeps its dry delay running; when the drive starts, the dry
    // signal it subtracts must be the same whether the idle blocks were long or short.
    // Block size 1 goes sample by sample; the others mix blocks around the stage latency.
    const auto x = testsupport::sine(300.0, rate, 6000, 0.5f);
    const std::vector<float> idle(x.begin(), x.begin() + 3000), driven(x.begin() + 3000, x.end());
    auto afterIdleBlocks = [&](const std::vector<int>& sizes)
    {
        DriveStage stage;
        stage.prepare(rate, nullptr);
        stage.configure(driveTypeTube, 0.0f);
        std::vector<float> block(idle);
        size_t at = 0;
        for (size_t k = 0; at < block.size(); ++k)
        {
            const int n = std::min(sizes[k % sizes.size()], (int)(block.size() - at));
            stage.process(block.data() + at, n);
            at += (size_t)n;
        }
        EXPECT_EQ(largestAbs(block), 0.0f); // no drive, no difference
        stage.configure(driveTypeTube, 0.8f);
        return run(stage, driven, 64);
    };
    DriveStage measured;
    measured.prepare(rate, nullptr);
    const int latency = measured.latency();
    ASSERT_GT(latency, 2);
    const auto reference = afterIdleBlocks({1});
    EXPECT_GT(largestAbs(reference), 1e-2f);
    EXPECT_EQ(afterIdleBlocks({latency - 1, latency, latency + 1, 512, 3, 1}), reference);
    EXPECT_EQ(afterIdleBlocks({2048}), reference);
}
