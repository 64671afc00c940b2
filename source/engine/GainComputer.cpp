#include "engine/GainComputer.h"

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
