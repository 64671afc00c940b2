// How fast each character grabs and lets go, and how still its gain sits on a low tone:
// the time behaviour that steady-signal tests cannot see.
#include "engine/DynamicsEngine.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;
constexpr double samplesPerMs = rate / 1000.0;

EngineSettings hardKnee(int character, float attackMs, float releaseMs)
{
    EngineSettings s;
    s.character = character;
    s.thresholdDb = -30.0f;
    s.ratio = 4.0f;
    s.kneeDb = 0.0f;
    s.attackMs = attackMs;
    s.releaseMs = releaseMs;
    s.autoMakeup = false;
    return s;
}

// The gain reduction (dB) applied to every input sample: mono, drive off, no make-up, so
// the output is the input delayed by the latency times the gain.
std::vector<double> gainReduction(const std::vector<float>& x, const EngineSettings& s)
{
    DynamicsEngine engine;
    engine.prepare(rate, 1);
    engine.setActive(1.0f);
    const int latency = engine.latency();
    std::vector<float> y(x);
    y.resize(x.size() + (size_t)latency, 0.0f);
    for (int start = 0; start < (int)y.size(); start += 512)
    {
        float* channel[1] = {y.data() + start};
        engine.process(channel, 1, std::min(512, (int)y.size() - start), s);
    }
    std::vector<double> reduction(x.size(), 0.0);
    for (size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > 1e-3f)
            reduction[i] = -20.0 * std::log10(y[i + (size_t)latency] / x[i]);
    return reduction;
}

// Milliseconds from `from` until the reduction first satisfies the condition.
template <typename Condition>
double msUntil(const std::vector<double>& reduction, int from, Condition condition)
{
    for (size_t i = (size_t)from; i < reduction.size(); ++i)
        if (condition(reduction[i]))
            return (double)(i - (size_t)from) / samplesPerMs;
    return 1e9;
}

struct Window
{
    double low, high;
};

struct StepExpectation
{
    int character;
    Window halfAttack, ninetyAttack, halfRelease;
};
} // namespace

TEST(CharacterTiming, StepResponsesFollowTheDetectorOfEachCharacter)
{
    // 0.5 s at -40 dBFS, 1 s at -6 dBFS, then back: 24 dB over a -30 dB threshold.
    const int up = 24000, down = 72000, length = 144000;
    std::vector<float> x((size_t)length, 0.01f);
    std::fill(x.begin() + up, x.begin() + down, 0.5f);

    // Attack 10 ms, release 100 ms. FET and VCA see the step at once through their peak
    // share, so the gain follows the attack's one-pole: half in 10 ln 2 = 6.9 ms, 90 % in
    // 10 ln 10 = 23 ms, and lets go at about the release time. OPTO listens only to its
    // 30 ms RMS window, which nearly doubles the attack, and its slow path holds the release.
    const StepExpectation expectations[] = {
        {characterOptoIndex, {11.0, 16.0}, {35.0, 50.0}, {140.0, 190.0}},
        {characterFetIndex, {6.0, 8.5}, {20.0, 27.0}, {75.0, 100.0}},
        {characterVcaIndex, {6.0, 9.0}, {20.0, 28.0}, {78.0, 105.0}},
    };
    for (const auto& e : expectations)
    {
        const auto reduction = gainReduction(x, hardKnee(e.character, 10.0f, 100.0f));
        const double settled = reduction[(size_t)down - 1];
        EXPECT_GT(settled, 17.0) << e.character;
        const double half = msUntil(reduction, up, [&](double r) { return r >= 0.5 * settled; });
        const double ninety = msUntil(reduction, up, [&](double r) { return r >= 0.9 * settled; });
        const double released = msUntil(reduction, down, [&](double r) { return r <= 0.5 * settled; });
        EXPECT_GE(half, e.halfAttack.low) << e.character;
        EXPECT_LE(half, e.halfAttack.high) << e.character;
        EXPECT_GE(ninety, e.ninetyAttack.low) << e.character;
        EXPECT_LE(ninety, e.ninetyAttack.high) << e.character;
        EXPECT_GE(released, e.halfRelease.low) << e.character;
        EXPECT_LE(released, e.halfRelease.high) << e.character;
    }
}

TEST(CharacterTiming, GainRipplesLeastOnALowToneWithTheOptoAveraging)
{
    // A 40 Hz tone at -6 dBFS with fast attack and release (1 ms, 30 ms): the peak detectors
    // follow every half-wave, OPTO's 30 ms RMS window averages over more than one of them.
    const auto x = testsupport::sine(40.0, rate, 96000, 0.5f);
    std::array<double, 4> ripple{};
    for (int character : {characterOptoIndex, characterFetIndex, characterVcaIndex})
    {
        const auto reduction = gainReduction(x, hardKnee(character, 1.0f, 30.0f));
        double low = 1e9, high = -1e9;
        for (size_t i = 48000; i < x.size(); ++i) // the second second, settled
            if (std::abs(x[i]) > 0.25f)
            {
                low = std::min(low, reduction[i]);
                high = std::max(high, reduction[i]);
            }
        EXPECT_GT(low, 15.0) << character;
        ripple[(size_t)character] = high - low;
    }
    EXPECT_LT(ripple[(size_t)characterOptoIndex], 0.2);
    EXPECT_LT(ripple[(size_t)characterOptoIndex], 0.5 * ripple[(size_t)characterVcaIndex]);
    EXPECT_LT(ripple[(size_t)characterVcaIndex], ripple[(size_t)characterFetIndex]);
    EXPECT_LT(ripple[(size_t)characterFetIndex], 0.6);
}
