#include "learn/LearnMapping.h"

#include "engine/CharacterModel.h"
#include "engine/GainComputer.h"
#include "learn/LearnAnalyzer.h"

#include <algorithm>
#include <cmath>

namespace orlix::mapping
{
namespace
{
float dbOrFloor(double v, double scale)
{
    return v > 0.0 ? (float)std::max(scale * std::log10(v), -100.0) : -100.0f;
}

double coefficient(double secondsPerPoint, double timeSeconds)
{
    return std::exp(-secondsPerPoint / std::max(timeSeconds, 1e-6));
}

bool isForced(int characterChoice)
{
    return characterChoice >= 1 && characterChoice <= 3;
}

void mapRatio(const LearnStatistics& s, const SourceProfile& p, LearnResult& r)
{
    r.spread = std::max(s.p90 - s.p50, 0.0f);
    float ratio = p.ratioBase + p.ratioSpan * std::clamp((r.spread - 2.0f) / 12.0f, 0.0f, 1.0f);
    if (ratio < 1.2f)
        ratio = 1.2f;
    r.ratio = std::min(ratio, p.ratioMax);
}

void mapAttack(const LearnStatistics& s, const SourceProfile& p, const CharacterModel& model, LearnResult& r)
{
    float v;
    if (s.riseN < 3)
    {
        v = std::sqrt(p.attackMinMs * p.attackMaxMs);
        r.attackFromDefaults = true;
    }
    else
        v = p.attackPerRise * s.rise;
    r.attack = std::clamp(v, p.attackMinMs, p.attackMaxMs) * model.attackFactor;
}

void mapRelease(const LearnStatistics& s, const SourceProfile& p, const CharacterModel& model, LearnResult& r)
{
    r.onsetReleaseCap = 0.8f * s.onsetIvl;
    float release = p.releaseBaseMs + p.releaseSpanMs * std::clamp((s.decay - 30.0f) / 270.0f, 0.0f, 1.0f);
    if (s.onsetRate > 0.5f && r.onsetReleaseCap < release)
    {
        release = r.onsetReleaseCap;
        r.releaseFromOnsets = true;
    }
    r.release =
        std::max(std::min(p.releaseBaseMs + p.releaseSpanMs, release), p.releaseMinMs) * model.releaseFactor;
    r.autoRelease = p.autoRelease;
}

void mapKnee(const LearnStatistics& s, const SourceProfile& p, const CharacterModel& model, LearnResult& r)
{
    const float k = (std::clamp((s.crest - 6.0f) * 4.0f / 14.0f, 0.0f, 4.0f) + p.kneeDb) * model.kneeFactor;
    r.knee = std::clamp(k, 1.0f, 24.0f);
}

void mapMix(const LearnStatistics& s, const SourceProfile& p, LearnResult& r)
{
    const float m = 100.0f - 2.0f * std::max(s.crest - 12.0f, 0.0f);
    r.mix = p.mixFloor > m ? p.mixFloor : std::min(m, 100.0f);
}

void mapDrive(const LearnStatistics& s, const SourceProfile& p, LearnResult& r)
{
    r.driveType = p.driveType;
    const float g = std::clamp(1.15f - (s.crest - 10.0f) * 0.5f / 12.0f, 0.65f, 1.15f);
    const float range = p.driveType == 2 ? 3.5f : p.driveType == 3 ? 16.5f : 4.0f;
    r.driveLevel = std::clamp((g - 1.0f) * range + p.driveOffsetDb, -40.0f, 0.0f);
    r.drive = driveAmountForLevel(p.driveType, r.driveLevel);
}

// Whether the gain reduction at threshold -60 reaches the target with the
// ratio and knee that target asks for.
bool reachable(const DetectorCurve& curve, const LearnStatistics& s, const LearnResult& r,
               const SourceProfile& p, float target)
{
    const auto rk = ratioKneeForTarget(r, p, target);
    return estimateGainReduction(curve, s, r, -60.0f, rk.ratio, rk.knee) >= target;
}

float maximumTarget(const LearnStatistics& s, const LearnResult& r, const SourceProfile& p)
{
    const auto curve = buildDetectorCurve(s, r.character);
    if (curve.empty())
        return 1.0f;
    if (reachable(curve, s, r, p, 20.0f))
        return 20.0f;
    if (!reachable(curve, s, r, p, 1.0f))
        return 1.0f;
    float lo = 1.0f, hi = 20.0f;
    for (int i = 0; i < 14; ++i)
    {
        const float mid = (lo + hi) * 0.5f;
        (reachable(curve, s, r, p, mid) ? lo : hi) = mid;
    }
    return std::clamp(std::floor(lo / 0.1f + 0.001f) * 0.1f, 1.0f, 20.0f);
}
} // namespace

float roundToStep(float value, float step)
{
    return std::round(value / step) * step;
}

float driveAmountForLevel(int driveType, float level)
{
    const auto& t = driveLevelTable[(size_t)std::clamp(driveType, 0, 3)];
    if (level >= 0.0f)
        return 100.0f;
    if (level <= t[0])
        return std::max(0.0f, 5.0f * (1.0f - (t[0] - level) / std::max(t[1] - t[0], 0.001f)));
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i] >= level)
            return 5.0f * ((float)i + (level - t[i - 1]) / std::max(t[i] - t[i - 1], 1e-6f));
    return 100.0f;
}

