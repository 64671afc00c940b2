#include "engine/GainComputer.h"

#include "engine/FastMath.h"

#include <juce_core/juce_core.h>

#include <type_traits>

namespace orlix
{

float staticGainReduction(float level, float threshold, float ratio, float knee, int character) noexcept
{
    const float over = level - threshold;
    if (character == 1)
    {
        // The OPTO ratio depends on its own gain reduction: settle it by iteration.
        float g = 0.0f;
        for (int i = 0; i < 4; ++i)
            g = gainComputer(over, ratio * (1.0f + 0.4f * std::clamp(g / 10.0f, 0.0f, 1.0f)), knee);
        return g;
    }
    if (character == 2)
        return gainComputer(over, ratio * (1.0f + 0.6f * std::exp(-std::max(over, 0.0f) / 6.0f)), knee);
    return gainComputer(over, ratio, knee);
}

float histogramLoudnessDrop(const EngineSettings& s) noexcept
{
    const auto& model = characterModel(s.character);
    const float knee = std::max(s.kneeDb, 0.01f);
    const float mix = std::clamp(s.mix, 0.0f, 1.0f);
    double sum = 0.0, total = 0.0;
    for (int i = 0; i < makeupHistogramBins; ++i)
    {
        const double weight = s.histogramWeight[(size_t)i];
        if (!(weight > 0.0))
            continue;
        const float level = model.peakShare * s.histogramCrest[(size_t)i] + ((float)i - 79.5f);
        const float g = staticGainReduction(level, s.thresholdDb, s.ratio, knee, s.character);
        const double gain = g <= 0.0f ? 1.0 : std::pow(10.0, -g / 20.0) * mix + (1.0 - mix);
        sum += weight * gain * gain;
        total += weight;
    }
    return total > 0.0 ? (float)(-10.0 * std::log10(std::max(sum / total, 1e-30))) : 0.0f;
}

namespace
{
float correctedByCurve(float w, const EngineSettings& s) noexcept
{
    const auto& x = s.curveX;
    const auto& y = s.curveY;
    if (w <= x[0])
        return w + y[0];
    if (w >= x[makeupCurvePoints - 1])
        return w + y[makeupCurvePoints - 1];
    for (size_t j = 1; j < (size_t)makeupCurvePoints; ++j)
    {
        if (w <= x[j])
        {
            const float span = x[j] - x[j - 1];
            const float t = span > 1e-6f ? (w - x[j - 1]) / span : 1.0f;
            return w + y[j - 1] + (y[j] - y[j - 1]) * t;
        }
    }
    return w + y[makeupCurvePoints - 1];
}
} // namespace

float automaticMakeup(const EngineSettings& s) noexcept
{
    if (!s.autoMakeup)
        return 0.0f;
    if (s.learnCurvesPresent && s.histogramValid)
    {
        const float w = histogramLoudnessDrop(s);
        return s.curveValid ? correctedByCurve(w, s) : w;
    }
    return std::clamp(s.mix, 0.0f, 1.0f) *
           staticGainReduction(-10.0f, s.thresholdDb, s.ratio, std::max(s.kneeDb, 0.01f), s.character);
}

float onePoleCoefficient(double seconds, double sampleRate) noexcept
{
    return (float)std::exp(-1.0 / (std::max(seconds, 1e-6) * sampleRate));
}

DetectorCoefficients detectorCoefficients(const EngineSettings& s, const CharacterModel& model,
                                          double sampleRate) noexcept
{
    const double attack = std::max((double)s.attackMs * 0.001, 5e-5);
    const double releaseMs = s.autoRelease ? (double)model.autoReleaseMs : (double)s.releaseMs;
    const double release = std::max(releaseMs * 0.001, 0.001);
    const double slowAttackMs = std::max(400.0, attack * 1000.0);
    const double slowReleaseMs = std::min(std::max(release * 1000.0, 1.0) * 6.0, 4000.0);
    const double rmsMs = model.rmsWindowMs > 0.0f ? (double)model.rmsWindowMs : 5.0;

    DetectorCoefficients c;
    c.attack = onePoleCoefficient(attack, sampleRate);
    c.release = onePoleCoefficient(release, sampleRate);
    c.slowAttack = onePoleCoefficient(slowAttackMs * 0.001, sampleRate);
    c.slowRelease = onePoleCoefficient(slowReleaseMs * 0.001, sampleRate);
    c.rms = onePoleCoefficient(rmsMs * 0.001, sampleRate);
    c.peakRelease = onePoleCoefficient((double)model.peakReleaseMs * 0.001, sampleRate);
    return c;
}

} // namespace orlix

