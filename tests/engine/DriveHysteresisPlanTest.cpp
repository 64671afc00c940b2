#include "engine/DriveHysteresisPlan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace orlix;

namespace
{
// Fields that visit every regime: slow sines of rising level (small steps, the series near 0),
// loud fast passages, noise, held values (no step) and the odd non-finite sample.
std::vector<float> fieldSequence(int n)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x((size_t)n);
    for (int i = 0; i < n; ++i)
    {
        const double t = (double)i / n;
        float v = (float)((0.02 + 0.9 * t) * std::sin(0.002 * i * (1.0 + 30.0 * t)));
        if ((i / 500) % 5 == 2)
            v += 0.4f * noise(random);
        if ((i / 131) % 9 == 4)
            v = x[(size_t)std::max(i - 1, 0)];
        x[(size_t)i] = v;
    }
    x[(size_t)n / 33] = std::numeric_limits<float>::quiet_NaN();
    x[(size_t)n / 7] = std::numeric_limits<float>::infinity();
    return x;
}

// A chunk of the given input from magnetisation M, with the hysteresis fully on and fixed
// envelope settings.
PlannedChunk fullyOnChunk(const float* x, int n, const HysteresisPlan* plan, double M, float* envelope,
                          float* driven)
{
    return {x, n, 0.9f, 0.99f, 0.01f, false, 1.0f, 0.0f, 1.0f, plan, 0.0f, 0.0f, 0.0f, M, envelope, driven};
}
} // namespace

TEST(DriveHysteresisPlan, PlannedStepsMatchTheDirectStep)
{
    // Step by step from the same magnetisation: the loop is chaotic where it is loud and fast,
    // so whole trajectories would part from rounding alone.
    constexpr int n = HysteresisPlan::capacity * 160;
    const auto x = fieldSequence(n);
    for (int type : {driveTypeTransformer, driveTypeTape})
        for (float amount : {0.3f, 1.0f})
        {
            const auto m = designDrive(type, amount);
            ASSERT_TRUE(HysteresisPlan::suits(m));
            HysteresisState direct, planned;
            HysteresisPlan plan, single;
            double worst = 0.0, worstInLoop = 0.0;
            for (int from = 0; from < n; from += HysteresisPlan::capacity)
            {
                planHysteresis(planned, x.data() + from, HysteresisPlan::capacity, m, plan);
                for (int j = 0; j < HysteresisPlan::capacity; ++j)
                {
                    const float* at = x.data() + from + j;
                    // The chunk loop (as dispatched here) takes the same step its own way.
                    auto fields = direct;
                    planHysteresis(fields, at, 1, m, single);
                    std::array<float, 1> envelope{}, driven{};
                    auto chunk =
                        fullyOnChunk(at, 1, &single, direct.magnetisation, envelope.data(), driven.data());
                    runPlannedChunk(chunk);

                    const double before = direct.magnetisation;
                    const double expected = hysteresisStep(direct, *at, m);
                    const double got = plannedHysteresisStep(before, plan, j);
                    worst = std::max(worst, std::abs(got - expected));
                    worstInLoop = std::max(worstInLoop, std::abs(chunk.magnetisation - expected));
                }
                EXPECT_EQ(planned.field, direct.field);
                EXPECT_EQ(planned.meanStep, direct.meanStep);
            }
            EXPECT_LT(worst, 1e-7) << type << " " << amount; // the direct step rounds M to float
            EXPECT_LT(worstInLoop, 1e-7) << type << " " << amount;
        }
}

TEST(DriveHysteresisPlan, LangevinDerivativesAgreeAcrossTheSeriesBoundary)
{
    // Each derivative against the central difference of the one below, on both sides of 0.2.
    for (double h : {-3.0, -0.7, -0.2001, -0.1999, -0.05, 0.0, 0.03, 0.1999, 0.2001, 0.5, 2.0, 9.0})
    {
        const double e = 1e-5;
        const auto lo = langevinDerivatives(h - e), hi = langevinDerivatives(h + e),
                   at = langevinDerivatives(h);
        EXPECT_NEAR(at.d0, langevin(h).value, 1e-12) << h;
        EXPECT_NEAR(at.d1, langevin(h).slope, 1e-11) << h;
        EXPECT_NEAR(at.d2, (hi.d1 - lo.d1) / (2 * e), 1e-7) << h;
        EXPECT_NEAR(at.d3, (hi.d2 - lo.d2) / (2 * e), 1e-7) << h;
        EXPECT_NEAR(at.d4, (hi.d3 - lo.d3) / (2 * e), 1e-6) << h;
    }
}

TEST(DriveHysteresisPlan, StrongCouplingOrExcessReversibilityIsLeftToTheDirectStep)
{
    auto m = designDrive(driveTypeTape, 1.0f);
    EXPECT_TRUE(HysteresisPlan::suits(m));
    auto strong = m;
    strong.coupling = 0.05f; // alpha / A = 0.31: the cubic would no longer hold
    EXPECT_FALSE(HysteresisPlan::suits(strong));
    auto reversible = m;
    reversible.reversibility = 1.2f; // the gate's sign would be against the step's
    EXPECT_FALSE(HysteresisPlan::suits(reversible));
}

