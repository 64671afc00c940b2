#include "learn/LearnAnalyzer.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

namespace
{
constexpr double lowestSampleRate = 8000.0;
constexpr double secondsToCount = 8.0;
constexpr double countedLevelDb = -60.0;    // blocks at or below this do not count
constexpr float onsetLevel = 0.0019952623f; // 10^-2.7, about -54 dBFS
constexpr float onsetMinimumStep = 0.0005f;
constexpr float onsetEndShare = 0.95f;
constexpr float onsetMinimumJump = 1.8f; // peak over the level before the onset
constexpr float riseUpperShare = 0.9f;
constexpr float riseLowerShare = 0.1f;
constexpr float decayShare = 0.368f; // about 1/e
constexpr double longestDecaySeconds = 0.5;
constexpr float sustainShare = 0.1f;
constexpr size_t maxTimes = 5000;
constexpr size_t maxBlockLevels = 20000;

// One trace byte: a level in 0.5 dB steps above -100 dBFS.
std::uint8_t traceByte(double levelDb)
{
    const double steps = std::round((levelDb + 100.0) * 2.0);
    if (std::isnan(steps))
        return 0;
    return (std::uint8_t)std::clamp(steps, 0.0, 255.0);
}
} // namespace

namespace learnmath
{
float percentileOfSorted(const std::vector<float>& sorted, double q)
{
    if (sorted.empty())
        return -100.0f;
    const size_t last = sorted.size() - 1;
    const double position = (double)last * q;
    const auto i = (size_t)std::floor(position);
    const double f = position - (double)i;
    return (float)((1.0 - f) * sorted[i] + f * sorted[std::min(i + 1, last)]);
}

float median(std::vector<float> values)
{
    if (values.empty())
        return 0.0f;
    std::sort(values.begin(), values.end());
    return percentileOfSorted(values, 0.5);
}

double levelDb(double magnitude)
{
    if (!(magnitude > 0.0))
        return -100.0;
    return std::max(20.0 * std::log10(magnitude), -100.0);
}
} // namespace learnmath

LearnAnalyzer::LearnAnalyzer()
{
    prepare(44100.0);
}

void LearnAnalyzer::prepare(double hostSampleRate)
{
    const bool usable = std::isfinite(hostSampleRate) && hostSampleRate > lowestSampleRate;
    sampleRate = usable ? hostSampleRate : lowestSampleRate;

    rmsBlockLength = std::max((int)std::floor(sampleRate * 50.0 * 0.001), 1);
    maxCaptureSamples = (std::uint64_t)std::floor(sampleRate * 40.0);
    minOnsetGap = (std::int64_t)std::floor(sampleRate * 30.0 * 0.001);
    onsetHoldSamples = (int)std::floor(sampleRate * 0.02);
    attackCoef = (float)std::exp(-1.0 / (sampleRate * 0.0005));
    releaseCoef = (float)std::exp(-1.0 / (sampleRate * 0.02));
    lowpassCoef = (float)std::exp(-12566.371 / sampleRate); // 2 pi x 2 kHz

    historyLength = (size_t)std::max((int)std::floor(sampleRate * 0.3), 1);
    // Most instances never learn: the working memory is taken when analysis starts.
    envelopeHistory = {};
    blockLevels = {};
    riseTimes = {};
    decayTimes = {};
    onsetSamples = {};
    reset();
}

void LearnAnalyzer::ensureStorage()
{
    if (envelopeHistory.size() != historyLength)
    {
        envelopeHistory.assign(historyLength, 0.0f);
        historyIndex = 0;
        peakHistoryIndex = 0;
    }
    blockLevels.reserve(maxBlockLevels);
    riseTimes.reserve(maxTimes);
    decayTimes.reserve(maxTimes);
    onsetSamples.reserve(maxTimes);
}

void LearnAnalyzer::reset()
{
    countedSamples = 0;
    totalSamples = 0;
    peakAbs = 0.0f;
    sumSquares = 0.0;
    blockSumSquares = 0.0;
    blockCount = 0;
    blockLevels.clear();
    envelope = 0.0f;
    std::fill(envelopeHistory.begin(), envelopeHistory.end(), 0.0f);
    historyIndex = 0;
    onsetState = 0;
    onsetPeak = 0.0f;
    preOnsetLevel = 0.0f;
    peakHistoryIndex = 0;
    samplesSincePeak = 0;
    lastOnsetSample = -1000000;
    decayActive = false;
    decayStart = 0;
    decayPeak = 0.0f;
    captured.clear();
    capturedChannels.clear();
    riseTimes.clear();
    decayTimes.clear();
    onsetSamples.clear();
    lowpassState = 0.0f;
    highEnergy = 0.0;
    totalEnergy = 0.0;
    sustainSamples = 0;
}

double LearnAnalyzer::progress() const noexcept
{
    return std::clamp((double)countedSamples / (sampleRate * secondsToCount), 0.0, 1.0);
}

double LearnAnalyzer::secondsAnalysed() const noexcept
{
    return (double)totalSamples / sampleRate;
}