namespace orlix
{
namespace
{
// The dB helpers of the per-sample step, with the vectorisable logarithm. The logarithm is
// taken before the choice (of a number kept away from 0), so the choice is a plain select and
// a loop of these vectorises.
inline float blockAmplitudeDb(float v) noexcept
{
    const float db = std::max(dbPerOctaveOfAmplitude * fastmath::log2(std::max(v, 1e-20f)), -100.0f);
    return v > 1e-20f ? db : -100.0f;
}

inline float blockPowerDb(float p) noexcept
{
    const float db = std::max(0.5f * dbPerOctaveOfAmplitude * fastmath::log2(std::max(p, 1e-30f)), -100.0f);
    return p > 1e-30f ? db : -100.0f;
}

// gainComputer with both sides of each branch computed, so a loop of it vectorises.
inline float gainComputerSelect(float over, float ratio, float knee) noexcept
{
    const float slope = 1.0f - 1.0f / std::max(ratio, 1.0f);
    const float x = over + knee * 0.5f;
    const float inside = slope * x * x / (2.0f * knee);
    const float above = slope * over;
    const float reduction = knee >= 2.0f * std::abs(over) ? inside : above;
    return -knee > 2.0f * over ? 0.0f : reduction;
}

// The curve of gainComputer before its slope: 0 below the knee, the knee's parabola in it and
// the overshoot above. OPTO's slope changes in its recursion; this part does not.
inline float curveBeforeSlope(float over, float knee) noexcept
{
    const float x = over + knee * 0.5f;
    const float inside = x * x / (2.0f * knee);
    const float reduction = knee >= 2.0f * std::abs(over) ? inside : over;
    return -knee > 2.0f * over ? 0.0f : reduction;
}

// OPTO's ratio grows by up to 0.4 of itself over the first 10 dB of reduction.
inline constexpr float optoGrowthPerDb = 0.04f;
inline constexpr float optoGrowthLimitDb = 10.0f;

// The FET character's extra ratio for small overshoots: 1 + f 0.6 e^(-over/6) above the threshold.
inline float fetFactor(float over, float fet) noexcept
{
    const float fade = fastmath::exp2(over * (-1.0f / (6.0f * 0.693147181f)));
    return 1.0f + fet * 0.6f * (over > 0.0f ? fade : 1.0f);
}

// The levels of samples from .. from + n - 1.
ORLIX_VECTOR_LOOP(void, levels, (const DetectorRamps& k, const DetectorScratch& s, int from, int n),
                  (k, s, from, n))
{
    const float* env = s.envelope + from;
    const float* ms = s.meanSquare + from;
    float* level = s.level + from;
    const float share = k.constantShare;
    if (share >= 1.0f)
    {
        for (int i = 0; i < n; ++i)
            level[i] = blockAmplitudeDb(env[i]);
    }
    else if (juce::exactlyEqual(share, 0.0f))
    {
        for (int i = 0; i < n; ++i)
            level[i] = blockPowerDb(ms[i]);
    }
    else if (juce::exactlyEqual(share, 0.5f))
    {
        // An even blend above both floors needs only one logarithm:
        // (10 log10 ms + 20 log10 env) / 2 = 5 log10 (ms env^2). Quiet samples are redone below.
        int quiet = 0;
        for (int i = 0; i < n; ++i)
        {
            quiet += ms[i] > 1e-10f && env[i] > 1e-5f ? 0 : 1; // NOLINT: counted, not branched on
            level[i] =
                0.25f * dbPerOctaveOfAmplitude * fastmath::log2(std::max(ms[i] * env[i] * env[i], 1e-30f));
        }
        if (quiet > 0)
            for (int i = 0; i < n; ++i)
                if (!(ms[i] > 1e-10f && env[i] > 1e-5f))
                    level[i] = 0.5f * blockPowerDb(ms[i]) + 0.5f * blockAmplitudeDb(env[i]);
    }
    else
    {
        const float* p = k.peakShare + from;
        for (int i = 0; i < n; ++i)
        {
            const float a = blockAmplitudeDb(env[i]);
            const float b = blockPowerDb(ms[i]);
            const float blended = (1.0f - p[i]) * b + p[i] * a;
            level[i] = p[i] >= 1.0f ? a : p[i] <= 0.0f ? b : blended;
        }
    }
}

// Per sample ahead of the paths: the level and the overshoot, and the target (or with OPTO the
// FET factor, and the curve before its slope in place of the overshoot). Independent per
// sample, so it runs in the widest vectors the processor has.
ORLIX_VECTOR_LOOP(void, prepareTargets,
                  (const DetectorRamps& k, const DetectorScratch& s, int from, int length, bool withOpto),
                  (k, s, from, length, withOpto))
{
    levels(k, s, from, length);
    float* over = s.level + from;
    const float* threshold = k.threshold + from;
    for (int i = 0; i < length; ++i)
        over[i] -= threshold[i];
    float* target = s.target + from;
    const float* ratio = k.ratio + from;
    const float* knee = k.knee + from;
    const float* fet = k.fetFlag + from;
    if (withOpto)
    {
        // The ratio is r = b + g dr (b the ratio with the FET factor, dr its growth per dB of
        // reduction g). Measured in units of dr, r is b / dr + g: the recursion then needs no
        // multiply, and the curve is scaled alike so that its share divided by r keeps its value.
        const float* opto = k.optoFlag + from;
        if (k.fetOff)
            std::fill(target, target + length, 1.0f);
        else
            for (int i = 0; i < length; ++i)
                target[i] = fetFactor(over[i], fet[i]);
        // Where the OPTO flag is still 0 the growth is kept tiny, not 0: b / dr stays finite
        // and g vanishes beside it. (Loops of few arrays each, so that each vectorises.)
        float* growth = s.scaledCurve + from;
        for (int i = 0; i < length; ++i)
            growth[i] = std::max(ratio[i] * opto[i] * optoGrowthPerDb, 1e-20f);
        for (int i = 0; i < length; ++i)
            target[i] = std::max(ratio[i] * target[i], 1.0f) / growth[i];
        for (int i = 0; i < length; ++i)
            over[i] = curveBeforeSlope(over[i], knee[i]); // the level array now holds the curve
        for (int i = 0; i < length; ++i)
            growth[i] = over[i] / growth[i];
    }
    else if (k.fetOff)
        for (int i = 0; i < length; ++i)
            target[i] = gainComputerSelect(over[i], ratio[i], knee[i]);
    else
        for (int i = 0; i < length; ++i)
            target[i] = gainComputerSelect(over[i], ratio[i] * fetFactor(over[i], fet[i]), knee[i]);
}
} // namespace

namespace
{
// The fast and slow paths of one sample, written as (1 - k) t + k y: with the target's share
// (1 - k) t computed off the recursion, each path adds one multiply and one add per sample.
// 1 - k is exact for every coefficient of 0.5 and above (all but the very fastest times), so
// each path still settles exactly on its target.
struct PathCoefficients
{
    float attack, release, attackShare, releaseShare;
    float slowAttack, slowRelease, slowAttackShare, slowReleaseShare; // shares halved: the slow path aims at t / 2

