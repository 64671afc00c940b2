#include "engine/DynamicsEngine.h"

#include "engine/FastMath.h"

#include <algorithm>
#include <cmath>

namespace orlix
{
namespace
{
ORLIX_VECTOR_LOOP(void, boundChannel, (float* x, int n), (x, n))
{
    for (int i = 0; i < n; ++i)
        x[i] = boundedSample(x[i]);
}
} // namespace

void boundSamples(float* const* channels, int numChannels, int numSamples) noexcept
{
    for (int ch = 0; ch < numChannels; ++ch)
        boundChannel(channels[ch], numSamples);
}


DynamicsEngine::DynamicsEngine() = default;

bool DynamicsEngine::prepare(double newSampleRate, int numChannels)
{
    const double fs = std::max(newSampleRate, 8000.0);
    const int ch = std::max(numChannels, 1);
    if (prepared && juce::exactlyEqual(fs, sampleRate) && ch == channels)
        return false;

    sampleRate = fs;
    channels = ch;
    mid.assign(blockLimit, 0.0f);
    crossfade.assign(blockLimit, 0.0f);
    for (auto& h : harmonics)
        h.prepare(fs);

    stages[0].prepare(fs, nullptr);
    stages[1].prepare(fs, &stages[0]);

    widthCoefficient = (float)(1.0 - std::exp(-1.0 / (0.002 * fs)));
    holdDecay = (float)std::exp(-1.0 / (0.5 * fs));

    latencySamples = stages[0].latency();
    crossfadeStart = latencySamples + 16;
    crossfadeLength = std::max(1, (int)std::lround(0.02 * fs));

    wet.prepare(ch, latencySamples, blockLimit);
    dry.prepare(ch, latencySamples, blockLimit);
    makeup.prepare(1, latencySamples, blockLimit);

    for (auto* s : {&threshold, &ratio, &knee, &peakShare, &fetFlag, &optoFlag, &slowWeight, &harmonicsAmount,
                    &driveOn, &driveAmount, &driveCompensation, &makeupGain, &outputGain, &mix})
    {
        s->reset(fs, 0.02);
        s->setCurrentAndTargetValue(s->getTargetValue());
    }
    activity.reset(fs, 0.01);
    activity.setCurrentAndTargetValue(activity.getTargetValue());

    prepared = true;
    reset();
    return true;
}

void DynamicsEngine::reset()
{
    detector.reset();
    for (auto& h : harmonics)
        h.reset();
    for (auto& s : stages)
        s.reset();
    activeStage = 0;
    crossfading = false;
    pendingType = -1;
    crossfadePosition = 0;
    currentType = -1;
    dry.clear();
    wet.clear();
    makeup.clear();
    std::fill(mid.begin(), mid.end(), 0.0f);
    std::fill(crossfade.begin(), crossfade.end(), 0.0f);
    midEnvelope = drivenMidEnvelope = heldMidPeak = 0.0f;
    lastNonZeroDrive = 0.0f;
    driveAmountAtBlockEnd = 0.0f;
    smoothingArmed = false;
}

void DynamicsEngine::process(juce::AudioBuffer<float>& buffer, int numChannels,
                             const EngineSettings& settings, InputSamples input) noexcept
{
    process(buffer.getArrayOfWritePointers(), std::min(numChannels, buffer.getNumChannels()),
            buffer.getNumSamples(), settings, input);
}

// audio thread
void DynamicsEngine::process(float* const* io, int numChannels, int numSamples,
                             const EngineSettings& settings, InputSamples input) noexcept
{
    if (!prepared || numSamples <= 0 || numChannels <= 0)
        return;

    std::array<float*, 16> offsetChannels{};
    const int usable = std::min(numChannels, (int)offsetChannels.size());
    for (int start = 0; start < numSamples; start += blockLimit)
    {
        for (int ch = 0; ch < usable; ++ch)
            offsetChannels[(size_t)ch] = io[ch] + start;
        processBlock(offsetChannels.data(), usable, std::min(blockLimit, numSamples - start), settings,
                     input);
    }
}

float DynamicsEngine::driveCompensationDb(const EngineSettings& s, int driveType) noexcept
{
    if (!(s.driveOn && s.autoMakeup && s.driveEqValid))
        return 0.0f;
    const auto& row = s.driveEq[(size_t)std::clamp(driveType, 0, numDriveTypes - 1)];
    const float u = std::clamp(s.driveAmount, 0.0f, 100.0f);
    const size_t j = u <= 10.0f ? 1 : u <= 25.0f ? 2 : u <= 50.0f ? 3 : 4;
    const float a0 = driveEqColumns[j - 1], a1 = driveEqColumns[j];
    return row[j - 1] + (u - a0) / (a1 - a0) * (row[j] - row[j - 1]);
}

void DynamicsEngine::setBlockTargets(const EngineSettings& s, const CharacterModel& model) noexcept
{
    threshold.setTargetValue(s.thresholdDb);
    ratio.setTargetValue(s.ratio);
    knee.setTargetValue(std::max(s.kneeDb, 0.01f));
    peakShare.setTargetValue(model.peakShare);
    fetFlag.setTargetValue(s.character == characterFetIndex ? 1.0f : 0.0f);
    optoFlag.setTargetValue(s.character == characterOptoIndex ? 1.0f : 0.0f);
    slowWeight.setTargetValue(model.programRelease || s.autoRelease ? 1.0f : 0.0f);
}

void DynamicsEngine::updateDriveTargets(const EngineSettings& s, const CharacterModel& model) noexcept
{
    const float amount = s.driveOn ? std::clamp(s.driveAmount * 0.01f, 0.0f, 1.0f) : 0.0f;
    driveAmount.setTargetValue(amount);
    driveOn.setTargetValue(amount > 0.0f ? 1.0f : 0.0f);
    const int type = std::clamp(s.driveType, 0, numDriveTypes - 1);
    if (currentType < 0)
        currentType = type;

    if (!crossfading && type != currentType)
    {
        if (driveOn.getCurrentValue() < 0.001f)
            currentType = type;
        else
        {
            auto& incoming = stages[(size_t)(1 - activeStage)];
            incoming.reset();
            incoming.takeOverRunningState(stages[(size_t)activeStage]);
            pendingType = type;
            crossfadePosition = 0;
            crossfading = true;
        }
    }

    // The FET character's own colour gives way to the drive as the drive rises.
    const float driven = s.driveOn ? std::clamp(s.driveAmount / 100.0f, 0.0f, 1.0f) : 0.0f;
    harmonicsAmount.setTargetValue(model.harmonics ? 1.0f - std::min(driven, 1.0f) : 0.0f);

    driveCompensation.setTargetValue(driveCompensationDb(s, crossfading ? pendingType : currentType));
}

void DynamicsEngine::snapSmoothedValues() noexcept
{
    for (auto* v : {&threshold, &ratio, &knee, &peakShare, &fetFlag, &optoFlag, &slowWeight, &harmonicsAmount,
                    &driveOn, &driveAmount, &driveCompensation, &activity})
        v->setCurrentAndTargetValue(v->getTargetValue());
    driveAmountAtBlockEnd = driveAmount.getTargetValue();
}

void DynamicsEngine::configureDriveStages(int n) noexcept
{
    const float v = driveAmount.skip(n);
    driveAmountThisBlock = std::clamp(v, 0.0f, 1.0f);

    float configured = 0.0f;
    if (v > 0.0f)
    {
        configured = v;
        lastNonZeroDrive = v;
    }
    else if (driveOn.getCurrentValue() > 1e-4f || driveOn.getTargetValue() >= 1.0f)
        configured = lastNonZeroDrive; // a stage switched off fades with its last amount

    stages[(size_t)activeStage].configure(currentType, configured);
    if (crossfading)
        stages[(size_t)(1 - activeStage)].configure(pendingType, configured);
}

// audio thread
void DynamicsEngine::processBlock(float* const* io, int numChannels, int n, const EngineSettings& s,
                                  InputSamples input) noexcept
{
    // One pass bounds the input and copies the dry signal.
    const int copied = std::min(channels, numChannels);
    for (int ch = 0; ch < numChannels; ++ch)
    {
        float* x = io[ch];
        float* d = ch < copied ? dry.input(ch) : nullptr;
        if (input == InputSamples::unchecked)
        {
            if (d != nullptr)
                for (int i = 0; i < n; ++i)
                    d[i] = x[i] = boundedSample(x[i]);
            else
                for (int i = 0; i < n; ++i)
                    x[i] = boundedSample(x[i]);
        }
        else if (d != nullptr)
            std::copy(x, x + n, d);
    }
    const int processed = std::min({numChannels, channels, 2});

    const auto& model = characterModel(s.character);
    coefficients = detectorCoefficients(s, model, sampleRate);
    setBlockTargets(s, model);
    updateDriveTargets(s, model);
    if (!smoothingArmed)
        snapSmoothedValues();
    configureDriveStages(n);

    const float makeupDb = automaticMakeup(s);
    makeupGain.setTargetValue(makeupDb > -100.0f ? std::pow(10.0f, makeupDb / 20.0f) : 0.0f);
    outputGain.setTargetValue(gainOfDb(s.outputDb));
    mix.setTargetValue(std::clamp(s.mix, 0.0f, 1.0f));
    if (!smoothingArmed)
    {
        for (auto* v : {&makeupGain, &outputGain, &mix})
            v->setCurrentAndTargetValue(v->getTargetValue());
        smoothingArmed = true;
    }

    const float blockMaximum = compressorPass(io, numChannels, processed, n);
    splitMidSide(processed, n);
    runDrive(n);

    outputPass(io, processed, n);
    wet.advance(processed, n);
    dry.advance(copied, n);
    makeup.advance(1, n);
    finishCrossfade(n);
    driveAmountAtBlockEnd = driveAmountThisBlock;

    lastBlockGainReduction = activity.getCurrentValue() > 0.5f ? blockMaximum : 0.0f;
}

namespace
{
using Smoothed = juce::SmoothedValue<float, juce::ValueSmoothingTypes::Linear>;

// Linear gains of reductions in dB: none at or below 0 dB, silence from 100 dB.
ORLIX_VECTOR_LOOP(void, gainsOfReductions, (const float* reduction, float* gain, int n), (reduction, gain, n))
{
    for (int i = 0; i < n; ++i)
    {
        const float r = reduction[i];
        const float g = fastmath::exp2(r * (-1.0f / dbPerOctaveOfAmplitude));
        gain[i] = r <= 0.0f ? 1.0f : r >= 100.0f ? 0.0f : g;
    }
}

// The next n values of a ramp; true when it held still throughout.
bool fillRamp(Smoothed& value, float* out, int n) noexcept
{
    if (!value.isSmoothing())
    {
        std::fill(out, out + n, value.getTargetValue());
        return true;
    }
    for (int i = 0; i < n; ++i)
        out[i] = value.getNextValue();
    return false;
}
} // namespace

float DynamicsEngine::compressorPass(float* const* io, int numChannels, int processed, int n) noexcept
{
    const bool harmonicsIdle = !harmonicsAmount.isSmoothing() && harmonicsAmount.getTargetValue() <= 0.0f &&
                               harmonics[0].isSilent() && harmonics[1].isSilent();
    float blockMaximum = 0.0f;
    for (int start = 0; start < n; start += runLength)
    {
        const int length = std::min(runLength, n - start);
        const int following = std::min(LevelDetector::slice, n - start - length); // none past the block
        blockMaximum = std::max(blockMaximum,
                                compressorRun(io, numChannels, processed, start, length, following, harmonicsIdle));
    }
    if (harmonicsIdle)
    {
        // Idle shapers still need the last input so a later start steps from the right place.
        const float lastGain = gainRun[(size_t)((n - 1) % runLength)];
        harmonics[0].setPreviousInput(lastGain * io[0][n - 1]);
        harmonics[1].setPreviousInput(processed > 1 ? lastGain * io[1][n - 1] : 0.0f);
    }
    return blockMaximum;
}

// One run of the compressor pass: detector, gain, harmonics and make-up for `length` samples.
float DynamicsEngine::compressorRun(float* const* io, int numChannels, int processed, int start, int length,
                                    int following, bool harmonicsIdle) noexcept
{
    const int n = length;
    float* peak = framePeak.data();
    {
        const int peaks = n + following;
        const float* x = io[0] + start;
        for (int i = 0; i < peaks; ++i)
            peak[i] = std::abs(x[i]);
        for (int ch = 1; ch < numChannels; ++ch)
        {
            const float* y = io[ch] + start;
            for (int i = 0; i < peaks; ++i)
                peak[i] = std::max(peak[i], std::abs(y[i]));
        }
    }

    DetectorRamps ramps{shareRun.data(), slowRun.data(),  optoRun.data(),     fetRun.data(),
                        kneeRun.data(),  ratioRun.data(), thresholdRun.data()};
    const bool shareStill = fillRamp(peakShare, shareRun.data(), n);
    ramps.constantShare = shareStill ? shareRun[0] : -1.0f;
    ramps.slowWeightOne = fillRamp(slowWeight, slowRun.data(), n) && juce::exactlyEqual(slowRun[0], 1.0f);
    ramps.optoOff = fillRamp(optoFlag, optoRun.data(), n) && optoRun[0] <= 0.0f;
    ramps.fetOff = fillRamp(fetFlag, fetRun.data(), n) && fetRun[0] <= 0.0f;
    fillRamp(knee, kneeRun.data(), n);
    fillRamp(ratio, ratioRun.data(), n);
    fillRamp(threshold, thresholdRun.data(), n);

    float* reduction = reductionRun.data();
    const float largest = detector.run(
        peak, n, coefficients, ramps,
        {envelopeRun.data(), meanSquareRun.data(), levelRun.data(), targetRun.data(), scaledCurveRun.data()},
        reduction, following);

    float* gain = gainRun.data();
    gainsOfReductions(reduction, gain, n);
    float* m = makeupRun.data();
    fillRamp(makeupGain, m, n);
    std::copy(m, m + n, makeup.input(0) + start);

    if (harmonicsIdle)
    {
        harmonicsAmount.skip(n);
        for (int k = 0; k < processed; ++k)
        {
            const float* x = io[k] + start;
            float* w = wet.input(k) + start;
            for (int i = 0; i < n; ++i)
                w[i] = gain[i] * x[i] * m[i];
        }
        return largest;
    }

    float* h = harmonicsRun.data();
    fillRamp(harmonicsAmount, h, n);
    for (int i = 0; i < n; ++i)
        h[i] *= std::clamp(reduction[i] * (1.0f / 12.0f), 0.0f, 1.0f);
    float* y[2] = {drivenRun.data(), sideDrivenRun.data()};
    float* added[2] = {shapedRun.data(), sideShapedRun.data()};
    for (int k = 0; k < processed; ++k)
    {
        const float* x = io[k] + start;
        for (int i = 0; i < n; ++i)
            y[k][i] = gain[i] * x[i];
    }
    if (processed > 1)
        FetHarmonics::processPair(harmonics[0], y[0], added[0], harmonics[1], y[1], added[1], h, n);
    else
        harmonics[0].processBlock(y[0], h, added[0], n);
    for (int k = 0; k < processed; ++k)
    {
        float* w = wet.input(k) + start;
        for (int i = 0; i < n; ++i)
            w[i] = (y[k][i] + added[k][i]) * m[i];
    }
    return largest;
}

void DynamicsEngine::splitMidSide(int processed, int n) noexcept
{
    float* w0 = wet.input(0);
    if (processed < 2)
    {
        std::copy(w0, w0 + n, mid.begin());
        return;
    }
    float* w1 = wet.input(1);
    for (int i = 0; i < n; ++i)
    {
        const float m = (w0[i] + w1[i]) * 0.5f;
        const float s = (w0[i] - w1[i]) * 0.5f;
        w0[i] = m;
        w1[i] = s;
        mid[(size_t)i] = m;
    }
}

void DynamicsEngine::runDrive(int n) noexcept
{
    if (crossfading)
    {
        std::copy(mid.begin(), mid.begin() + n, crossfade.begin());
        stages[(size_t)(1 - activeStage)].process(crossfade.data(), n);
    }
    stages[(size_t)activeStage].process(mid.data(), n);
}

// The drive differences of samples start .. start + length - 1 of the block, crossfaded toward
// the incoming stage during a type change.
void DynamicsEngine::driveSignals(float* d, int start, int length, int n) noexcept
{
    float* on = d;
    fillRamp(driveOn, on, length);
    const float from = driveAmountAtBlockEnd, to = driveAmountThisBlock;
    const float* z = mid.data() + start;
    if (!crossfading)
    {
        for (int i = 0; i < length; ++i)
        {
            const float amount = from + (to - from) * (float)(start + i + 1) / (float)n;
            d[i] = amount * on[i] * z[i];
        }
        return;
    }
    const float* incoming = crossfade.data() + start;
    for (int i = 0; i < length; ++i)
    {
        const int j = start + i;
        const float amount = from + (to - from) * (float)(j + 1) / (float)n;
        float v = z[i];
        const int k = crossfadePosition + j - crossfadeStart + 1;
        if (k > 0)
            v += (incoming[i] - v) * std::min((float)k / (float)crossfadeLength, 1.0f);
        d[i] = amount * on[i] * v;
    }
}

namespace
{
// The mix of one stereo run, on pointers that do not overlap so the loop vectorises.
ORLIX_VECTOR_LOOP(void, outputStereo,
                  (float* __restrict y0, float* __restrict y1, const float* __restrict w0,
                   const float* __restrict w1, const float* __restrict x0, const float* __restrict x1,
                   const float* __restrict p, const float* __restrict scale, const float* __restrict d,
                   const float* __restrict c, const float* __restrict w, const float* __restrict o,
                   const float* __restrict a, int length),
                  (y0, y1, w0, w1, x0, x1, p, scale, d, c, w, o, a, length))
{
    for (int i = 0; i < length; ++i)
    {
        const float m = w0[i];
        const float side = w1[i] * scale[i];
        const float out0 = ((d[i] + m) + side) * c[i];
        const float out1 = ((d[i] + m) - side) * c[i];
        const float l = x0[i], r = x1[i];
        y0[i] = ((w[i] * out0 + (1.0f - w[i]) * l * p[i]) * o[i] - l) * a[i] + l;
        y1[i] = ((w[i] * out1 + (1.0f - w[i]) * r * p[i]) * o[i] - r) * a[i] + r;
    }
}
} // namespace

namespace
{
// The mid's envelope and its held peak, which the width correction starts from when the drive
// comes in. The envelope is a linear one-pole (e = a e + c |m|) and the hold a decaying
// maximum, so four samples go at once: each carries its chain one multiply and one add (or
// maximum) per four samples instead of per sample.
void followMidEnvelope(const float* m, int n, float c, float decay, float& envelope, float& held) noexcept
{
    const float a = 1.0f - c, a2 = a * a, a3 = a2 * a, a4 = a2 * a2;
    const float d = decay, d2 = d * d, d3 = d2 * d, d4 = d2 * d2;
    float e = envelope, h = held;
    int i = 0;
    for (; i + 4 <= n; i += 4)
    {
        const float u0 = std::abs(m[i]) * c, u1 = std::abs(m[i + 1]) * c, u2 = std::abs(m[i + 2]) * c,
                    u3 = std::abs(m[i + 3]) * c;
        const float e1 = a * e + u0;
        const float e2 = a2 * e + (a * u0 + u1);
        const float e3 = a3 * e + (a2 * u0 + a * u1 + u2);
        const float e4 = a4 * e + (a3 * u0 + a2 * u1 + a * u2 + u3);
        const float newest = std::max(std::max(e1 * d3, e2 * d2), std::max(e3 * d, e4));
        h = std::max(h * d4, newest);
        e = e4;
    }
    for (; i < n; ++i)
    {
        e = a * e + std::abs(m[i]) * c;
        h = std::max(h * d, e);
    }
    envelope = e;
    held = h;
}
} // namespace

void DynamicsEngine::outputPass(float* const* io, int processed, int n) noexcept
{
    // Without drive the two envelopes move in lockstep and the correction is exactly 1.
    const bool driveSilent = (driveAmountAtBlockEnd <= 0.0f && driveAmountThisBlock <= 0.0f) ||
                             (!driveOn.isSmoothing() && driveOn.getTargetValue() <= 0.0f);
    if (driveSilent && std::abs(drivenMidEnvelope - midEnvelope) <= 1e-6f * midEnvelope)
        drivenMidEnvelope = midEnvelope; // settled after the drive stopped: back in lockstep
    const bool widthFollowsDrive = !driveSilent || !juce::exactlyEqual(midEnvelope, drivenMidEnvelope);
    if (driveSilent)
        driveOn.skip(n);

    for (int start = 0; start < n; start += runLength)
        outputRun(io, processed, start, std::min(runLength, n - start), n, driveSilent, widthFollowsDrive);
}

void DynamicsEngine::outputRun(float* const* io, int processed, int start, int length, int n,
                               bool driveSilent, bool widthFollowsDrive) noexcept
{
    float* w = mixRun.data();
    float* o = outputGainRun.data();
    float* a = activityRun.data();
    float* c = compensationRun.data();
    float* d = driveRun.data();
    fillRamp(mix, w, length);
    fillRamp(outputGain, o, length);
    fillRamp(activity, a, length);
    if (!driveCompensation.isSmoothing())
        std::fill(c, c + length, gainOfDb(driveCompensation.getTargetValue()));
    else
        for (int i = 0; i < length; ++i)
            c[i] = gainOfDb(driveCompensation.getNextValue());
    if (driveSilent)
        std::fill(d, d + length, 0.0f);
    else
        driveSignals(d, start, length, n);

    const float* w0 = wet.output(0) + start;
    const float* x0 = dry.output(0) + start;
    const float* p = makeup.output(0) + start;
    float* y0 = io[0] + start;
    if (processed < 2)
    {
        for (int i = 0; i < length; ++i)
        {
            const float out = (d[i] + w0[i]) * c[i];
            const float x = x0[i];
            y0[i] = ((w[i] * out + (1.0f - w[i]) * x * p[i]) * o[i] - x) * a[i] + x;
        }
        return;
    }

    // Stereo width correction: the side follows the level change the drive causes on the mid.
    float e1 = midEnvelope, e2 = drivenMidEnvelope, held = heldMidPeak;
    const float coefficient = widthCoefficient, decay = holdDecay;
    float* scale = sideScaleRun.data();
    if (widthFollowsDrive)
    {
        for (int i = 0; i < length; ++i)
        {
            const float m = w0[i];
            e1 += (std::abs(m) - e1) * coefficient;
            e2 += (std::abs(d[i] + m) - e2) * coefficient;
            held = std::max(held * decay, e1);
            const float floor = std::max(1e-7f, 0.003f * held);
            scale[i] = (e2 + floor) / (e1 + floor);
        }
    }
    else
    {
        followMidEnvelope(w0, length, coefficient, decay, e1, held);
        e2 = e1;
        std::fill(scale, scale + length, 1.0f);
    }
    midEnvelope = e1;
    drivenMidEnvelope = e2;
    heldMidPeak = held;

    outputStereo(io[0] + start, io[1] + start, w0, wet.output(1) + start, x0, dry.output(1) + start, p, scale, d,
                 c, w, o, a, length);
}

void DynamicsEngine::finishCrossfade(int n) noexcept
{
    if (!crossfading)
        return;
    crossfadePosition += n;
    if (crossfadePosition >= crossfadeLength + crossfadeStart)
    {
        activeStage = 1 - activeStage;
        currentType = pendingType;
        pendingType = -1;
        crossfading = false;
    }
}

} // namespace orlix
