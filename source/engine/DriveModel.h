#pragma once

#include <juce_core/juce_core.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>

namespace orlix
{

inline constexpr int driveTypeTube = 0;
inline constexpr int driveTypeTransformer = 1;
inline constexpr int driveTypeTape = 2;
inline constexpr int driveTypeFet = 3;

// Below this amount the drive does nothing at all.
inline constexpr float driveSilentAmount = 1e-4f;

// The constants of one drive type: tube-law shaper chain with an envelope-dependent bias,
// optional magnetic hysteresis in front, oversampling, roll-off and high-pass.
struct DriveTypeConstants
{
    const char* name;
    float knee;                    // r: where the three-halves law gives way to the soft ceiling
    float fullBias;                // q1: bias at full amount
    float sagDepth;                // s
    float sagKnee;                 // k
    float symmetry;                // g: 0 keeps the curve's asymmetry, 1 makes it odd
    int shaperStages;              // n
    int oversampling;              // factor
    float rollOff;                 // e, per unit amount
    bool lowBandSag;               // the sag follows the low band only
    float highPassHz;              // fc
    float hysteresisMix;           // per unit amount
    float hysteresisShape;         // A
    float hysteresisCoupling;      // alpha
    float hysteresisPinning;       // kp
    float hysteresisReversibility; // c
};

// clang-format off
inline constexpr std::array<DriveTypeConstants, 4> driveTypes{{
//    name           r     q1      s     k      g     n  os  e     lowSag fc     mix   A     alpha    kp     c
    {"TUBE",        2.4f, 0.1f,    0.35f, 0.15f,  0.0f,  2, 16, 0.0f,  false, 80.0f, 0.0f,  1.0f,  0.0f,    1.0f,   1.0f},
    {"TRANSFORMER", 1.8f, 0.0654f, 0.9f,  0.036f, 1.0f,  3, 16, 0.15f, true,  20.0f, 0.85f, 0.14f, 0.0016f, 0.045f, 0.25f},
    {"TAPE",        1.8f, 0.0703f, 0.35f, 0.15f,  0.68f, 3, 32, 0.6f,  false, 60.0f, 0.85f, 0.16f, 0.0016f, 0.03f,  0.4f},
    {"FET",         1.6f, 0.07f,   0.35f, 0.15f,  1.0f,  3, 16, 0.0f,  false, 20.0f, 0.0f,  1.0f,  0.0f,    1.0f,   1.0f},
}};
// clang-format on

// Any index outside the table plays TUBE.
constexpr const DriveTypeConstants& driveTypeConstants(int type) noexcept
{
    return type >= 0 && type < (int)driveTypes.size() ? driveTypes[(size_t)type] : driveTypes[0];
}

// Coefficients of the tube curve f (three-halves law up to the knee r, a parabola over
// the next unit, then a gentle straight ceiling) and of its antiderivative F. Kept in
// double: the antiderivative step divides differences of F by very small input steps.
struct TubeCurve
{
    double knee = 2.0;            // r
    double kneeRoot = 0.0;        // sqrt(r), as the lanes' square root gives it
    double kneeValue = 0.0;       // r^1.5
    double kneeSlope = 0.0;       // u = 1.5 sqrt(r)
    double bend = 0.0;            // v = 0.44 u
    double ceiling = 0.0;         // r^1.5 + u - v
    double ceilingSlope = 0.0;    // 0.12 u
    double kneeIntegral = 0.0;    // w = 0.4 r^2.5
    double ceilingIntegral = 0.0; // w + r^1.5 + u/2 - v/3
};

TubeCurve makeTubeCurve(double knee) noexcept;

// f(x)
inline double tubeCurve(const TubeCurve& c, double x) noexcept
{
    if (x <= 0.0)
        return 0.06 * x;
    if (x <= c.knee)
        return x * std::sqrt(x);
    const double y = x - c.knee;
    if (y < 1.0)
        return c.kneeValue + y * (c.kneeSlope - c.bend * y);
    return c.ceiling + c.ceilingSlope * (y - 1.0);
}

// F(x), the antiderivative of f with F(0) = 0.
inline double tubeCurveIntegral(const TubeCurve& c, double x) noexcept
{
    if (x <= 0.0)
        return 0.03 * x * x;
    if (x <= c.knee)
        return 0.4 * x * x * std::sqrt(x);
    const double y = x - c.knee;
    if (y < 1.0)
        return c.kneeIntegral + y * (c.kneeValue + y * (c.kneeSlope * 0.5 - c.bend * y * (1.0 / 3.0)));
    const double t = y - 1.0;
    return c.ceilingIntegral + t * (c.ceiling + c.ceilingSlope * 0.5 * t);
}

// The same curve without branches, for the per-sample work: every piece is evaluated on its
// own clamped share of x (0 outside the piece) and the shares add up. The shaper needs the
// curve on both sides of its operating point, 1 + t and 1 - t, and blends the two:
// w1 f(1 + t) + w2 f(1 - t). Both sides go through one two-lane evaluation where SSE2 exists.
namespace branchFree
{
struct Shares
{
    double below, law, bend, ceiling;
};

inline Shares sharesOf(double x, const TubeCurve& c) noexcept
{
    const double overKnee = x - c.knee;
    return {std::min(x, 0.0), std::clamp(x, 0.0, c.knee), std::clamp(overKnee, 0.0, 1.0),
            std::max(overKnee - 1.0, 0.0)};
}

inline double curve(double x, const TubeCurve& c) noexcept
{
    const Shares s = sharesOf(x, c);
    return s.law * std::sqrt(s.law) + 0.06 * s.below + s.bend * (c.kneeSlope - c.bend * s.bend) +
           c.ceilingSlope * s.ceiling;
}

inline double integral(double x, const TubeCurve& c) noexcept
{
    const Shares s = sharesOf(x, c);
    return 0.4 * s.law * s.law * std::sqrt(s.law) + 0.03 * s.below * s.below +
           s.bend * (c.kneeValue + s.bend * (c.kneeSlope * 0.5 - c.bend * (1.0 / 3.0) * s.bend)) +
           s.ceiling * (c.ceiling + c.ceilingSlope * 0.5 * s.ceiling);
}
} // namespace branchFree

#if defined(__SSE2__) || defined(_M_X64)
namespace simd
{
inline __m128d splat(double v) noexcept
{
    return _mm_set1_pd(v);
}

// 1 + t and 1 - t
inline __m128d bothSides(double t) noexcept
{
    return _mm_add_pd(splat(1.0), _mm_mul_pd(splat(t), _mm_set_pd(-1.0, 1.0)));
}

inline double blend(__m128d v, double w1, double w2) noexcept
{
    const __m128d p = _mm_mul_pd(v, _mm_set_pd(w2, w1));
    return _mm_cvtsd_f64(_mm_add_sd(p, _mm_unpackhi_pd(p, p)));
}

// The shares of x: below 0, up to the knee, the unit after it, the ceiling beyond.
struct Shares
{
    __m128d below, law, bend, ceiling;
};

inline Shares sharesOf(__m128d x, const TubeCurve& c) noexcept
{
    const __m128d zero = _mm_setzero_pd();
    const __m128d one = splat(1.0);
    const __m128d overKnee = _mm_sub_pd(x, splat(c.knee));
    return {_mm_min_pd(x, zero), _mm_min_pd(_mm_max_pd(x, zero), splat(c.knee)),
            _mm_min_pd(_mm_max_pd(overKnee, zero), one), _mm_max_pd(_mm_sub_pd(overKnee, one), zero)};
}
} // namespace simd

namespace simd
{
// The curve on both sides, and its antiderivative, from the shares and the square root of the
// power-law share (the costly part, so callers that need both take it once).
inline __m128d curveTerms(const Shares& s, const TubeCurve& c, __m128d root) noexcept
{
    const __m128d law = _mm_mul_pd(s.law, root);
    const __m128d below = _mm_mul_pd(splat(0.06), s.below);
    const __m128d bend =
        _mm_mul_pd(s.bend, _mm_sub_pd(splat(c.kneeSlope), _mm_mul_pd(splat(c.bend), s.bend)));
    const __m128d ceiling = _mm_mul_pd(splat(c.ceilingSlope), s.ceiling);
    return _mm_add_pd(_mm_add_pd(law, below), _mm_add_pd(bend, ceiling));
}

inline __m128d integralTerms(const Shares& s, const TubeCurve& c, __m128d root) noexcept
{
    const __m128d law = _mm_mul_pd(_mm_mul_pd(splat(0.4), _mm_mul_pd(s.law, s.law)), root);
    const __m128d below = _mm_mul_pd(splat(0.03), _mm_mul_pd(s.below, s.below));
    const __m128d inner =
        _mm_sub_pd(splat(c.kneeSlope * 0.5), _mm_mul_pd(splat(c.bend * (1.0 / 3.0)), s.bend));
    const __m128d bend = _mm_mul_pd(s.bend, _mm_add_pd(splat(c.kneeValue), _mm_mul_pd(s.bend, inner)));
    const __m128d ceiling = _mm_mul_pd(
        s.ceiling, _mm_add_pd(splat(c.ceiling), _mm_mul_pd(splat(c.ceilingSlope * 0.5), s.ceiling)));
    return _mm_add_pd(_mm_add_pd(law, below), _mm_add_pd(bend, ceiling));
}
} // namespace simd

inline double tubeCurveBlend(const TubeCurve& c, double t, double w1, double w2) noexcept
{
    using namespace simd;
    const Shares s = sharesOf(bothSides(t), c);
    return blend(curveTerms(s, c, _mm_sqrt_pd(s.law)), w1, w2);
}

inline double tubeCurveIntegralBlend(const TubeCurve& c, double t, double w1, double w2) noexcept
{
    using namespace simd;
    const Shares s = sharesOf(bothSides(t), c);
    return blend(integralTerms(s, c, _mm_sqrt_pd(s.law)), w1, w2);
}

// Both blends at one point from one pair of square roots: the value
// w1 f(1 + t) + w2 f(1 - t) and the antiderivative blend with the weights w1, v2.
struct CurveAndIntegral
{
    double curve, integral;
};

inline CurveAndIntegral tubeCurveAndIntegralBlend(const TubeCurve& c, double t, double w1, double w2,
                                                  double v2) noexcept
{
    using namespace simd;
    const Shares s = sharesOf(bothSides(t), c);
    const __m128d root = _mm_sqrt_pd(s.law);
    return {blend(curveTerms(s, c, root), w1, w2), blend(integralTerms(s, c, root), w1, v2)};
}
#else

inline double tubeCurveBlend(const TubeCurve& c, double t, double w1, double w2) noexcept
{
    return w1 * branchFree::curve(1.0 + t, c) + w2 * branchFree::curve(1.0 - t, c);
}

inline double tubeCurveIntegralBlend(const TubeCurve& c, double t, double w1, double w2) noexcept
{
    return w1 * branchFree::integral(1.0 + t, c) + w2 * branchFree::integral(1.0 - t, c);
}

struct CurveAndIntegral
{
    double curve, integral;
};

inline CurveAndIntegral tubeCurveAndIntegralBlend(const TubeCurve& c, double t, double w1, double w2,
                                                  double v2) noexcept
{
    return {tubeCurveBlend(c, t, w1, w2), tubeCurveIntegralBlend(c, t, w1, v2)};
}
#endif

// One drive type at one amount: everything the stage needs per sample.
struct DriveModel
{
    int type = driveTypeTube;
    float amount = 0.0f; // a, 0..1
    float bias = 0.75f;  // q: 0.75 at no drive, q1 at full drive
    float sagDepth = 0.0f;
    float sagKnee = 1e-4f;
    float symmetry = 0.0f;
    float rollOff = 0.0f;
    bool lowBandSag = false;
    int stages = 1;
    float highPassHz = 80.0f;
    int oversampling = 16;
    float hysteresisAmount = 0.0f;
    float shape = 1.0f;         // A
    float coupling = 0.0f;      // alpha
    float pinning = 1.0f;       // kp
    float reversibility = 1.0f; // c
    TubeCurve curve;