int chooseCharacter(const LearnStatistics& s, const SourceProfile& profile, LearnResult& scores)
{
    scores.fetScore = std::clamp((s.crest - 8.0f) * 1.5f / 12.0f, 0.0f, 1.5f) +
                      std::clamp((20.0f - s.rise) * 2.0f / 18.0f, 0.0f, 2.0f) +
                      std::clamp((s.hf - 0.05f) / 0.35f, 0.0f, 1.0f);
    scores.optoScore = std::clamp((s.sustain - 0.2f) * 1.5f / 0.6f, 0.0f, 1.5f) +
                       std::clamp((s.rise - 5.0f) * 2.0f / 55.0f, 0.0f, 2.0f) +
                       std::clamp((20.0f - s.crest) / 14.0f, 0.0f, 1.0f);
    scores.vcaScore = 1.6f;

    const int preferred = profile.character;
    const std::pair<int, float> candidates[] = {{characterFetIndex, scores.fetScore},
                                                {characterOptoIndex, scores.optoScore},
                                                {characterVcaIndex, scores.vcaScore}};
    float preferredScore = 0.0f;
    int best = -1;
    float bestScore = 0.0f;
    for (auto [character, score] : candidates)
    {
        if (character == preferred)
        {
            preferredScore = score;
            continue;
        }
        if (best < 0 || score > bestScore)
        {
            best = character;
            bestScore = score;
        }
    }
    return bestScore - preferredScore >= 1.5f ? best : preferred;
}

LearnResult mapLearn(const LearnStatistics& s, int source, int nuance, int characterChoice)
{
    LearnResult r;
    if (!isUsableForMapping(s))
        return r;
    r.valid = true;
    const auto profile = lookupProfile(source, nuance);
    const int chosen = chooseCharacter(s, profile, r);
    r.character = isForced(characterChoice) ? characterChoice : chosen;
    const auto& model = characterModel(r.character);

    mapRatio(s, profile, r);
    mapAttack(s, profile, model, r);
    mapRelease(s, profile, model, r);
    mapKnee(s, profile, model, r);
    r.threshold = findThreshold(s, r, profile.targetDb, r.ratio, r.knee);
    mapMix(s, profile, r);
    mapDrive(s, profile, r);
    return r;
}

