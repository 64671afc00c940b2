// The lane kernel of the drive's shaper stage. Deliberately without an include guard:
// DriveShaperLanes.cpp includes it twice, once for the baseline instruction set and once
// for processors with AVX2 and FMA, each time inside its own namespace and with its own
// ORLIX_LANE_SQRT and ORLIX_LANE_FMA.

using Doubles = double __attribute__((vector_size(32)));
using Masks = long long __attribute__((vector_size(32)));
using Floats = float __attribute__((vector_size(16)));

inline Doubles splat(double v) noexcept
{
    return Doubles{v, v, v, v};
}

inline Doubles load(const double* p) noexcept
{
    Doubles v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double* p, Doubles v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

inline Masks loadMask(const long long* p) noexcept
{
    Masks v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline Doubles select(Masks m, Doubles a, Doubles b) noexcept
{
    return m ? a : b;
}

inline Doubles minimum(Doubles a, Doubles b) noexcept
{
    return a < b ? a : b;
}

inline Doubles maximum(Doubles a, Doubles b) noexcept
{
    return a > b ? a : b;
}

inline Doubles absolute(Doubles a) noexcept
{
    return a < 0.0 ? -a : a;
}

// f and F of the tube curve at four points, branch-free as in branchFree::curve and integral.
struct CurveValues
{
    Doubles curve, integral;
};

inline CurveValues tubeCurveLanes(Doubles x, const TubeCurve& c) noexcept
{
    const Doubles zero = splat(0.0), one = splat(1.0);
    const Doubles overKnee = x - c.knee;
    const Doubles below = minimum(x, zero);
    const Doubles law = minimum(maximum(x, zero), splat(c.knee));
    const Doubles bend = minimum(maximum(overKnee, zero), one);
    const Doubles ceiling = maximum(overKnee - 1.0, zero);
    const Doubles root = ORLIX_LANE_SQRT(law);
    const Doubles lawValue = law * root;

    const Doubles curve =
        ORLIX_LANE_FMA(below, splat(0.06), lawValue) +
        ORLIX_LANE_FMA(bend, splat(c.kneeSlope) - splat(c.bend) * bend, splat(c.ceilingSlope) * ceiling);
    const Doubles inner = ORLIX_LANE_FMA(splat(-c.bend * (1.0 / 3.0)), bend, splat(c.kneeSlope * 0.5));
    const Doubles bendIntegral = bend * ORLIX_LANE_FMA(bend, inner, splat(c.kneeValue));
    const Doubles ceilingIntegral =
        ceiling * ORLIX_LANE_FMA(splat(c.ceilingSlope * 0.5), ceiling, splat(c.ceiling));
    const Doubles integral = ORLIX_LANE_FMA(splat(0.4) * law, lawValue, splat(0.03) * below * below) +
                             (bendIntegral + ceilingIntegral);
    return {curve, integral};
}

inline void runLanes(ShaperStageState& state, float* y, int length, const DriveModel& m,
                     const ShaperLaneScales& s, ShaperLaneScratch& w) noexcept
{
    double* input = w.input.data();
    input[0] = state.previous;
    for (int k = 0; k < length; ++k)
        input[k + 1] = y[k];
    w.integral[0] = state.cachedIntegral;
    w.small[0] = state.cacheValid ? 0 : -1; // a stale cache counts as a small step before

    const double half = 0.5 * m.symmetry;
    const Doubles w1 = splat(1.0 - half), w2 = splat(-half), v2 = splat(half);
    const Doubles straight = splat(1.0 - m.symmetry);
    const Doubles one = splat(1.0);

    // Every sample evaluates the curve at one point: the midpoint when its step is small,
    // else its own input.
    for (int k = 0; k < length; k += 4)
    {
        const Doubles x = load(input + k + 1);
        const Doubles p = load(input + k);
        const Doubles delta = x - p;
        const Doubles largest = maximum(absolute(p), absolute(x));
        const Masks small = absolute(delta) < maximum(splat(0.024) * largest * largest, splat(1e-5));
        const Doubles at = select(small, splat(0.5) * (x + p), x);
        const Doubles t = at * load(s.inverse + k);
        const auto up = tubeCurveLanes(one + t, m.curve);
        const auto down = tubeCurveLanes(one - t, m.curve);
        const Doubles curve = ORLIX_LANE_FMA(w1, up.curve, w2 * down.curve);
        const Doubles integral = ORLIX_LANE_FMA(w1, up.integral, v2 * down.integral);
        const Doubles slopeScale = load(s.slopeScale + k);
        const Doubles midpointStep = slopeScale * (curve - straight) - at;
        const Doubles antiderivative = load(s.integralScale + k) * integral - slopeScale * straight * x -
                                       load(s.offset + k) - splat(0.5) * x * x;
        store(w.midpoint.data() + k, x + midpointStep);
        store(w.integral.data() + k + 1, antiderivative);
        std::memcpy(w.small.data() + k + 1, &small, sizeof small);
    }

    // The quotient steps from each sample's antiderivative and the one before it.
    Masks stale{};
    for (int k = 0; k < length; k += 4)
    {
        const Doubles x = load(input + k + 1);
        const Doubles delta = x - load(input + k);
        const Doubles quotient = x + (load(w.integral.data() + k + 1) - load(w.integral.data() + k)) / delta;
        const Masks small = loadMask(w.small.data() + k + 1);
        const Doubles out = select(small, load(w.midpoint.data() + k), quotient);
        const Floats narrowed = __builtin_convertvector(out, Floats);
        std::memcpy(y + k, &narrowed, sizeof narrowed);
        stale |= ~small & loadMask(w.small.data() + k);
    }

    // A large step right after a small one (or a stale cache) has no antiderivative at its
    // previous input yet: evaluate it there at this sample's scale, as the sequential step does.
    if ((stale[0] | stale[1] | stale[2] | stale[3]) != 0)
        for (int k = 0; k < length; ++k)
            if (w.small[(size_t)k + 1] == 0 && w.small[(size_t)k] != 0)
            {
                const double x = input[k + 1], p = input[k];
                const double before = shaperDifferenceIntegral(m, s.at(k), p);
                y[k] = (float)(x + (w.integral[(size_t)k + 1] - before) / (x - p));
            }

    state.previous = (float)input[length];
    if (w.small[(size_t)length] == 0)
    {
        state.cachedIntegral = w.integral[(size_t)length];
        state.cacheValid = true;
    }
    else
        state.cacheValid = false;
}
