#include "engine/DynamicsEngine.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

DynamicsEngine::DynamicsEngine() = default;

bool DynamicsEngine::prepare(double newSampleRate, int numChannels)
{
    const double fs = std::max(newSampleRate, 8000.0);
    const int ch = std::max(numChannels, 1);
    if (prepared && juce::exactlyEqual(fs, sampleRate) && ch == channels)
        return false;

    sampleRate = fs;
    channels = ch;
    dry.setSize(ch, blockLimit);
    wet.setSize(ch, blockLimit);
    mid.assign(blockLimit, 0.0f);
    crossfade.assign(blockLimit, 0.0f);
    makeup.assign(blockLimit, 0.0f);
    for (auto& h : harmonics)
        h.prepare(fs);

    stages[0].prepare(fs, nullptr);
    stages[1].prepare(fs, &stages[0]);

    widthCoefficient = (float)(1.0 - std::exp(-1.0 / (0.002 * fs)));
    holdDecay = (float)std::exp(-1.0 / (0.5 * fs));

    latencySamples = stages[0].latency();
    crossfadeStart = latencySamples + 16;
    crossfadeLength = std::max(1, (int)std::lround(0.02 * fs));

    wetDelay.prepare(ch, latencySamples, blockLimit);
    dryDelay.prepare(ch, latencySamples, blockLimit);
    makeupDelay.prepare(1, latencySamples, blockLimit);

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
    wetDelay.clear();
    dryDelay.clear();
    makeupDelay.clear();
    dry.clear();
    wet.clear();
    std::fill(mid.begin(), mid.end(), 0.0f);
    std::fill(crossfade.begin(), crossfade.end(), 0.0f);
    std::fill(makeup.begin(), makeup.end(), 0.0f);
    midEnvelope = drivenMidEnvelope = heldMidPeak = 0.0f;
    lastNonZeroDrive = 0.0f;
    driveAmountAtBlockEnd = 0.0f;
    smoothingArmed = false;
}

void DynamicsEngine::process(juce::AudioBuffer<float>& buffer, int numChannels,
                             const EngineSettings& settings) noexcept
{
    process(buffer.getArrayOfWritePointers(), std::min(numChannels, buffer.getNumChannels()),
            buffer.getNumSamples(), settings);
}