bool LearnAnalyzer::hasCountedEnough() const noexcept
{
    return (double)countedSamples >= sampleRate * secondsToCount;
}

void LearnAnalyzer::drainCapture(CaptureFifo& fifo)
{
    fifo.drain([this](const CaptureRegion& region)
               { analyse(region.mono, region.channel1, region.channel2, region.numSamples); });
}

void LearnAnalyzer::analyse(const float* mono, const float* channel1, const float* channel2, int numSamples)
{
    ensureStorage();
    const bool stereo = channel1 != nullptr && channel2 != nullptr;
    if (stereo && capturedChannels.size() != 2)
        capturedChannels.resize(2);
    for (int i = 0; i < numSamples; ++i)
    {
        // Once enough is counted the rest is only consumed.
        if (hasCountedEnough())
            return;
        analyseSample(mono[i], stereo ? channel1 : nullptr, stereo ? channel2 : nullptr, i);
    }
}

void LearnAnalyzer::analyseSample(float x, const float* channel1, const float* channel2, int index)
{
    const float a = std::abs(x);
    followEnvelope(a);
    envelopeHistory[(size_t)historyIndex] = envelope;
    accumulateEnergy(x, a);
    detectOnset();
    measureDecay();
    closeBlockIfFull();
    if (peakAbs > 0.0f && envelope > sustainShare * peakAbs)
        ++sustainSamples;
    captureSample(x, channel1, channel2, index);
    ++totalSamples;
    historyIndex = (historyIndex + 1) % (int)envelopeHistory.size();
}

void LearnAnalyzer::followEnvelope(float a)
{
    const float coef = envelope < a ? attackCoef : releaseCoef;
    envelope = a + (envelope - a) * coef;
}

void LearnAnalyzer::accumulateEnergy(float x, float a)
{
    peakAbs = std::max(peakAbs, a);
    const double square = (double)x * (double)x;
    sumSquares += square;
    blockSumSquares += square;
    totalEnergy += square;
    lowpassState = x + (lowpassState - x) * lowpassCoef;
    const double high = (double)x - (double)lowpassState;
    highEnergy += high * high;
}

float LearnAnalyzer::previousEnvelope() const noexcept
{
    const int n = (int)envelopeHistory.size();
    return envelopeHistory[(size_t)((historyIndex - 1 + n) % n)];
}

void LearnAnalyzer::detectOnset()
{
    const float e = envelope;
    if (onsetState == 0)
    {
        const float previous = previousEnvelope();
        if (e > onsetLevel && e - previous > onsetMinimumStep && totalSamples - lastOnsetSample > minOnsetGap)
            startOnset(e, previous);
        return;
    }

    if (e > onsetPeak)
    {
        onsetPeak = e;
        samplesSincePeak = 0;
        peakHistoryIndex = historyIndex;
    }
    else if (e < onsetEndShare * onsetPeak)
    {
        onsetState = 0;
        // A bump that did not rise far enough above what came before is no onset.
        if (onsetPeak > onsetMinimumJump * preOnsetLevel)
            confirmOnset();
    }
    else if (++samplesSincePeak > onsetHoldSamples)
    {
        onsetState = 0; // a plateau, not a hit
    }
}

void LearnAnalyzer::startOnset(float e, float previous)
{
    onsetState = 1;
    preOnsetLevel = std::max(previous, 1e-6f);
    onsetPeak = e;
    samplesSincePeak = 0;
    peakHistoryIndex = historyIndex;
}

void LearnAnalyzer::confirmOnset()
{
    measureRiseTime();
    if (onsetSamples.size() < maxTimes)
        onsetSamples.push_back(totalSamples);
    lastOnsetSample = totalSamples;
    decayStart = totalSamples;
    decayActive = true;
    decayPeak = onsetPeak;
}

// Time the envelope took from 10 % to 90 % of the peak, found by walking the
// ring backwards from the peak.
void LearnAnalyzer::measureRiseTime()
{
    const int n = (int)envelopeHistory.size();
    const float upper = riseUpperShare * onsetPeak;
    const float lower = riseLowerShare * onsetPeak;
    int upperStep = -1;
    int lowerStep = -1;
    for (int k = 0; k < n; ++k)
    {
        const float v = envelopeHistory[(size_t)((peakHistoryIndex - k + n) % n)];
        if (upperStep < 0 && v <= upper)
            upperStep = k;
        if (v <= lower)
        {
            lowerStep = k;
            break;
        }
    }
    if (upperStep < 0 || lowerStep < 0 || upperStep >= lowerStep)
        return;
    const double ms = (double)(lowerStep - upperStep) / sampleRate * 1000.0;
    if (ms > 0.0 && ms < 300.0 && riseTimes.size() < maxTimes)
        riseTimes.push_back((float)ms);
}

void LearnAnalyzer::measureDecay()
{
    if (!decayActive)
        return;
    const double t = (double)(totalSamples - decayStart) / sampleRate;
    if (envelope <= decayShare * decayPeak)
        recordDecay((float)(t * 1000.0));
    else if (t > longestDecaySeconds)
        recordDecay((float)(longestDecaySeconds * 1000.0));
}