DetectorCurve buildDetectorCurve(const LearnStatistics& s, int character)
{
    DetectorCurve curve;
    if (!isUsableForMapping(s))
        return curve;
    const auto& model = characterModel(character);
    const double perPoint = s.traceSamplesPerPoint / s.traceSampleRate;
    const double w = coefficient(perPoint, model.peakReleaseMs * 0.001);
    const double a = coefficient(perPoint, model.rmsWindowMs * 0.001);
    const double share = model.peakShare;

    curve.reserve(s.tracePeak.size());
    double peakDetector = 0.0, smoothedSquare = 0.0;
    for (size_t i = 0; i < s.tracePeak.size(); ++i)
    {
        const std::uint8_t bp = s.tracePeak[i], br = s.traceRms[i];
        const double peak = bp == 0 ? 0.0 : std::pow(10.0, (bp * 0.5 - 100.0) * 0.05);
        const double meanSquare = br == 0 ? 0.0 : std::pow(10.0, (br * 0.5 - 100.0) * 0.1);
        peakDetector = std::max(peak, w * peakDetector + 0.9 * (1.0 - w) * std::sqrt(meanSquare));
        smoothedSquare = (1.0 - a) * meanSquare + a * smoothedSquare;
        const float peakLevel = dbOrFloor(peakDetector, 20.0);
        const float rmsLevel = dbOrFloor(smoothedSquare, 10.0);
        curve.push_back(share >= 1.0   ? peakLevel
                        : share <= 0.0 ? rmsLevel
                                       : (float)((1.0 - share) * rmsLevel + share * peakLevel));
    }
    return curve;
}

std::vector<float> gainReductionTrace(const DetectorCurve& curve, const LearnStatistics& s,
                                      const ModelTimes& t, float threshold, float ratio, float knee)
{
    std::vector<float> trace;
    if (curve.empty() || curve.size() != s.tracePeak.size())
        return trace;
    const auto& model = characterModel(t.character);
    const double perPoint = s.traceSamplesPerPoint / s.traceSampleRate;
    const double releaseMs = t.autoRelease ? model.autoReleaseMs : t.releaseMs;
    const auto attack = (float)coefficient(perPoint, std::max(t.attackMs * 0.001, 5e-5));
    const auto release = (float)coefficient(perPoint, std::max(releaseMs * 0.001, 0.001));
    const auto slowAttack = (float)coefficient(perPoint, std::max(400.0, (double)t.attackMs) * 0.001);
    const auto slowRelease =
        (float)coefficient(perPoint, std::min(std::max(releaseMs, 1.0) * 6.0, 4000.0) * 0.001);
    const bool holdsSlow = model.programRelease || t.autoRelease;
    const bool fet = t.character == characterFetIndex, opto = t.character == characterOptoIndex;

    trace.reserve(curve.size());
    float fast = 0.0f, slow = 0.0f, g = 0.0f;
    for (float level : curve)
    {
        const float over = level - threshold;
        float factor = 1.0f;
        if (fet)
            factor = 1.0f + 0.6f * std::exp(-std::max(over, 0.0f) / 6.0f);
        else if (opto)
            factor = 1.0f + 0.4f * std::clamp(g / 10.0f, 0.0f, 1.0f);
        const float target = gainComputer(over, ratio * factor, knee);
        fast = (fast < target ? attack : release) * (fast - target) + target;
        const float half = target * 0.5f;
        slow = (slow < half ? slowAttack : slowRelease) * (slow - half) + half;
        g = holdsSlow ? std::max(fast, slow) : fast;
        trace.push_back(g);
    }
    return trace;
}

float estimateGainReduction(const DetectorCurve& curve, const LearnStatistics& s, const LearnResult& r,
                            float threshold, float ratio, float knee)
{
    const auto g = gainReductionTrace(curve, s, {r.character, r.attack, r.release, r.autoRelease}, threshold,
                                      ratio, knee);
    // The largest reduction of every 512-sample window that reduces at all.
    std::vector<float> windowMaxima;
    long long window = -1;
    float windowMax = 0.0f;
    auto closeWindow = [&]
    {
        if (window >= 0 && windowMax > 0.05f)
            windowMaxima.push_back(windowMax);
    };
    for (size_t i = 0; i < g.size(); ++i)
    {
        const auto w = (long long)std::floor(((double)i + 0.5) * s.traceSamplesPerPoint / 512.0);
        if (w != window)
        {
            closeWindow();
            window = w;
            windowMax = 0.0f;
        }
        windowMax = std::max(windowMax, g[i]);
    }
    closeWindow();
    if (windowMaxima.empty())
        return 0.0f; // no window reduces at all
    std::sort(windowMaxima.begin(), windowMaxima.end());
    return learnmath::percentileOfSorted(windowMaxima, 0.95);
}