// audio thread
void DynamicsEngine::process(float* const* io, int numChannels, int numSamples,
                             const EngineSettings& settings) noexcept
{
    if (!prepared || numSamples <= 0 || numChannels <= 0)
        return;

    std::array<float*, 16> offsetChannels{};
    const int usable = std::min(numChannels, (int)offsetChannels.size());
    for (int start = 0; start < numSamples; start += blockLimit)
    {
        for (int ch = 0; ch < usable; ++ch)
            offsetChannels[(size_t)ch] = io[ch] + start;
        processBlock(offsetChannels.data(), usable, std::min(blockLimit, numSamples - start), settings);
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
void DynamicsEngine::processBlock(float* const* io, int numChannels, int n, const EngineSettings& s) noexcept
{
    boundSamples(io, numChannels, n);

    const int copied = std::min(channels, numChannels);
    for (int ch = 0; ch < copied; ++ch)
        std::copy(io[ch], io[ch] + n, dry.getWritePointer(ch));
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

    float* wetChannels[2] = {wet.getWritePointer(0), processed > 1 ? wet.getWritePointer(1) : nullptr};
    wetDelay.process(wetChannels, processed, n);
    dryDelay.process(dry.getArrayOfWritePointers(), copied, n);
    float* makeupChannel[1] = {makeup.data()};
    makeupDelay.process(makeupChannel, 1, n);

    outputPass(io, processed, n);
    finishCrossfade(n);
    driveAmountAtBlockEnd = driveAmountThisBlock;

    lastBlockGainReduction = activity.getCurrentValue() > 0.5f ? blockMaximum : 0.0f;
}

float DynamicsEngine::compressorPass(float* const* io, int numChannels, int processed, int n) noexcept
{
    float* w0 = wet.getWritePointer(0);
    float* w1 = processed > 1 ? wet.getWritePointer(1) : nullptr;
    const float* x0 = io[0];
    const float* x1 = processed > 1 ? io[1] : nullptr;

    const bool harmonicsIdle = !harmonicsAmount.isSmoothing() && harmonicsAmount.getTargetValue() <= 0.0f &&
                               harmonics[0].isSilent() && harmonics[1].isSilent();
    float blockMaximum = 0.0f;
    float lastY0 = 0.0f, lastY1 = 0.0f;
    for (int i = 0; i < n; ++i)
    {
        float peak = 0.0f;
        for (int ch = 0; ch < numChannels; ++ch)
            peak = std::max(peak, std::abs(io[ch][i]));

        const DetectorControls controls{peakShare.getNextValue(), slowWeight.getNextValue(),
                                        optoFlag.getNextValue(),  fetFlag.getNextValue(),
                                        knee.getNextValue(),      ratio.getNextValue(),
                                        threshold.getNextValue()};
        const float r = detector.step(peak, coefficients, controls);
        blockMaximum = std::max(blockMaximum, r);

        const float g = r <= 0.0f     ? 1.0f
                        : r >= 100.0f ? 0.0f
                                      : std::exp2(r * (-1.0f / dbPerOctaveOfAmplitude));
        const float h = harmonicsAmount.getNextValue() * std::clamp(r * (1.0f / 12.0f), 0.0f, 1.0f);
        const float m = makeupGain.getNextValue();

        const float y0 = g * x0[i];
        if (harmonicsIdle)
        {
            w0[i] = y0 * m;
            lastY0 = y0;
            if (w1 != nullptr)
            {
                lastY1 = g * x1[i];
                w1[i] = lastY1 * m;
            }
        }
        else
        {
            w0[i] = (y0 + harmonics[0].process(y0, h)) * m;
            if (w1 != nullptr)
            {
                const float y1 = g * x1[i];
                w1[i] = (y1 + harmonics[1].process(y1, h)) * m;
            }
        }
        makeup[(size_t)i] = m;
    }
    if (harmonicsIdle)
    {
        // Idle shapers still need the last input so a later start steps from the right place.
        harmonics[0].setPreviousInput(lastY0);
        harmonics[1].setPreviousInput(lastY1);
    }
    return blockMaximum;
}

void DynamicsEngine::splitMidSide(int processed, int n) noexcept
{
    float* w0 = wet.getWritePointer(0);
    if (processed < 2)
    {
        std::copy(w0, w0 + n, mid.begin());
        return;
    }
    float* w1 = wet.getWritePointer(1);
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

// The drive difference for sample j, crossfaded toward the incoming stage during a type change.
float DynamicsEngine::driveSignal(int j, int n) noexcept
{
    const float amount =
        driveAmountAtBlockEnd + (driveAmountThisBlock - driveAmountAtBlockEnd) * (float)(j + 1) / (float)n;
    float z = mid[(size_t)j];
    if (crossfading)
    {
        const int k = crossfadePosition + j - crossfadeStart + 1;
        if (k > 0)
            z += (crossfade[(size_t)j] - z) * std::min((float)k / (float)crossfadeLength, 1.0f);
    }
    return amount * driveOn.getNextValue() * z;
}

void DynamicsEngine::outputPass(float* const* io, int processed, int n) noexcept
{
    const float* w0 = wet.getReadPointer(0);
    const float* w1 = processed > 1 ? wet.getReadPointer(1) : nullptr;
    const float* d0 = dry.getReadPointer(0);
    const float* d1 = processed > 1 ? dry.getReadPointer(1) : nullptr;
    const bool constantCompensation = !driveCompensation.isSmoothing();
    // Without drive the two envelopes move in lockstep and the correction is exactly 1.
    const bool driveSilent = (driveAmountAtBlockEnd <= 0.0f && driveAmountThisBlock <= 0.0f) ||
                             (!driveOn.isSmoothing() && driveOn.getTargetValue() <= 0.0f);
    if (driveSilent && std::abs(drivenMidEnvelope - midEnvelope) <= 1e-6f * midEnvelope)
        drivenMidEnvelope = midEnvelope; // settled after the drive stopped: back in lockstep
    const bool widthFollowsDrive = !driveSilent || !juce::exactlyEqual(midEnvelope, drivenMidEnvelope);
    if (driveSilent)
        driveOn.skip(n);
    const float fixedCompensation = gainOfDb(driveCompensation.getTargetValue());

    for (int i = 0; i < n; ++i)
    {
        const float w = mix.getNextValue();
        const float o = outputGain.getNextValue();
        const float a = activity.getNextValue();
        const float d = driveSilent ? 0.0f : driveSignal(i, n);
        const float p = makeup[(size_t)i];
        const float compensation =
            constantCompensation ? fixedCompensation : gainOfDb(driveCompensation.getNextValue());

        if (w1 == nullptr)
        {
            float out = d + w0[i];
            if (!juce::exactlyEqual(compensation, 1.0f))
                out *= compensation;
            const float x = d0[i];
            io[0][i] = ((w * out + (1.0f - w) * x * p) * o - x) * a + x;
            continue;
        }

        // Stereo width correction: the side follows the level change the drive causes on the mid.
        const float m = w0[i];
        midEnvelope += (std::abs(m) - midEnvelope) * widthCoefficient;
        float side = w1[i];
        if (widthFollowsDrive)
        {
            drivenMidEnvelope += (std::abs(d + m) - drivenMidEnvelope) * widthCoefficient;
            heldMidPeak = std::max(heldMidPeak * holdDecay, midEnvelope);
            const float floor = std::max(1e-7f, 0.003f * heldMidPeak);
            side *= (drivenMidEnvelope + floor) / (midEnvelope + floor);
        }
        else
        {
            drivenMidEnvelope = midEnvelope;
            heldMidPeak = std::max(heldMidPeak * holdDecay, midEnvelope);
        }

        float out0 = (d + m) + side;
        float out1 = (d + m) - side;
        if (!juce::exactlyEqual(compensation, 1.0f))
        {
            out0 *= compensation;
            out1 *= compensation;
        }
        const float x0 = d0[i];
        const float x1 = d1[i];
        io[0][i] = ((w * out0 + (1.0f - w) * x0 * p) * o - x0) * a + x0;
        io[1][i] = ((w * out1 + (1.0f - w) * x1 * p) * o - x1) * a + x1;
    }
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