    bool isIdentity() const noexcept { return amount < driveSilentAmount; }
};

DriveModel designDrive(int type, float amount) noexcept;

// The shaper's operating scale U and what follows from it, computed once per sample
// and shared by every stage of the chain.
struct ShaperScale
{
    double scale = 1.0;               // U
    double inverse = 1.0;             // 1 / U
    double slopeScale = 2.0 / 3.0;    // 2U / 3
    double integralScale = 1.0 / 1.5; // U^2 / 1.5
    double offset = 0.4 / 1.5;        // K = E(0)
};

inline ShaperScale makeShaperScale(double u) noexcept
{
    ShaperScale s;
    s.scale = u;
    s.inverse = 1.0 / u;
    s.slopeScale = u * (2.0 / 3.0);
    s.integralScale = u * u * (1.0 / 1.5);
    s.offset = 0.4 * s.integralScale;
    return s;
}

// shaper(x) - x, the nonlinear part alone; 0 when the drive is off. With
// e(x) = 2U/3 (f(1 + x/U) - 1), which has unit slope at 0 because f'(1) = 1.5 for every
// knee above 1: shaper = e, or with symmetry g, e + g ((e(x) - e(-x)) / 2 - e(x)), that is
// (1 - g/2) e(x) - g/2 e(-x).
inline double shaperDifference(const DriveModel& m, const ShaperScale& s, double x) noexcept
{
    if (m.isIdentity())
        return 0.0;
    const double half = 0.5 * m.symmetry;
    const double f = tubeCurveBlend(m.curve, x * s.inverse, 1.0 - half, -half);
    return s.slopeScale * (f - (1.0 - m.symmetry)) - x;
}

// D(x) - x^2 / 2, the antiderivative of shaper(x) - x, 0 at 0. With
// E(x) = (U F(1 + x/U) - x) U / 1.5 and K = E(0): D = E - K, or with symmetry g,
// (1 - g)(E(x) - K) + g ((E(x) + E(-x)) / 2 - K), that is (1 - g/2) E(x) + g/2 E(-x) - K.
inline double shaperDifferenceIntegral(const DriveModel& m, const ShaperScale& s, double x) noexcept
{
    if (m.isIdentity())
        return 0.0;
    const double half = 0.5 * m.symmetry;
    const double big = tubeCurveIntegralBlend(m.curve, x * s.inverse, 1.0 - half, half);
    return s.integralScale * big - s.slopeScale * (1.0 - m.symmetry) * x - s.offset - 0.5 * x * x;
}

inline double shaper(const DriveModel& m, double u, double x) noexcept
{
    return x + shaperDifference(m, makeShaperScale(u), x);
}

// D(x), the antiderivative of shaper(x) with D(0) = 0.
inline double shaperIntegral(const DriveModel& m, double u, double x) noexcept
{
    return shaperDifferenceIntegral(m, makeShaperScale(u), x) + 0.5 * x * x;
}

// One stage of the shaper chain remembers its previous input and the antiderivative there.
struct ShaperStageState
{
    float previous = 0.0f;
    double cachedIntegral = 0.0;
    bool cacheValid = false;
};

// Whether the step from p to x is too small to divide by: such steps use the shaper at the
// midpoint instead of the antiderivative quotient.
inline bool isSmallShaperStep(double p, double x) noexcept
{
    const double largest = std::max(std::abs(p), std::abs(x));
    return std::abs(x - p) < std::max(0.024 * largest * largest, 1e-5);
}

// One shaper stage with first-order antiderivative anti-aliasing, given the antiderivative
// difference at y already (the stage computes those for a whole chunk at once).
inline float shaperStepWith(ShaperStageState& state, float y, double integralAtY, const DriveModel& m,
                            const ShaperScale& s) noexcept
{
    const double p = state.previous;
    const double x = y;
    const double delta = x - p;
    state.previous = y;
    double step;
    if (isSmallShaperStep(p, x))
    {
        step = shaperDifference(m, s, 0.5 * (x + p));
        state.cacheValid = false;
    }
    else
    {
        const double before = state.cacheValid ? state.cachedIntegral : shaperDifferenceIntegral(m, s, p);
        step = (integralAtY - before) / delta;
        state.cachedIntegral = integralAtY;
        state.cacheValid = true;
    }
    return (float)(x + step);
}

// The same step, evaluating the curve only where the step needs it: at the midpoint for a
// small step, or its antiderivative at y (and at the previous input when the cache is stale).
// Both come from one pair of square roots, the costly part of the curve.
inline float shaperStepLean(ShaperStageState& state, float y, const DriveModel& m,
                            const ShaperScale& s) noexcept
{
    const double p = state.previous;
    const double x = y;
    const double delta = x - p;
    state.previous = y;
    const bool small = isSmallShaperStep(p, x);
    const double at = small ? 0.5 * (x + p) : x;
    const double half = 0.5 * m.symmetry;
    const auto both = tubeCurveAndIntegralBlend(m.curve, at * s.inverse, 1.0 - half, -half, half);
    // Both steps are formed and one is chosen: whether a step is small follows the signal,
    // which a branch would keep guessing wrong. Only a stale cache (the first large step after
    // small ones) takes a branch, to evaluate the antiderivative at the previous input.
    const double midpointStep = s.slopeScale * (both.curve - (1.0 - m.symmetry)) - at;
    const double integral =
        s.integralScale * both.integral - s.slopeScale * (1.0 - m.symmetry) * x - s.offset - 0.5 * x * x;
    double before = state.cachedIntegral;
    if (!small && !state.cacheValid)
        before = shaperDifferenceIntegral(m, s, p);
    const double quotientStep = (integral - before) / delta;
    state.cachedIntegral = small ? state.cachedIntegral : integral;
    state.cacheValid = !small;
    return (float)(x + (small ? midpointStep : quotientStep));
}

inline float shaperStep(ShaperStageState& state, float y, const DriveModel& m, const ShaperScale& s) noexcept
{
    return shaperStepWith(state, y, shaperDifferenceIntegral(m, s, y), m, s);
}

inline float shaperStep(ShaperStageState& state, float y, const DriveModel& m, float u) noexcept
{
    return shaperStep(state, y, m, makeShaperScale(u));
}

// Jiles-Atherton magnetisation driven by the signal as field.
struct HysteresisState
{
    double magnetisation = 0.0; // M, -1..1
    double field = 0.0;         // previous H
    double meanStep = 0.0;      // mean absolute field step
};

// Langevin function L(h) = coth(h) - 1/h and its slope L'(h) = 1/h^2 - 1/sinh^2(h).
struct Langevin
{
    double value;
    double slope;
};

// Near 0 the closed forms cancel; the series is exact to double precision below 0.2.
inline Langevin langevinSeries(double h) noexcept
{
    const double h2 = h * h;
    return {h * (1.0 / 3.0 - h2 * (1.0 / 45.0 - h2 * (2.0 / 945.0 - h2 * (1.0 / 4725.0)))),
            1.0 / 3.0 - h2 * (1.0 / 15.0 - h2 * (2.0 / 189.0 - h2 * (1.0 / 675.0)))};
}

// Through tanh, with one exponential: coth = 1 / tanh, 1 / sinh^2 = 1 / tanh^2 - 1.
inline Langevin langevin(double h) noexcept
{
    if (std::abs(h) < 0.2)
        return langevinSeries(h);
    const double e = std::exp(-2.0 * std::abs(h));
    const double cothAbs = (1.0 + e) / (1.0 - e);
    const double inverse = 1.0 / h;
    return {(h < 0.0 ? -cothAbs : cothAbs) - inverse, inverse * inverse - cothAbs * cothAbs + 1.0};
}

// e^a for |a| up to 0.05, to double precision.
inline double smallExp(double a) noexcept
{
    const double a2 = a * a;
    const double a4 = a2 * a2;
    return (1.0 + a) + a2 * (0.5 + a * (1.0 / 6.0)) +
           a4 * ((1.0 / 24.0 + a * (1.0 / 120.0)) + a2 * (1.0 / 720.0 + a * (1.0 / 5040.0)) +
                 a4 * (1.0 / 40320.0));
}

// One step of the magnetisation for the field value x; returns M. A non-finite field leaves
// the state alone, and M never leaves -1..1.
//
// Every step needs the M of the step before, so the arithmetic is arranged to keep that chain
// short: the effective field is split into the applied part, known ahead, and the small
// coupling part alpha M / A; the exponential of the applied part is corrected by a short series,
// and the irreversible term needs one division.
inline float hysteresisStep(HysteresisState& state, float x, const DriveModel& m) noexcept
{
    if (!std::isfinite(x))
        return (float)state.magnetisation;
    const double h = x;
    const double dH = h - state.field;
    state.field = h;
    if (juce::exactlyEqual(dH, 0.0))
        return (float)state.magnetisation;

    state.meanStep += (std::abs(dH) - state.meanStep) * 0.001;
    const double halfMean = 0.5 * state.meanStep;
    const double direction = dH / std::sqrt(dH * dH + halfMean * halfMean + 1e-30); // a softened sign

    const double M = state.magnetisation;
    const double inverseShape = 1.0 / std::max((double)m.shape, 1e-5);
    const double alpha = m.coupling;
    const double c = m.reversibility;
    const double pinned = (1.0 - c) * direction * m.pinning;

    const double applied = (h - 0.5 * dH) * inverseShape;
    const double coupled = alpha * inverseShape * M;
    const double he = applied + coupled; // effective field over A

    // (L - M) / den as n / d, where L - M = n / q and den = d / q with q > 0.
    double n, q, slope;
    if (std::abs(coupled) > 0.05 || (applied < 0.0) != (he < 0.0))
    {
        const Langevin an = langevin(he); // a strong coupling: no shortcut
        n = an.value - M;
        q = 1.0;
        slope = an.slope;
    }
    else
    {
        // Both forms are computed and one is picked, so the processor never stalls on a
        // guess about which side of 0.2 the field is. Closed form: L - M = coth - 1/he - M
        // = (sign p - q (1/he + M)) / q with p = 1 + e, q = 1 - e, e = exp(-2 |he|).
        const double sign = he < 0.0 ? -1.0 : 1.0;
        const double e = std::exp(-2.0 * sign * applied) * smallExp(-2.0 * sign * coupled);
        const double p = 1.0 + e, closedQ = 1.0 - e;
        const double inverse = 1.0 / he;
        const double cothAbs = p / closedQ;
        const Langevin series = langevinSeries(he);
        const bool nearZero = std::abs(he) < 0.2;
        n = nearZero ? series.value - M : sign * p - closedQ * (inverse + M);
        q = nearZero ? 1.0 : closedQ;
        slope = nearZero ? series.slope : inverse * inverse - cothAbs * cothAbs + 1.0;
    }

    double d = pinned * q - alpha * n;
    if (std::abs(d) < 1e-5 * q) // den held away from 0, keeping its sign
        d = d < 0.0 ? -1e-5 * q : 1e-5 * q;
    const double irreversible = n * direction > 0.0 ? (1.0 - c) * n / d : 0.0;
    const double next = M + dH * (irreversible + c * slope * inverseShape);
    state.magnetisation = std::isfinite(next) ? std::clamp(next, -1.0, 1.0) : 0.0;
    return (float)state.magnetisation;
}

// One period at about -18 dBFS: the calibration signal of both normalisation gains.
inline constexpr int testSineLength = 384;
inline constexpr float testSineAmplitude = 0.126f;
using TestSine = std::array<float, testSineLength>;
TestSine makeTestSine() noexcept;

// G_h and the hysteresis response to the test sine, for the constants they were made for.
struct HysteresisCalibration
{
    bool valid = false;
    float shape = 0.0f, coupling = 0.0f, pinning = 0.0f, reversibility = 0.0f;
    float gain = 1.0f;
    TestSine response{};
};

// G_h: 1 without hysteresis; otherwise the gain that gives the hysteresis response to the
// test sine the sine's RMS. Recomputed only when the four constants change.
float hysteresisGain(const DriveModel& m, const TestSine& sine, HysteresisCalibration& cache) noexcept;

// What the stage's envelope followers read for a full-scale 1 kHz sine.
struct EnvelopeReferences
{
    float fullBand = 0.5f;
    float lowBand = 0.5f;
};

// G_s: the gain that keeps the driven test sine at the RMS of the test sine, with the sag
// the test sine itself would cause. 1 when the drive does nothing.
float shaperGain(const DriveModel& m, float hysteresisGainValue, const TestSine& sine,
                 const TestSine& response, EnvelopeReferences references) noexcept;

} // namespace orlix
