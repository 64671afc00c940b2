// The lane kernel of the drive's shaper stage. Deliberately without an include guard:
// DriveShaperLanes.cpp includes it once for the baseline instruction set, once for processors
// with AVX2 and FMA and once for AVX-512 with eight lanes, each time inside its own namespace
// and with its own ORLIX_LANE_BYTES, ORLIX_LANE_SQRT and ORLIX_LANE_FMA.

using Doubles = double __attribute__((vector_size(ORLIX_LANE_BYTES)));
using Masks = long long __attribute__((vector_size(ORLIX_LANE_BYTES)));
using Floats = float __attribute__((vector_size(ORLIX_LANE_BYTES / 2)));
inline constexpr int laneCount = ORLIX_LANE_BYTES / (int)sizeof(double);

inline Doubles splat(double v) noexcept
{
    return Doubles{} + v;
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

// f and F of the tube curve at four points, branch-free as in branchFree::curve and integral,
// given the power-law share of each.
struct CurveValues
{
    Doubles curve, integral;
};

// The power-law share of x: the part of it between 0 and the knee.
inline Doubles lawShare(Doubles x, const TubeCurve& c) noexcept
{
    return minimum(maximum(x, splat(0.0)), splat(c.knee));
}

// One bit per lane, set where the lane's mask is set (masks are all ones or all zeros).
inline bool allLanes(Masks m) noexcept
{
    return ORLIX_LANE_BITS(m) == (1 << laneCount) - 1;
}

inline bool anyLane(Masks m) noexcept
{
    return ORLIX_LANE_BITS(m) != 0;
}

// The same where every x lies between 0 and the knee (x is its own power-law share): the other
// pieces' shares are 0 and add exact zeros, so leaving them out gives the same values.
inline CurveValues powerLawLanes(Doubles law) noexcept
{
    const Doubles lawValue = law * ORLIX_LANE_SQRT(law);
    return {lawValue, splat(0.4) * law * lawValue};
}

// The square root of the power-law share. Loud passages put whole groups of one side on the
// pieces beyond the law, where the share is pinned at 0 or at the knee and the root is known.
inline Doubles rootOfShare(Doubles law, const TubeCurve& c) noexcept
{
    const Doubles zero = splat(0.0);
    if (anyLane((law > zero) & (law < c.knee)))
        return ORLIX_LANE_SQRT(law);
    return select(law > zero, splat(c.kneeRoot), zero);
}

inline CurveValues tubeCurveLanes(Doubles x, Doubles law, const TubeCurve& c) noexcept
{
    const Doubles zero = splat(0.0), one = splat(1.0);
    const Doubles overKnee = x - c.knee;
    const Doubles below = minimum(x, zero);
    const Doubles bend = minimum(maximum(overKnee, zero), one);
    const Doubles ceiling = maximum(overKnee - 1.0, zero);
    const Doubles root = rootOfShare(law, c);
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

// mirrored: whether the curve at 1 - t enters the blend at all. Without symmetry its weights
// are 0 and it is skipped, which halves the work and changes no value.
template <bool mirrored> struct ShaperCurveLanes
{
    const TubeCurve& shape;
    Doubles w1, w2, v2;

    explicit ShaperCurveLanes(const DriveModel& m) noexcept
        : shape(m.curve), w1(splat(1.0 - 0.5 * m.symmetry)), w2(splat(-0.5 * m.symmetry)), v2(splat(0.5 * m.symmetry))
    {
    }

    // The blended curve and its integral at t.
    CurveValues at(Doubles t) const noexcept
    {
        const Doubles one = splat(1.0);
        const Doubles above = one + t;
        const Doubles lawAbove = lawShare(above, shape);
        if constexpr (mirrored)
        {
            const Doubles under = one - t;
            const Doubles lawUnder = lawShare(under, shape);
            // Moderate levels keep both sides on the power law; the pieces around it cost more.
            const bool onLaw = allLanes((lawAbove == above) & (lawUnder == under));
            const auto up = onLaw ? powerLawLanes(lawAbove) : tubeCurveLanes(above, lawAbove, shape);
            const auto down = onLaw ? powerLawLanes(lawUnder) : tubeCurveLanes(under, lawUnder, shape);
            return {ORLIX_LANE_FMA(w1, up.curve, w2 * down.curve), ORLIX_LANE_FMA(w1, up.integral, v2 * down.integral)};
        }
        else
        {
            const auto up = allLanes(lawAbove == above) ? powerLawLanes(lawAbove) : tubeCurveLanes(above, lawAbove, shape);
            return {w1 * up.curve, w1 * up.integral};
        }
    }
};

template <bool mirrored>
inline void runLanesFor(ShaperStageState& state, float* y, int length, const DriveModel& m,
                        const ShaperLaneScales& s, ShaperLaneScratch& w) noexcept
{
    double* input = w.input.data();
    input[0] = state.previous;
    for (int k = 0; k < length; ++k)
        input[k + 1] = y[k];
    w.integral[0] = state.cachedIntegral;
    w.small[0] = state.cacheValid ? 0 : -1; // a stale cache counts as a small step before

    const ShaperCurveLanes<mirrored> curves(m);
    const Doubles straight = splat(1.0 - m.symmetry);
    // D(x) - x^2 / 2 at the scales of samples k.., from the integral of the curve at x's t.
    const auto antiderivative = [&](Doubles x, Doubles integral, int k)
    {
        return load(s.integralScale + k) * integral - load(s.slopeScale + k) * straight * x - load(s.offset + k) -
               splat(0.5) * x * x;
    };

    // Every sample evaluates the curve at one point: the midpoint when its step is small,
    // else its own input.
    for (int k = 0; k < length; k += laneCount)
    {
        const Doubles x = load(input + k + 1);
        const Doubles p = load(input + k);
        const Doubles delta = x - p;
        const Doubles largest = maximum(absolute(p), absolute(x));
        const Masks small = absolute(delta) < maximum(splat(0.024) * largest * largest, splat(1e-5));
        const Doubles at = select(small, splat(0.5) * (x + p), x);
        const CurveValues values = curves.at(at * load(s.inverse + k));
        const Doubles midpointStep = load(s.slopeScale + k) * (values.curve - straight) - at;
        store(w.midpoint.data() + k, x + midpointStep);
        store(w.integral.data() + k + 1, antiderivative(x, values.integral, k));
        std::memcpy(w.small.data() + k + 1, &small, sizeof small);
    }

    // The quotient steps from each sample's antiderivative and the one before it.
    Masks stale{};
    for (int k = 0; k < length; k += laneCount)
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
    // previous input yet: evaluate it there at this sample's scale, as the sequential step does,
    // for the whole group at once.
    if (anyLane(stale))
        for (int k = 0; k < length; k += laneCount)
        {
            const Masks staleHere = ~loadMask(w.small.data() + k + 1) & loadMask(w.small.data() + k);
            if (!anyLane(staleHere))
                continue;
            const Doubles x = load(input + k + 1), p = load(input + k);
            const Doubles before = antiderivative(p, curves.at(p * load(s.inverse + k)).integral, k);
            const Doubles quotient = x + (load(w.integral.data() + k + 1) - before) / (x - p);
            Floats outputs;
            std::memcpy(&outputs, y + k, sizeof outputs);
            const Doubles out = select(staleHere, quotient, __builtin_convertvector(outputs, Doubles));
            const Floats narrowed = __builtin_convertvector(out, Floats);
            std::memcpy(y + k, &narrowed, sizeof narrowed);
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

inline void runLanes(ShaperStageState& state, float* y, int length, const DriveModel& m,
                     const ShaperLaneScales& s, ShaperLaneScratch& w) noexcept
{
    if (m.symmetry > 0.0f)
        runLanesFor<true>(state, y, length, m, s, w);
    else
        runLanesFor<false>(state, y, length, m, s, w);
}

// e^x for x <= 0, to about 2e-16 relative: 2^n times a Taylor polynomial on |r| <= ln 2 / 2.
inline Doubles expLanes(Doubles x) noexcept
{
    x = maximum(x, splat(-700.0));
    const Doubles shifter = splat(6755399441055744.0); // 1.5 * 2^52: adding it rounds to an integer
    const Doubles shifted = ORLIX_LANE_FMA(x, splat(1.4426950408889634), shifter);
    const Doubles n = shifted - shifter;
    Masks bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    Masks base;
    const Doubles shifterLanes = shifter;
    std::memcpy(&base, &shifterLanes, sizeof base);
    const Masks scaleBits = ((bits - base) + 1023) << 52;
    Doubles scale;
    std::memcpy(&scale, &scaleBits, sizeof scale);
    const Doubles r =
        ORLIX_LANE_FMA(n, splat(-1.9082149292705877e-10), ORLIX_LANE_FMA(n, splat(-0.6931471803691238), x));
    // The Taylor sum in Estrin's order: pairs, then pairs of pairs, so the multiply-adds run
    // four deep instead of twelve. The plan's latency is what keeps it from hiding under the
    // magnetisation chain.
    const Doubles r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const auto pair = [&](double c0, double c1) { return ORLIX_LANE_FMA(r, splat(c1), splat(c0)); };
    const Doubles low = ORLIX_LANE_FMA(r2, pair(0.5, 1.0 / 6.0), pair(1.0, 1.0));
    const Doubles middle = ORLIX_LANE_FMA(r2, pair(1.0 / 720.0, 1.0 / 5040.0), pair(1.0 / 24.0, 1.0 / 120.0));
    const Doubles high =
        ORLIX_LANE_FMA(r2, pair(1.0 / 3628800.0, 1.0 / 39916800.0), pair(1.0 / 40320.0, 1.0 / 362880.0));
    const Doubles p = ORLIX_LANE_FMA(r8, ORLIX_LANE_FMA(r4, splat(1.0 / 479001600.0), high),
                                     ORLIX_LANE_FMA(r4, middle, low));
    return p * scale;
}

// L and its first four derivatives at h, lane by lane: the series (for |h| < 0.2) and the
// closed forms (elsewhere), as langevinDerivatives works them out.
struct LangevinLanes
{
    Doubles d0, d1, d2, d3, d4;
};

inline LangevinLanes langevinSeries(Doubles h) noexcept
{
    const Doubles h2 = h * h;
    return {h * (splat(1.0 / 3.0) - h2 * (splat(1.0 / 45.0) - h2 * (splat(2.0 / 945.0) - h2 * (1.0 / 4725.0)))),
            splat(1.0 / 3.0) - h2 * (splat(1.0 / 15.0) - h2 * (splat(2.0 / 189.0) - h2 * (1.0 / 675.0))),
            h * (splat(-2.0 / 15.0) + h2 * (splat(8.0 / 189.0) - h2 * (splat(6.0 / 675.0) - h2 * (144.0 / 93555.0)))),
            splat(-2.0 / 15.0) + h2 * (splat(24.0 / 189.0) - h2 * (splat(30.0 / 675.0) - h2 * (1008.0 / 93555.0))),
            h * (splat(48.0 / 189.0) - h2 * (splat(120.0 / 675.0) - h2 * (6048.0 / 93555.0)))};
}

inline LangevinLanes langevinClosedForms(Doubles h) noexcept
{
    const Doubles zero = splat(0.0), one = splat(1.0);
    const Doubles e = expLanes(splat(-2.0) * absolute(h));
    const Doubles q = one - e;
    const Doubles cc = select(h < zero, -one, one) * (one + e) / q;
    const Doubles ss = splat(-4.0) * e / (q * q);
    const Doubles i = one / h, i2 = i * i;
    return {cc - i, ss + i2, splat(-2.0) * cc * ss - splat(2.0) * i2 * i,
            splat(-2.0) * ss * (one - splat(3.0) * cc * cc) + splat(6.0) * i2 * i2,
            splat(8.0) * cc * ss * (splat(2.0) - splat(3.0) * cc * cc) - splat(24.0) * i2 * i2 * i};
}

// What the plan needs of the model, worked out once per chunk.
struct PlanConstants
{
    double inverseShape, k, k2, k3, c, pinning, alpha;
};

inline PlanConstants planConstantsOf(const DriveModel& m) noexcept
{
    const double inverseShape = 1.0 / std::max((double)m.shape, 1e-5);
    const double k = (double)m.coupling * inverseShape;
    return {inverseShape, k, k * k, k * k * k, (double)m.reversibility, (double)m.pinning, (double)m.coupling};
}

// The rest of the hysteresis plan for the group of samples from j: the softened sign of each field
// step and the Langevin function and its derivatives at the applied field, both the series
// and the closed form evaluated and one chosen.
struct FieldGroup
{
    Doubles step, applied, meanStep;
};

inline void planGroup(HysteresisPlan& plan, int j, const PlanConstants& constants, const FieldGroup& fields) noexcept
{
    const double inverseShape = constants.inverseShape;
    const double k = constants.k, k2 = constants.k2, k3 = constants.k3;
    const double c = constants.c;
    const Doubles zero = splat(0.0), one = splat(1.0);
    const Doubles dH = fields.step;
    const Masks still = dH == zero;
    const Doubles halfMean = splat(0.5) * fields.meanStep;
    const Doubles direction = dH / ORLIX_LANE_SQRT(dH * dH + halfMean * halfMean + 1e-30);
    const Doubles h = fields.applied * inverseShape;

    // L and its derivatives by the series near 0, by the closed forms beyond; a group wholly on
    // one side (the common case) works out only that side.
    const Masks near = absolute(h) < splat(0.2);
    LangevinLanes d;
    if (!anyLane(near))
        d = langevinClosedForms(h);
    else if (allLanes(near))
        d = langevinSeries(h);
    else
    {
        const LangevinLanes series = langevinSeries(h), closed = langevinClosedForms(h);
        d = {select(near, series.d0, closed.d0), select(near, series.d1, closed.d1),
             select(near, series.d2, closed.d2), select(near, series.d3, closed.d3),
             select(near, series.d4, closed.d4)};
    }
    const Doubles d0 = d.d0, d1 = d.d1, d2 = d.d2, d3 = d.d3, d4 = d.d4;
    const Doubles reversible = dH * (c * inverseShape);
    // L - M as a cubic in M, then gate (L - M) and pinned - alpha (L - M) as cubics of their own.
    const Doubles n0 = d0, n1 = d1 * k - 1.0, n2 = d2 * (k2 * 0.5), n3 = d3 * (k3 * (1.0 / 6.0));
    const Doubles gate = dH * (1.0 - c);
    const Doubles pinned = direction * ((1.0 - c) * constants.pinning);
    const Doubles alpha = splat(constants.alpha);
    store(plan.g0.data() + j, select(still, zero, gate * n0));
    store(plan.g1.data() + j, select(still, zero, gate * n1));
    store(plan.g2.data() + j, select(still, zero, gate * n2));
    store(plan.g3.data() + j, select(still, zero, gate * n3));
    store(plan.d0.data() + j, select(still, one, pinned - alpha * n0));
    store(plan.d1.data() + j, select(still, zero, -alpha * n1));
    store(plan.d2.data() + j, select(still, zero, -alpha * n2));
    store(plan.d3.data() + j, select(still, zero, -alpha * n3));
    store(plan.s0.data() + j, select(still, zero, reversible * d1));
    store(plan.s1.data() + j, select(still, zero, reversible * d2 * k));
    store(plan.s2.data() + j, select(still, zero, reversible * d3 * (k2 * 0.5)));
    store(plan.s3.data() + j, select(still, zero, reversible * d4 * (k3 * (1.0 / 6.0))));
}

inline void planGroup(HysteresisPlan& plan, int j, const PlanConstants& constants) noexcept
{
    planGroup(plan, j, constants,
              {load(plan.step.data() + j), load(plan.applied.data() + j), load(plan.meanStep.data() + j)});
}

inline void planLanes(HysteresisPlan& plan, int n, const DriveModel& m) noexcept
{
    const auto constants = planConstantsOf(m);
    for (int j = 0; j < n; j += laneCount)
        planGroup(plan, j, constants);
}

// c0 + c1 M + c2 M^2 + c3 M^3, two multiply-adds deep.
inline double cubicIn(double M, double M2, double c0, double c1, double c2, double c3) noexcept
{
    return ORLIX_SCALAR_FMA(M2, ORLIX_SCALAR_FMA(c3, M, c2), ORLIX_SCALAR_FMA(c1, M, c0));
}

// Keeps the compiler from turning a rarely taken branch into a select: a select waits for its
// condition, while a well predicted branch lets the chain run on.
inline void keepAsBranch() noexcept
{
#if defined(__GNUC__) || defined(__clang__)
    asm volatile("");
#endif
}

// The magnetisation the chunk loop left in `driven`, mixed into the input with the ramped
// hysteresis amount: a vector pass, which in the loop would crowd the chain's window.
inline void mixMagnetisation(PlannedChunk& c) noexcept
{
    const float* const __restrict x = c.x;
    float* const __restrict driven = c.driven;
    for (int k = 0; k < c.length; ++k)
    {
        const float h = c.rampStart + c.rampIncrement * (float)(k + 1);
        driven[k] = x[k] + (driven[k] * c.hysteresisGain - x[k]) * h;
    }
}

// The chunk loop of PlannedChunk: envelopes as the stage's follow(), and the magnetisation
// step as plannedHysteresisStep. Planning ahead, the next chunk's plan is made a group of samples
// at a time in the same loop: its work is independent of the magnetisation chain and fills
// that chain's waits. It goes into the same plan, each group only after the chain has read it.
template <bool planningAhead> inline void plannedChunkLoopFor(PlannedChunk& c) noexcept
{
    const HysteresisPlan& p = *c.plan;
    double M = c.magnetisation;
    float full = c.full, low = c.low, lp = c.lowPassState;
    const auto step = [&](int k) noexcept
    {
        const float level = std::abs(c.x[k]);
        full = level + (full - level) * (full < level ? c.attack : c.release);
        lp += (c.x[k] - lp) * c.lowPass;
        const float lowLevel = std::abs(lp);
        low = lowLevel + (low - lowLevel) * (low < lowLevel ? c.attack : c.release);
        c.envelope[k] = std::max(c.lowBandSag ? low : full, 0.0f);

        const auto i = (size_t)k;
        const double M2 = M * M;
        const double reversible = cubicIn(M, M2, p.s0[i], p.s1[i], p.s2[i], p.s3[i]);
        const double gated = cubicIn(M, M2, p.g0[i], p.g1[i], p.g2[i], p.g3[i]);
        double d = cubicIn(M, M2, p.d0[i], p.d1[i], p.d2[i], p.d3[i]);
        if (std::abs(d) < 1e-5) // rarely: only a pin about as weak as the coupling term gets here
        {
            keepAsBranch();
            d = d < 0.0 ? -1e-5 : 1e-5;
        }
        const double irreversible = gated > 0.0 ? gated / d : 0.0;
        double next = (M + reversible) + irreversible;
        if (!(std::abs(next) <= 1.0)) // rarely: only at saturation, or where the step overflowed
        {
            keepAsBranch();
            next = std::isfinite(next) ? std::clamp(next, -1.0, 1.0) : 0.0;
        }
        M = next;
        c.driven[k] = (float)M; // mixed in after the loop
    };
    if constexpr (!planningAhead)
    {
        for (int k = 0; k < c.length; ++k)
            step(k);
    }
    else
    {
        auto& ahead = c.ahead;
        const auto constants = planConstantsOf(*ahead.model);
        HysteresisState fields{0.0, ahead.field, ahead.meanStep};
        // The field steps run a group ahead of the rest of the plan: their mean step is a chain
        // of its own, which would otherwise hold up the start of each group's plan. A group
        // later their scalar stores have left the core, so the plan can load them as vectors;
        // loaded at once, they would stall on the stores.
        const int whole = ahead.length / laneCount * laneCount;
        if (whole > 0)
            planFieldSteps(fields, ahead.x, laneCount, *ahead.plan, 0);
        for (int k = 0; k < c.length; k += laneCount)
        {
            for (int j = k; j < std::min(k + laneCount, c.length); ++j)
                step(j);
            if (k < whole)
            {
                if (k + laneCount < whole) // the chain reads none of the field arrays
                    planFieldSteps(fields, ahead.x + k + laneCount, laneCount, *ahead.plan, k + laneCount);
                planGroup(*ahead.plan, k, constants);
            }
            else if (k < ahead.length) // a ragged last group, through the plan's memory
            {
                planFieldSteps(fields, ahead.x + k, ahead.length - k, *ahead.plan, k);
                planGroup(*ahead.plan, k, constants);
            }
        }
        ahead.field = fields.field;
        ahead.meanStep = fields.meanStep;
    }
    mixMagnetisation(c);
    c.magnetisation = M;
    c.full = full;
    c.low = low;
    c.lowPassState = lp;
}

inline void plannedChunkLoop(PlannedChunk& c) noexcept
{
    if (c.ahead.plan != nullptr && c.ahead.length > 0)
        plannedChunkLoopFor<true>(c);
    else
        plannedChunkLoopFor<false>(c);
}

// This build's entry points, compiled for its instruction set.
void run(ShaperStageState& state, float* y, int length, const DriveModel& m, const ShaperLaneScales& s,
         ShaperLaneScratch& w) noexcept
{
    runLanes(state, y, length, m, s, w);
}

void plan(HysteresisPlan& p, int n, const DriveModel& m) noexcept
{
    planLanes(p, n, m);
}

void chunk(PlannedChunk& c) noexcept
{
    plannedChunkLoop(c);
}

#undef ORLIX_LANE_BYTES
#undef ORLIX_LANE_SQRT
#undef ORLIX_LANE_BITS
#undef ORLIX_LANE_FMA
#undef ORLIX_SCALAR_FMA
