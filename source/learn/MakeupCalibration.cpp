#include "learn/MakeupCalibration.h"

#include "engine/DynamicsEngine.h"
#include "engine/GainComputer.h"
#include "engine/Loudness.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace orlix::calibration
{

MakeupHistogram buildMakeupHistogram(const std::vector<float>& samples, double sampleRate)
{
    MakeupHistogram h;
    if (samples.empty() || !(sampleRate > 0.0))
        return h;
    const int blockLength = std::max((int)std::lround(sampleRate * 0.02), 1);
    loudness::KWeighting filter(sampleRate);
    std::array<double, makeupHistogramBins> energy{}, crestSum{};
    double total = 0.0;
    for (size_t start = 0; start + (size_t)blockLength <= samples.size(); start += (size_t)blockLength)
    {
        double squares = 0.0, weighted = 0.0, peak = 0.0;
        for (size_t i = start; i < start + (size_t)blockLength; ++i)
        {
            const double x = samples[i];
            const double y = filter.process(x);
            squares += x * x;
            weighted += y * y;
            peak = std::max(peak, std::abs(x));
        }
        const double e = squares / blockLength, k = weighted / blockLength;
        const double level = 10.0 * std::log10(e + 1e-12);
        const double crest = std::max(20.0 * std::log10(peak + 1e-6) - level, 0.0);
        const auto bin = (size_t)std::clamp((int)std::floor(level) + 80, 0, 80);
        energy[bin] += k;
        crestSum[bin] += k * crest;
        total += k;
    }
    if (!std::isfinite(total) || !(total > 0.0))
        return h;
    for (size_t b = 0; b < energy.size(); ++b)
    {
        h.weights[b] = (float)(energy[b] / total);
        h.values[b] = energy[b] > 0.0 ? (float)(crestSum[b] / energy[b]) : 0.0f;
    }
    h.valid = true;
    return h;
}

EngineSettings learnedSettings(const LearnResult& r, int character)
{
    EngineSettings s;
    s.thresholdDb = r.threshold;
    s.ratio = r.ratio;
    s.attackMs = r.attack;
    s.releaseMs = r.release;
    s.kneeDb = r.knee;
    s.mix = r.mix * 0.01f;
    s.autoRelease = r.autoRelease;
    s.character = character;
    // The drop is the compressor's own: no make-up may hide it.
    s.autoMakeup = false;
    return s;
}

float histogramPrediction(const EngineSettings& settings, const MakeupHistogram& histogram)
{
    auto s = settings;
    s.histogramWeight = histogram.weights;
    s.histogramCrest = histogram.values;
    return histogramLoudnessDrop(s);
}

float traceLoudnessDrop(const LearnStatistics& stats, const EngineSettings& s)
{
    const auto curve = mapping::buildDetectorCurve(stats, s.character);
    const auto g =
        mapping::gainReductionTrace(curve, stats, {s.character, s.attackMs, s.releaseMs, s.autoRelease},
                                    s.thresholdDb, s.ratio, std::max(s.kneeDb, 0.01f));
    if (g.empty())
        return 0.0f;
    const double mix = std::clamp(s.mix, 0.0f, 1.0f);
    const size_t points = g.size();
    const auto blockPoints =
        (size_t)std::max(1L, std::lround(0.4 / (stats.traceSamplesPerPoint / stats.traceSampleRate)));
    const size_t hop = std::max<size_t>(1, blockPoints / 4);

    std::vector<double> dry, wet;
    for (size_t start = 0; start + blockPoints <= points; start += hop)
    {
        double dryPower = 0.0, wetPower = 0.0;
        for (size_t i = start; i < start + blockPoints; ++i)
        {
            const std::uint8_t br = stats.traceRms[i];
            const double m = br == 0 ? 0.0 : std::pow(10.0, (br * 0.5 - 100.0) * 0.1);
            const double a = mix * std::pow(10.0, -g[i] / 20.0) + 1.0 - mix;
            dryPower += m;
            wetPower += m * a * a;
        }
        dry.push_back(dryPower / (double)blockPoints);
        wet.push_back(wetPower / (double)blockPoints);
    }
    const double dryLoudness = loudness::gatedLoudness(dry);
    const double wetLoudness = loudness::gatedLoudness(wet);
    if (dryLoudness <= -99.0 || wetLoudness <= -99.0)
        return 0.0f;
    return (float)(dryLoudness - wetLoudness);
}

bool engineLoudnessDrop(const EngineSettings& settings, const std::vector<float>& captured, double sampleRate,
                        float& drop)
{
    if (!(sampleRate > 0.0) || (double)captured.size() < sampleRate)
        return false;
    DynamicsEngine engine;
    engine.prepare(sampleRate, 1);
    engine.setActive(1.0f);
    std::vector<float> output(captured);
    for (size_t start = 0; start < output.size(); start += 512)
    {
        float* channel[1] = {output.data() + start};
        engine.process(channel, 1, (int)std::min<size_t>(512, output.size() - start), settings);
    }
    const float in = loudness::integratedLoudness({captured}, sampleRate);
    const float out = loudness::integratedLoudness({output}, sampleRate);
    if (in <= -99.0f || out <= -99.0f)
        return false;
    drop = in - out;
    return true;
}

namespace
{
MakeupCurve straightLine(float prediction, float measured)
{
    MakeupCurve c;
    for (size_t i = 0; i < (size_t)makeupCurvePoints; ++i)
    {
        const float t = (float)i / 12.0f;
        c.points.x[i] = prediction * t;
        c.points.y[i] = (measured - prediction) * t;
    }
    c.valid = true;
    return c;
}

void sortAndMakeMonotonic(MakeupCurve& c)
{
    std::array<std::pair<float, float>, makeupCurvePoints> points{};
    for (size_t i = 0; i < points.size(); ++i)
        points[i] = {c.points.x[i], c.points.y[i]};
    std::stable_sort(points.begin(), points.end(), [](auto a, auto b) { return a.first < b.first; });
    float largest = 0.0f;
    for (size_t i = 0; i < points.size(); ++i)
    {
        largest = std::max(largest, points[i].first);
        c.points.x[i] = largest;
        c.points.y[i] = points[i].second;
    }
}
} // namespace

MakeupCurve buildMakeupCurve(int character, const CalibrationContext& context)
{
    juce::ScopedNoDenormals noDenormals;
    const auto settings = learnedSettings(context.result, character);
    const float prediction = histogramPrediction(settings, context.histogram);
    float measured = prediction;
    if (!engineLoudnessDrop(settings, context.captured, context.sampleRate, measured))
        measured = prediction;

    if (mapping::buildDetectorCurve(context.stats, character).empty())
        return straightLine(prediction, measured);

    const float modelled = traceLoudnessDrop(context.stats, settings);
    MakeupCurve curve;
    for (size_t k = 0; k < thresholdOffsets.size(); ++k)
    {
        auto offset = settings;
        offset.thresholdDb = std::clamp(settings.thresholdDb + thresholdOffsets[k], -60.0f, 0.0f);
        const float x = histogramPrediction(offset, context.histogram);
        const float t = traceLoudnessDrop(context.stats, offset);
        const float share = modelled > 0.05f ? std::clamp(t / modelled, 0.0f, 1.0f) : 1.0f;
        curve.points.x[k + 1] = x;
        curve.points.y[k + 1] = t + share * (measured - modelled) - x;
    }
    sortAndMakeMonotonic(curve);
    curve.valid = true;
    return curve;
}

std::thread startThread(std::function<void()> work)
{
    return std::thread(std::move(work));
}

std::optional<CalibrationTexts> runCalibration(const LearnResult& result, const LearnStatistics& stats,
                                               const std::vector<float>& captured, double sampleRate,
                                               const ThreadStarter& starter)
{
    const auto histogram = buildMakeupHistogram(captured, sampleRate);
    if (!histogram.valid)
        return std::nullopt;

    const CalibrationContext context{result, stats, captured, sampleRate, histogram};
    std::array<MakeupCurve, 3> curves;
    std::array<std::thread, 2> workers;
    bool started = true;
    try
    {
        workers[0] = starter([&] { curves[1] = buildMakeupCurve(characterFetIndex, context); });
        workers[1] = starter([&] { curves[2] = buildMakeupCurve(characterVcaIndex, context); });
    }
    catch (...)
    {
        started = false; // nothing may escape into the host's timer
    }
    if (started)
        curves[0] = buildMakeupCurve(characterOptoIndex, context);
    for (auto& worker : workers)
        if (worker.joinable())
            worker.join();
    if (!started)
        return std::nullopt;

    CalibrationTexts texts;
    texts.histogram = histogramText(histogram.weights, histogram.values);
    if (curves[0].valid && curves[1].valid && curves[2].valid)
        texts.curves = curvesText({curves[0].points, curves[1].points, curves[2].points});
    return texts;
}

} // namespace orlix::calibration
