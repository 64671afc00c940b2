#pragma once

#include "engine/DriveModel.h"
#include "engine/DriveShaperLanes.h"

#include <array>

namespace orlix
{

// The magnetisation steps of a chunk, prepared ahead. Everything hysteresisStep computes that
// does not depend on M (the field step, its softened sign, the mean step and the Langevin
// function at the applied field) is worked out for all samples first; what remains per step is
// short. The coupling term alpha M / A moves the Langevin argument by at most alpha / A, so
// L and L' there are cubic polynomials in M around the applied field (Taylor, with
// alpha / A <= 0.02 the first neglected term is below 1e-9).
struct HysteresisPlan
{
    static constexpr int capacity = 128;
    static constexpr double largestCoupling = 0.02; // alpha / A the polynomials are made for

    // With n = L(a + kM) - M, a cubic in M: the irreversible step's numerator gate n
    // = g0 + g1 M + g2 M^2 + g3 M^3 and denominator pinned - alpha n = d0 + ... + d3 M^3, both
    // ready as soon as M is; and the reversible step dH c / A L'(a + kM) = s0 + ... + s3 M^3.
    alignas(32) std::array<double, capacity> g0{}, g1{}, g2{}, g3{}, d0{}, d1{}, d2{}, d3{};
    alignas(32) std::array<double, capacity> s0{}, s1{}, s2{}, s3{};
    // The serial part of the plan: field step (0 where still), applied field, mean step.
    alignas(32) std::array<double, capacity> step{}, applied{}, meanStep{};