    explicit PathCoefficients(const DetectorCoefficients& c) noexcept
        : attack(c.attack), release(c.release), attackShare(1.0f - c.attack), releaseShare(1.0f - c.release),
          slowAttack(c.slowAttack), slowRelease(c.slowRelease), slowAttackShare((1.0f - c.slowAttack) * 0.5f),
          slowReleaseShare((1.0f - c.slowRelease) * 0.5f)
    {
    }
};
} // namespace

// The steps of the recursions share their state with the loop around them: each must be
// inlined, or that state lives in memory and every step waits on a store and a load.
#define ORLIX_INLINED __attribute__((always_inline))

// audio thread
float LevelDetector::run(const float* peak, int n, const DetectorCoefficients& c, const DetectorRamps& k,
                         const DetectorScratch& s, float* reduction, int following) noexcept
{
    // Three recursions run through every sample: the envelopes, the fast and slow paths (with
    // OPTO, the gain computer too), everything else is independent per sample. The run goes
    // in slices; the envelopes of one slice share a loop with the paths of the slice before,
    // so the two chains of dependent operations overlap instead of queueing; the last slice's
    // paths go beside the envelopes of the next run's first slice when that is given.
    if (n <= 0)
        return 0.0f;
    jassert(following >= 0 && following <= slice && (carried == 0 || carried == std::min(slice, n)));
    float env = peakEnvelope, ms = meanSquare;
    float f = fast, sl = slow, g = gainReduction, largest = 0.0f;
    const float peakRelease = c.peakRelease, peakShare = 1.0f - c.peakRelease, rms = c.rms,
                rmsInput = 1.0f - c.rms;
    const PathCoefficients p(c);
    const bool withOpto = !k.optoOff;

    struct EnvelopeSpan
    {
        const float* peak;
        float* envelope;
        float* meanSquare;
    };
    auto envelopeStep = [&](const EnvelopeSpan& d, int i)
    {
        const float x = d.peak[i];
        // The release toward x, or x itself when it is higher: a rise is followed at once.
        env = std::max(x, env * peakRelease + x * peakShare);
        ms = x * x * rmsInput + rms * ms;
        d.envelope[i] = env;
        d.meanSquare[i] = ms;
    };

    auto prepareSlice = [&](int from, int length) { prepareTargets(k, s, from, length, withOpto); };

    // Without OPTO the target is known ahead: only the two paths recurse.
    auto pathStep = [&](int i)
    {
        const float t = s.target[i];
        f = t > f ? p.attackShare * t + p.attack * f : p.releaseShare * t + p.release * f;
        sl = sl + sl < t ? p.slowAttackShare * t + p.slowAttack * sl : p.slowReleaseShare * t + p.slowRelease * sl;
        g = std::max(sl * k.slowWeight[i], f);
        reduction[i] = g;
        largest = std::max(largest, g);
    };

    // OPTO's ratio follows its own reduction, so the gain computer joins the recursion. Its
    // target is b - b / r: b the curve without the ratio (0, the knee's parabola or the
    // overshoot), r the ratio that grows with the reduction. Everything but b / r is worked
    // out off the recursion, and each path's share of b / r (its drop) is taken as the last
    // step; each path works out only the branch it takes.
    struct PathsBeforeDrops
    {
        float fastAim, fastDrop, slowAim, slowDrop;
    };
    auto optoPaths = [&](int i, float r)
    {
        const float curve = s.level[i];
        const float scaled = s.scaledCurve[i];
        // t > f and t / 2 > sl with t = b - b / r, multiplied out so that no division decides
        // which way a path goes: the one division per path is then the drop itself.
        const bool fastRises = scaled < (curve - f) * r;
        const bool slowRises = scaled < (curve - (sl + sl)) * r;
        const float fastShare = fastRises ? p.attackShare : p.releaseShare;
        const float fastKeep = fastRises ? p.attack : p.release;
        const float slowShare = slowRises ? p.slowAttackShare : p.slowReleaseShare;
        const float slowKeep = slowRises ? p.slowAttack : p.slowRelease;
        const PathsBeforeDrops paths{fastShare * curve + fastKeep * f, fastShare * scaled / r,
                                     slowShare * curve + slowKeep * sl, slowShare * scaled / r};
        f = paths.fastAim - paths.fastDrop;
        sl = paths.slowAim - paths.slowDrop;
        return paths;
    };

    auto optoPathStep = [&](int i, auto unitWeight)
    {
        optoPaths(i, s.target[i] + std::min(g, optoGrowthLimitDb)); // r in units of the growth per dB
        if constexpr (decltype(unitWeight)::value)
            g = std::max(sl, f);
        else
            g = std::max(sl * k.slowWeight[i], f);
        reduction[i] = g;
        largest = std::max(largest, g);
    };

    // With the slow path's weight at 1, the next sample's ratio is carried instead of the
    // reduction: r' = t' + min(max(f, s), 10), taken as (F + t') - d from the winning path
    // (F its value before the drop d, t' the next target), so that everything but the drop is
    // added ahead. Which path wins and whether the limit holds are chosen on the paths' own
    // values: predicted branches, not steps in the chain, which is then a division and a
    // subtraction.
    float r = 0.0f;
    auto carriedOptoStep = [&](int i)
    {
        const float nextTarget = s.target[i + 1];
        const auto paths = optoPaths(i, r);
        g = std::max(sl, f);
        const float fastRatio = (paths.fastAim + nextTarget) - paths.fastDrop;
        const float slowRatio = (paths.slowAim + nextTarget) - paths.slowDrop;
        r = g < optoGrowthLimitDb ? (f < sl ? slowRatio : fastRatio) : nextTarget + optoGrowthLimitDb;
        reduction[i] = g;
        largest = std::max(largest, g);
    };

    auto runSlices = [&](auto&& sliceSteps)
    {
        const int first = std::min(slice, n);
        if (carried > 0)
        {
            std::copy(carriedEnvelope.begin(), carriedEnvelope.begin() + first, s.envelope);
            std::copy(carriedMeanSquare.begin(), carriedMeanSquare.begin() + first, s.meanSquare);
        }
        else
            for (int i = 0; i < first; ++i)
                envelopeStep({peak, s.envelope, s.meanSquare}, i);
        prepareSlice(0, first);
        for (int from = 0; from < n; from += slice)
        {
            const int length = std::min(slice, n - from);
            const int next = from + length;
            if (next < n)
            {
                const int nextLength = std::min(slice, n - next);
                sliceSteps(from, length, EnvelopeSpan{peak + next, s.envelope + next, s.meanSquare + next},
                           nextLength);
                prepareSlice(next, nextLength);
            }
            else
                sliceSteps(from, length, EnvelopeSpan{peak + n, carriedEnvelope.data(), carriedMeanSquare.data()},
                           following);
        }
        carried = following;
    };
    // The paths of one slice beside the envelopes of the next.
    auto stepsBesideEnvelopes = [&](auto&& step)
    {
        return [&, step](int from, int length, const EnvelopeSpan& next, int nextLength) ORLIX_INLINED
        {
            const int both = std::min(length, nextLength);
            for (int i = 0; i < both; ++i)
            {
                step(from + i);
                envelopeStep(next, i);
            }
            for (int i = both; i < length; ++i)
                step(from + i);
            for (int i = both; i < nextLength; ++i)
                envelopeStep(next, i);
        };
    };
    if (withOpto && k.slowWeightOne)
        runSlices(
            [&, carriedSteps = stepsBesideEnvelopes(carriedOptoStep)](int from, int length, const EnvelopeSpan& next,
                                                                       int nextLength) ORLIX_INLINED
            {
                // The last sample's next target is not prepared yet: it takes the plain step.
                r = s.target[from] + std::min(g, optoGrowthLimitDb);
                carriedSteps(from, length - 1, next, nextLength);
                optoPathStep(from + length - 1, std::true_type{});
            });
    else if (withOpto)
        runSlices(stepsBesideEnvelopes([&](int i) { optoPathStep(i, std::false_type{}); }));
    else
        runSlices(stepsBesideEnvelopes(pathStep));

    peakEnvelope = env;
    meanSquare = ms;
    fast = f;
    slow = sl;
    gainReduction = g;
    return largest;
}

#undef ORLIX_INLINED

} // namespace orlix