float findThreshold(const LearnStatistics& s, const LearnResult& r, float target, float ratio, float knee)
{
    const auto curve = buildDetectorCurve(s, r.character);
    if (curve.empty())
        return -1.0f;
    if (target > estimateGainReduction(curve, s, r, -60.0f, ratio, knee))
        return -60.0f;
    float lo = -60.0f, hi = -1.0f;
    for (int i = 0; i < 18; ++i)
    {
        const float mid = (lo + hi) * 0.5f;
        if (target < estimateGainReduction(curve, s, r, mid, ratio, knee))
            lo = mid; // still more reduction than asked for: the threshold may rise
        else
            hi = mid;
    }
    return std::clamp((lo + hi) * 0.5f, -60.0f, -1.0f);
}

RatioKnee ratioKneeForTarget(const LearnResult& r, const SourceProfile& p, float target)
{
    const float scale = std::sqrt(std::clamp(target, 1.0f, 20.0f) / std::max(p.targetDb, 0.1f));
    float ratio = (r.ratio - 1.0f) * scale + 1.0f;
    ratio = ratio < 1.2f ? 1.2f : std::min(ratio, std::max(p.ratioMax, 1.2f));
    ratio = std::clamp(roundToStep(ratio, 0.01f), 1.0f, 20.0f);

    const float knee = std::clamp(r.knee * scale, 1.0f, 24.0f);
    const float percent = std::clamp(std::round(knee / 24.0f * 100.0f), 0.0f, 100.0f);
    return {ratio, percent * 0.24f};
}

TargetSettings settingsForTarget(const LearnStatistics& s, const LearnResult& r, const SourceProfile& p,
                                 float target)
{
    const float a = std::clamp(target, 1.0f, 20.0f);
    const auto rk = ratioKneeForTarget(r, p, a);
    return {rk.ratio, rk.knee, findThreshold(s, r, a, rk.ratio, rk.knee)};
}

LearnResult mapForProfileTarget(const LearnStatistics& s, int source, int nuance, int characterChoice)
{
    auto r = mapLearn(s, source, nuance, characterChoice);
    if (!r.valid)
        return r;
    const auto profile = lookupProfile(source, nuance);
    const float a = std::clamp(profile.targetDb, 1.0f, 20.0f);
    const auto rk = ratioKneeForTarget(r, profile, a);
    const float threshold = findThreshold(s, r, a, rk.ratio, rk.knee);
    r.ratio = rk.ratio;
    r.knee = rk.knee;
    r.threshold = std::clamp(roundToStep(threshold, 0.1f), -60.0f, -1.0f);
    return r;
}

const MappingCache* targetLimits(MappingCache& cache, int source, int nuance, int character, int revision,
                                 const LearnStatistics* stats)
{
    if (stats == nullptr || !stats->valid)
    {
        cache = MappingCache{};
        return nullptr;
    }
    if (cache.valid && cache.source == source && cache.nuance == nuance && cache.character == character &&
        cache.revision == revision)
        return &cache;

    auto result = mapLearn(*stats, source, nuance, character);
    if (!result.valid)
    {
        cache = MappingCache{};
        return nullptr;
    }
    cache.valid = true;
    cache.source = source;
    cache.nuance = nuance;
    cache.character = character;
    cache.revision = revision;
    cache.stats = *stats;
    cache.result = result;
    cache.profile = lookupProfile(source, nuance);
    cache.maxTarget =
        std::max(std::min(cache.profile.targetDb, 20.0f), maximumTarget(*stats, result, cache.profile));
    return &cache;
}

} // namespace orlix::mapping