    static bool suits(const DriveModel& m) noexcept
    {
        // gate = (1 - c) dH: below c = 1 its sign is the step's, which the planned step relies on.
        return std::abs((double)m.coupling) / std::max((double)m.shape, 1e-5) <= largestCoupling &&
               m.reversibility <= 1.0f;
    }
};

// L and its first four derivatives at h.
struct LangevinDerivatives
{
    double d0, d1, d2, d3, d4;
};

inline LangevinDerivatives langevinDerivatives(double h) noexcept
{
    if (std::abs(h) < 0.2)
    {
        // The series and its derivatives: the closed forms cancel near 0.
        const double h2 = h * h;
        const auto near = langevinSeries(h);
        return {near.value, near.slope,
                h * (-2.0 / 15.0 + h2 * (8.0 / 189.0 - h2 * (6.0 / 675.0 - h2 * (144.0 / 93555.0)))),
                -2.0 / 15.0 + h2 * (24.0 / 189.0 - h2 * (30.0 / 675.0 - h2 * (1008.0 / 93555.0))),
                h * (48.0 / 189.0 - h2 * (120.0 / 675.0 - h2 * (6048.0 / 93555.0)))};
    }
    // coth = C, 1 - C^2 = S; C' = S, S' = -2 C S.
    const double e = std::exp(-2.0 * std::abs(h));
    const double q = 1.0 - e;
    const double c = (h < 0.0 ? -1.0 : 1.0) * (1.0 + e) / q;
    const double s = -4.0 * e / (q * q);
    const double i = 1.0 / h, i2 = i * i;
    return {c - i, s + i2, -2.0 * c * s - 2.0 * i2 * i, -2.0 * s * (1.0 - 3.0 * c * c) + 6.0 * i2 * i2,
            8.0 * c * s * (2.0 - 3.0 * c * c) - 24.0 * i2 * i2 * i};
}

// v as rounded on its own: a product the compiler may not fuse with the addition that follows,
// even where it builds for fused multiply-adds, so every build steps the mean alike.
inline double roundedAlone(double v) noexcept
{
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    asm("" : "+x"(v));
#endif
    return v;
}

// One sample's field step, updating the field and the mean step as hysteresisStep would: a
// still sample (no step, or a non-finite field) leaves both alone and plans a step of 0.
struct FieldStep
{
    bool still;
    double step, applied, meanStep;
};

inline FieldStep nextFieldStep(double& field, double& meanStep, float x) noexcept
{
    const double h = x;
    const double dH = h - field;
    const bool still = !std::isfinite(x) || juce::exactlyEqual(dH, 0.0);
    field = still ? field : h;
    meanStep = still ? meanStep : meanStep + roundedAlone((std::abs(dH) - meanStep) * 0.001);
    return {still, still ? 0.0 : dH, still ? 0.0 : h - 0.5 * dH, meanStep};
}

inline void storeFieldStep(HysteresisPlan& plan, size_t i, const FieldStep& f) noexcept
{
    plan.step[i] = f.step;
    plan.applied[i] = f.applied;
    plan.meanStep[i] = f.meanStep;
}

// The field steps of x[0 .. n) and the mean step, updating the state as hysteresisStep
// would, into the plan from index `at`; the rest of the plan (planHysteresisLanes, below) is
// independent per sample.
inline void planFieldSteps(HysteresisState& state, const float* x, int n, HysteresisPlan& plan,
                           int at = 0) noexcept
{
    double field = state.field, meanStep = state.meanStep;
    for (int j = 0; j < n; ++j)
        storeFieldStep(plan, (size_t)(at + j), nextFieldStep(field, meanStep, x[j]));
    state.field = field;
    state.meanStep = meanStep;
}

// The per-sample coefficients from the field steps, several samples at a time.
void planHysteresisLanes(HysteresisPlan& plan, int n, const DriveModel& m,
                         LaneBuild build = widestLaneBuild()) noexcept;

inline void planHysteresis(HysteresisState& state, const float* x, int n, const DriveModel& m,
                           HysteresisPlan& plan, LaneBuild build = widestLaneBuild()) noexcept
{
    planFieldSteps(state, x, n, plan);
    planHysteresisLanes(plan, n, m, build);
}

// The step itself: from M to the next M, the chain every sample waits on. A still sample's
// coefficients are all 0 (and its d0 1), which leaves M exactly as it was. The irreversible
// part applies where n has the sign of the step, that is where gate n is positive.
inline double plannedHysteresisStep(double M, const HysteresisPlan& plan, int j) noexcept
{
    const auto i = (size_t)j;
    const double M2 = M * M;
    const auto cubic = [&](const std::array<double, HysteresisPlan::capacity>& c0,
                           const std::array<double, HysteresisPlan::capacity>& c1,
                           const std::array<double, HysteresisPlan::capacity>& c2,
                           const std::array<double, HysteresisPlan::capacity>& c3)
    { return (c0[i] + c1[i] * M) + M2 * (c2[i] + c3[i] * M); };
    const double reversible = cubic(plan.s0, plan.s1, plan.s2, plan.s3);
    const double gated = cubic(plan.g0, plan.g1, plan.g2, plan.g3);
    double d = cubic(plan.d0, plan.d1, plan.d2, plan.d3);
    if (std::abs(d) < 1e-5) // held away from 0, keeping its sign
        d = d < 0.0 ? -1e-5 : 1e-5;
    const double irreversible = gated > 0.0 ? gated / d : 0.0;
    const double next = (M + reversible) + irreversible;
    return std::isfinite(next) ? std::clamp(next, -1.0, 1.0) : 0.0;
}

// The next chunk, planned while a chunk runs: its input, its length (at most the running
// chunk's, which is whole groups of four) and the field and mean step it starts from, which
// are left where its plan ends.
struct PlanAhead
{
    const float* x = nullptr;
    int length = 0;
    HysteresisPlan* plan = nullptr; // the running chunk's own
    const DriveModel* model = nullptr;
    double field = 0.0, meanStep = 0.0;
};

// One chunk's per-sample loop with the hysteresis on throughout: the sag envelope of each
// sample, and the planned magnetisation steps mixed into the signal.
struct PlannedChunk
{
    const float* x;
    int length;
    float attack, release, lowPass;
    bool lowBandSag;
    float rampStart, rampIncrement;
    float hysteresisGain;
    const HysteresisPlan* plan;
    // running state, in and out
    float full, low, lowPassState;
    double magnetisation;
    // results per sample
    float* envelope;
    float* driven;
    PlanAhead ahead{};
};

// Runs the loop with fused multiply-adds where the processor has them.
void runPlannedChunk(PlannedChunk& chunk, LaneBuild build = widestLaneBuild()) noexcept;

} // namespace orlix