void LearnAnalyzer::recordDecay(float ms)
{
    if (decayTimes.size() < maxTimes)
        decayTimes.push_back(ms);
    decayActive = false;
}

void LearnAnalyzer::closeBlockIfFull()
{
    if (++blockCount < rmsBlockLength)
        return;
    const double level = learnmath::levelDb(std::sqrt(blockSumSquares / rmsBlockLength));
    if (level > countedLevelDb)
    {
        if (blockLevels.size() < maxBlockLevels)
            blockLevels.push_back((float)level);
        countedSamples += rmsBlockLength;
    }
    blockSumSquares = 0.0;
    blockCount = 0;
}

void LearnAnalyzer::captureSample(float x, const float* channel1, const float* channel2, int index)
{
    if (captured.size() >= maxCaptureSamples)
        return;
    captured.push_back(x);
    if (channel1 != nullptr)
    {
        capturedChannels[0].push_back(channel1[index]);
        capturedChannels[1].push_back(channel2[index]);
    }
}

FinishedLearn LearnAnalyzer::finishStatistics()
{
    FinishedLearn finished;
    auto& s = finished.statistics;
    s.valid = true;
    s.seconds = (float)((double)countedSamples / sampleRate);
    fillLevels(s);
    fillTimes(s);
    fillOnsets(s);
    fillRatios(s);
    fillTrace(s);

    finished.captured = std::move(captured);
    finished.capturedChannels = std::move(capturedChannels);
    captured.clear();
    capturedChannels.clear();
    return finished;
}

void LearnAnalyzer::fillLevels(LearnStatistics& s) const
{
    s.peak = (float)learnmath::levelDb(peakAbs);
    s.rms =
        (float)learnmath::levelDb(std::sqrt(sumSquares / (double)std::max<std::int64_t>(totalSamples, 1)));
    s.crest = std::max(s.peak - s.rms, 0.0f);

    auto sorted = blockLevels;
    std::sort(sorted.begin(), sorted.end());
    s.p50 = learnmath::percentileOfSorted(sorted, 0.5);
    s.p75 = learnmath::percentileOfSorted(sorted, 0.75);
    s.p90 = learnmath::percentileOfSorted(sorted, 0.9);
    s.p95 = learnmath::percentileOfSorted(sorted, 0.95);
}

void LearnAnalyzer::fillTimes(LearnStatistics& s) const
{
    if (!riseTimes.empty())
    {
        s.rise = learnmath::median(riseTimes);
        s.riseN = (int)riseTimes.size();
    }
    if (!decayTimes.empty())
    {
        s.decay = learnmath::median(decayTimes);
        s.decayN = (int)decayTimes.size();
    }
}

void LearnAnalyzer::fillOnsets(LearnStatistics& s) const
{
    const double seconds = (double)countedSamples / sampleRate;
    if (onsetSamples.empty() || !(seconds > 0.0))
        return;
    s.onsetRate = (float)((double)onsetSamples.size() / seconds);
    if (onsetSamples.size() < 2)
        return; // the default interval stands

    std::vector<float> gapsMs;
    gapsMs.reserve(onsetSamples.size() - 1);
    for (size_t i = 1; i < onsetSamples.size(); ++i)
        gapsMs.push_back((float)((double)(onsetSamples[i] - onsetSamples[i - 1]) / sampleRate * 1000.0));
    s.onsetIvl = learnmath::median(std::move(gapsMs));
}

void LearnAnalyzer::fillRatios(LearnStatistics& s) const
{
    if (totalEnergy > 0.0)
        s.hf = (float)std::clamp(highEnergy / totalEnergy, 0.0, 1.0);
    if (countedSamples > 0)
        s.sustain = (float)std::clamp((double)sustainSamples / (double)countedSamples, 0.0, 1.0);
}

void LearnAnalyzer::fillTrace(LearnStatistics& s) const
{
    if (captured.empty() || !(sampleRate > 0.0))
        return;
    const int pointLength = std::max((int)std::lround(sampleRate * 0.001), 1);
    s.traceSampleRate = sampleRate;
    s.traceSamplesPerPoint = pointLength;

    const size_t total = captured.size();
    const size_t step = (size_t)pointLength;
    const size_t points = (total + step - 1) / step;
    s.tracePeak.reserve(points);
    s.traceRms.reserve(points);
    for (size_t start = 0; start < total; start += step)
    {
        const size_t end = std::min(start + step, total);
        float maxAbs = 0.0f;
        double sum = 0.0;
        for (size_t i = start; i < end; ++i)
        {
            maxAbs = std::max(maxAbs, std::abs(captured[i]));
            sum += (double)captured[i] * (double)captured[i];
        }
        const double meanSquare = sum / (double)(end - start);
        s.tracePeak.push_back(traceByte(learnmath::levelDb(maxAbs)));
        s.traceRms.push_back(traceByte(10.0 * std::log10(std::max(meanSquare, 1e-12))));
    }
}

} // namespace orlix