TEST(DriveHysteresisPlan, ChunkLoopFollowsTheDirectSteps)
{
    // The chunk loop (in every build this processor runs) against hysteresisStep over a calm
    // passage, where the loop is not chaotic and whole trajectories stay together.
    constexpr int n = HysteresisPlan::capacity;
    for (LaneBuild build : {LaneBuild::baseline, LaneBuild::fourWide, LaneBuild::eightWide})
        for (int type : {driveTypeTransformer, driveTypeTape})
        {
            const auto m = designDrive(type, 1.0f);
            HysteresisState direct, planned;
            HysteresisPlan plan;
            std::array<float, n> x{}, envelope{}, driven{};
            double worst = 0.0, peak = 0.0;
            for (int block = 0; block < 40; ++block)
            {
                for (int j = 0; j < n; ++j)
                    x[(size_t)j] = 0.3f * (float)std::sin(0.0015 * (block * n + j));
                planHysteresis(planned, x.data(), n, m, plan, build);
                auto chunk =
                    fullyOnChunk(x.data(), n, &plan, planned.magnetisation, envelope.data(), driven.data());
                runPlannedChunk(chunk, build);
                planned.magnetisation = chunk.magnetisation;
                for (int j = 0; j < n; ++j)
                {
                    const double expected = hysteresisStep(direct, x[(size_t)j], m);
                    worst = std::max(worst, std::abs(driven[(size_t)j] - expected));
                    peak = std::max(peak, std::abs(expected));
                }
            }
            EXPECT_GT(peak, 0.1) << type;
            EXPECT_LT(worst, 1e-6) << type << " build " << (int)build;
        }
}

TEST(DriveHysteresisPlan, PlanningTheNextChunkAlongsideGivesItsOwnPlanAndLeavesTheRunningChunkAlone)
{
    // The next chunk is planned into the running chunk's own plan, group by group behind the
    // magnetisation chain: the running chunk must read its plan before it is overwritten, and
    // the next must get exactly the plan it would make itself, field and mean step included.
    constexpr int n = HysteresisPlan::capacity;
    const auto x = fieldSequence(n * 40); // held values, noise, and a NaN and an infinity
    for (LaneBuild build : {LaneBuild::baseline, LaneBuild::fourWide, LaneBuild::eightWide})
        for (int type : {driveTypeTransformer, driveTypeTape})
        {
            const auto m = designDrive(type, 1.0f);
            HysteresisState state, own;
            HysteresisPlan plan, alone, expected;
            std::array<float, n> envelope{}, driven{}, drivenAlone{};
            planHysteresis(state, x.data(), n, m, plan, build);
            own = state;
            for (int block = 0; block < 39; ++block)
            {
                const float* current = x.data() + block * n;
                const int nextLength = block == 38 ? 102 : n; // and a ragged last group
                auto chunkOf = [&](HysteresisPlan* p, float* out)
                { return fullyOnChunk(current, n, p, state.magnetisation, envelope.data(), out); };
                alone = plan;
                auto withoutAhead = chunkOf(&alone, drivenAlone.data());
                runPlannedChunk(withoutAhead, build);

                auto chunk = chunkOf(&plan, driven.data());
                chunk.ahead = {current + n, nextLength, &plan, &m, state.field, state.meanStep};
                runPlannedChunk(chunk, build);
                EXPECT_EQ(std::memcmp(driven.data(), drivenAlone.data(), sizeof driven), 0)
                    << type << " " << block;
                EXPECT_EQ(chunk.magnetisation, withoutAhead.magnetisation);
                state.magnetisation = chunk.magnetisation;
                state.field = chunk.ahead.field;
                state.meanStep = chunk.ahead.meanStep;

                planHysteresis(own, current + n, nextLength, m, expected, build);
                EXPECT_EQ(state.field, own.field);
                EXPECT_EQ(state.meanStep, own.meanStep);
                using Coefficients = std::array<double, n> HysteresisPlan::*;
                int differing = 0;
                for (Coefficients a :
                     {&HysteresisPlan::g0, &HysteresisPlan::g1, &HysteresisPlan::g2, &HysteresisPlan::g3,
                      &HysteresisPlan::d0, &HysteresisPlan::d1, &HysteresisPlan::d2, &HysteresisPlan::d3,
                      &HysteresisPlan::s0, &HysteresisPlan::s1, &HysteresisPlan::s2, &HysteresisPlan::s3,
                      &HysteresisPlan::step, &HysteresisPlan::applied, &HysteresisPlan::meanStep})
                    for (size_t j = 0; j < (size_t)nextLength; ++j)
                        differing += juce::exactlyEqual((plan.*a)[j], (expected.*a)[j]) ? 0 : 1;
                EXPECT_EQ(differing, 0) << type << " " << block << " build " << (int)build;
            }
        }
}
