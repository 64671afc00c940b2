#include "engine/DriveStage.h"
#include "engine/FastMath.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

namespace
{
constexpr double twoPi = juce::MathConstants<double>::twoPi;

// Half-band equiripple stages: the first stage, nearest the audio band, gets the narrow
// transition; later stages only need to keep the empty upper octaves clean.
struct OversamplingStageDesign
{
    float transitionUp, transitionDown;
};
constexpr OversamplingStageDesign firstStageDesign{0.06f, 0.075f};
constexpr OversamplingStageDesign laterStageDesign{0.12f, 0.15f};
constexpr float firstStopbandUpDb = -70.0f;
constexpr float firstStopbandDownDb = -60.0f;
constexpr float stopbandStepDb = 8.0f;

int stageCountOf(int index) noexcept
{
    return index == 0 ? 4 : 5;
}

// Envelope follower: rises with the attack coefficient, falls with the release one.
inline float follow(float envelope, float level, float attack, float release) noexcept
{
    return level + (envelope - level) * (envelope < level ? attack : release);
}

// follow() with both outcomes formed and one picked, each as k e + (1 - k) l with the level's
// share taken ahead: the envelope's chain is then one multiply-add and the pick, with the
// comparison beside it. follow()'s value to within rounding.
struct FollowShares
{
    float attack, release, attackShare, releaseShare;
};
inline float followPicked(float envelope, float level, const FollowShares& k) noexcept
{
    const float rising = envelope * k.attack + level * k.attackShare;
    const float falling = envelope * k.release + level * k.releaseShare;
    return envelope < level ? rising : falling;
}

// The operating scale of each sample from its sag envelope. Kept apart from the serial loops
// that follow the envelopes, so that the divisions run side by side in vector code instead of
// competing with those loops' own chains for the divider.
ORLIX_VECTOR_LOOP(void, fillShaperScales,
                  (const float* __restrict envelope, int n, float sag, float sagKnee, float bias,
                   double* __restrict scale, double* __restrict inverse, double* __restrict slopeScale,
                   double* __restrict integralScale, double* __restrict offset),
                  (envelope, n, sag, sagKnee, bias, scale, inverse, slopeScale, integralScale, offset))
{
    for (int k = 0; k < n; ++k)
    {
        const float e = envelope[k];
        // Louder passages lower the bias scale and drive harder.
        const auto s = makeShaperScale((1.0f - sag * e / (e + sagKnee)) * bias);
        scale[k] = s.scale;
        inverse[k] = s.inverse;
        slopeScale[k] = s.slopeScale;
        integralScale[k] = s.integralScale;
        offset[k] = s.offset;
    }
}
} // namespace

DriveStage::DriveStage()
{
    model = designDrive(driveTypeTube, 0.0f);
}

DriveStage::~DriveStage() = default;

void DriveStage::prepare(double fs, const DriveStage* templateStage)
{
    if (prepared && juce::exactlyEqual(fs, sampleRate))
        return;

    sampleRate = fs;
    testSine = makeTestSine();
    rollOffCoefficient = (float)std::exp(-twoPi * 9000.0 / fs);
    highPassCoefficient = (float)(1.0 - twoPi * 80.0 / fs);
    silenceLimit = (int)(3.0 * fs);
    work.assign(subBlock, 0.0f);

    const bool useTemplate = templateStage != nullptr && templateStage->prepared &&
                             juce::exactlyEqual(templateStage->sampleRate, fs);
    buildOversamplers();
    for (int m = 0; m < numOversamplers; ++m)
    {
        if (useTemplate)
            setups[(size_t)m] = templateStage->setups[(size_t)m];
        else
        {
            measureEnvelopes(m);
            setups[(size_t)m].latency = measureLatency(m);
        }
    }

    const double latency16 = setups[0].latency;
    const double latency32 = setups[1].latency;
    stageLatency =
        std::max(latency16 >= 1.0 ? (int)std::floor(latency16) : 0, (int)std::floor(latency32)) + 2;
    dryDelay.assign((size_t)stageLatency, 0.0f);
    dryDelayIndex = 0;

    prepared = true;
    selectOversampler(selected);
    reset();
}

void DriveStage::buildOversamplers()
{
    if (oversamplersBuilt)
        return; // the filters do not depend on the sample rate
    for (int m = 0; m < numOversamplers; ++m)
    {
        std::vector<HalfBandOversampler::StageDesign> designs;
        for (int j = 0; j < stageCountOf(m); ++j)
        {
            const auto& design = j == 0 ? firstStageDesign : laterStageDesign;
            designs.push_back({design.transitionUp, firstStopbandUpDb + stopbandStepDb * (float)j,
                               design.transitionDown, firstStopbandDownDb + stopbandStepDb * (float)j});
        }
        oversamplers[(size_t)m].prepare(designs, subBlock);
    }
    oversamplersBuilt = true;
}

// Envelope coefficients at the oversampled rate, and what the envelopes read for a
// full-scale 1 kHz sine: the reference the shaper normalisation calibrates against.
void DriveStage::measureEnvelopes(int index)
{
    auto& setup = setups[(size_t)index];
    const double rate = factorOf(index) * sampleRate;
    setup.attack = (float)std::exp(-1.0 / (0.015 * rate));
    setup.release = (float)std::exp(-1.0 / (0.12 * rate));
    setup.lowPass = (float)(1.0 - std::exp(-twoPi * 120.0 / rate));

    const int length = std::max(16, (int)std::floor(0.3 * rate));
    float full = 0.0f, low = 0.0f, lp = 0.0f;
    double fullSum = 0.0, lowSum = 0.0;
    int counted = 0;
    for (int i = 0; i < length; ++i)
    {
        const auto x = (float)std::sin(twoPi * 1000.0 * i / rate);
        full = follow(full, std::abs(x), setup.attack, setup.release);
        lp += (x - lp) * setup.lowPass;
        low = follow(low, std::abs(lp), setup.attack, setup.release);
        if (i >= length / 2)
        {
            fullSum += full;
            lowSum += low;
            ++counted;
        }
    }
    setup.references.fullBand = counted > 0 ? (float)(fullSum / counted) : 0.5f;
    setup.references.lowBand = counted > 0 ? (float)(lowSum / counted) : 0.5f;
}

// The energy centroid of the up-and-down impulse response: the oversampler's delay,
// fractional part included.
double DriveStage::measureLatency(int index)
{
    auto& os = oversamplers[(size_t)index];
    const int length = std::min(maxBlock, 2048);
    std::vector<float> impulse((size_t)length, 0.0f);
    impulse[0] = 1.0f;

    os.reset();
    for (int from = 0; from < length; from += subBlock)
    {
        const int n = std::min(subBlock, length - from);
        os.processUp(impulse.data() + from, n);
        os.processDown(impulse.data() + from, n);
    }
    os.reset();

    double weighted = 0.0, energy = 0.0;
    for (int j = 0; j < length; ++j)
    {
        const double e = (double)impulse[(size_t)j] * impulse[(size_t)j];
        weighted += j * e;
        energy += e;
    }
    return energy > 0.0 ? weighted / energy : os.nominalLatency();
}

// Both oversamplers end up delayed by exactly the stage latency: an integer delay of up to
// 15 samples, then a third-order Lagrange fractional delay between 1 and 2 samples.
void DriveStage::selectOversampler(int index) noexcept
{
    selected = index;
    const auto& setup = setups[(size_t)index];
    const double d = stageLatency - setup.latency;
    const int whole = (int)std::floor(d);
    integerDelay = std::min(whole >= 2 ? whole - 1 : 0, 15);
    const double h = std::clamp(d - integerDelay, 1.0, 2.0);
    lagrange = {(float)(-(h - 1.0) * (h - 2.0) * (h - 3.0) / 6.0), (float)(h * (h - 2.0) * (h - 3.0) / 2.0),
                (float)(-h * (h - 1.0) * (h - 3.0) / 2.0), (float)(h * (h - 1.0) * (h - 2.0) / 6.0)};

    attack = setup.attack;
    release = setup.release;
    lowPass = setup.lowPass;
    references = setup.references;

    oversamplers[(size_t)index].reset();
    firstSample = true;
    hysteresisStarted = false;
    recomputeNormalisation();
}

void DriveStage::recomputeNormalisation() noexcept
{
    hysteresisGainValue = hysteresisGain(model, testSine, hysteresisCalibration);
    shaperGainValue =
        shaperGain(model, hysteresisGainValue, testSine, hysteresisCalibration.response, references);
}

void DriveStage::clearRunningState() noexcept
{
    fullEnvelope = lowEnvelope = lowPassState = 0.0f;
    hysteresis = {};
    hysteresisStarted = false;
    hysteresisRamp = -1.0f; // a restart begins at the model's amount
    alignRing.fill(0.0f);
    alignIndex = 0;
    lagrangeHistory.fill(0.0f);
    for (auto& s : shaperStates)
        s.cacheValid = false;
    firstSample = true;
}

void DriveStage::reset()
{
    currentType = -1;
    currentAmount = -1.0f;
    active = false;
    clearRunningState();
    for (auto& s : shaperStates)
        s = {};
    rollOffState = 0.0f;
    highPassState = highPassPrevious = 0.0f;
    std::fill(dryDelay.begin(), dryDelay.end(), 0.0f);
    dryDelayIndex = 0;
    silentSamples = 0;
    for (auto& os : oversamplers)
        os.reset();
}

// audio thread
void DriveStage::configure(int type, float amount) noexcept
{
    if (type == currentType && juce::exactlyEqual(amount, currentAmount))
        return;
    if (type != currentType)
        hysteresisRamp = -1.0f; // another type's hysteresis amount is no place to ramp from
    currentType = type;
    currentAmount = amount;
    model = designDrive(type, amount);
    firstSample = true;
    active = !model.isIdentity();
    highPassCoefficient = (float)(1.0 - twoPi * model.highPassHz / std::max(sampleRate, 8000.0));

    const int wanted = model.oversampling == 16 ? 0 : 1;
    if (wanted != selected)
        selectOversampler(wanted);
    else
        recomputeNormalisation();
}

void DriveStage::takeOverRunningState(const DriveStage& other) noexcept
{
    fullEnvelope = other.fullEnvelope;
    lowEnvelope = other.lowEnvelope;
    lowPassState = other.lowPassState;
    rollOffState = other.rollOffState;
    if (dryDelay.size() == other.dryDelay.size())
    {
        std::copy(other.dryDelay.begin(), other.dryDelay.end(), dryDelay.begin());
        dryDelayIndex = other.dryDelayIndex;
    }
}

// audio thread
void DriveStage::process(float* buffer, int numSamples) noexcept
{
    if (numSamples <= 0)
        return;
    if (!prepared)
    {
        std::fill(buffer, buffer + numSamples, 0.0f);
        return;
    }

    juce::ScopedNoDenormals noDenormals;
    const int n = std::min(numSamples, maxBlock);
    if (!active)
        runInactive(buffer, n);
    else if (restsInSilence(buffer, n))
        passSilence(buffer, n);
    else
        runActive(buffer, n);

    if (numSamples > n)
        std::fill(buffer + n, buffer + numSamples, 0.0f);
}

float DriveStage::delayDry(float x) noexcept
{
    const float delayed = dryDelay[(size_t)dryDelayIndex];
    dryDelay[(size_t)dryDelayIndex] = x;
    if (++dryDelayIndex == stageLatency)
        dryDelayIndex = 0;
    return delayed;
}

// No drive: keep the dry delay running so the drive can start without a gap, and
// output nothing at all.
void DriveStage::runInactive(float* buffer, int n) noexcept
{
    const float lastDelayed = advanceDryDelay(buffer, n);
    std::fill(buffer, buffer + n, 0.0f);
    clearRunningState();
    rollOffState = lastDelayed;
}

// The dry delay over a block whose delayed samples are not needed, only the last of them:
// a block at least as long as the delay leaves its own last samples as the whole line.
float DriveStage::advanceDryDelay(const float* x, int n) noexcept
{
    const int length = stageLatency;
    if (n < length || length <= 0)
    {
        float last = 0.0f;
        for (int j = 0; j < n; ++j)
            last = delayDry(x[j]);
        return last;
    }
    const float last = n > length ? x[n - 1 - length] : dryDelay[(size_t)((dryDelayIndex + n - 1) % length)];
    std::copy(x + n - length, x + n, dryDelay.begin());
    dryDelayIndex = 0;
    return last;
}

bool DriveStage::restsInSilence(const float* buffer, int n) noexcept
{
    const bool hysteresisMoving = !juce::exactlyEqual(hysteresisRamp, model.hysteresisAmount);
    const bool silent = std::all_of(buffer, buffer + n, [](float x) { return juce::exactlyEqual(x, 0.0f); });
    if (hysteresisMoving || !silent)
    {
        silentSamples = 0;
        return false;
    }
    silentSamples = std::min(silentSamples + n, silenceLimit + n);
    return silentSamples > silenceLimit;
}

// Long digital silence: everything has settled, so skip the work and pass the zeros on.
void DriveStage::passSilence(float* buffer, int n) noexcept
{
    advanceDryDelay(buffer, n); // the block is all zeros
    std::fill(buffer, buffer + n, 0.0f);
}

void DriveStage::runActive(float* buffer, int n) noexcept
{
    auto& os = oversamplers[(size_t)selected];
    const int factor = factorOf(selected);
    // The hysteresis amount ramps over the whole block's oversampled samples.
    const float hysteresisTarget = model.hysteresisAmount;
    const float hysteresisStart = hysteresisRamp < 0.0f ? hysteresisTarget : hysteresisRamp;
    const float hysteresisIncrement = (hysteresisTarget - hysteresisStart) / (float)(n * factor);

    // Without hysteresis there is nothing to plan: each sub-block runs in the oversampler's buffer.
    if (!((hysteresisStart > 0.0f || hysteresisTarget > 0.0f) && HysteresisPlan::suits(model)))
    {
        for (int from = 0; from < n; from += subBlock)
        {
            const int length = std::min(subBlock, n - from);
            runUpsampledSubBlock(os.processUp(buffer + from, length), buffer + from, length,
                                 hysteresisStart + hysteresisIncrement * (float)(from * factor), hysteresisIncrement,
                                 false);
        }
    }
    else
        runPlanningAhead(buffer, n, hysteresisStart, hysteresisIncrement);
    hysteresisRamp = hysteresisTarget;
}

void DriveStage::runPlanningAhead(float* buffer, int n, float hysteresisStart, float hysteresisIncrement) noexcept
{
    auto& os = oversamplers[(size_t)selected];
    const int factor = factorOf(selected);
    // Each sub-block is upsampled one ahead, so that its first chunk is planned while the last
    // chunk of the one before runs, as chunks within a sub-block are: only the first chunk of
    // the block plans on its own. The next sub-block's upsampling overwrites the oversampler's
    // buffer, so all but the last chunk go down first and the last runs from a copy.
    float* up = os.processUp(buffer, std::min(subBlock, n));
    bool planned = false;
    for (int from = 0; from < n; from += subBlock)
    {
        const int length = std::min(subBlock, n - from);
        const int count = length * factor;
        const float ramp = hysteresisStart + hysteresisIncrement * (float)(from * factor);
        const int nextFrom = from + length;
        const int nextLength = std::min(subBlock, n - nextFrom);
        if (nextLength == 0)
        {
            runUpsampledSubBlock(up, buffer + from, length, ramp, hysteresisIncrement, planned);
            break;
        }

        const int lastStart = (count - 1) / chunkLength * chunkLength; // a whole number of base samples
        const float lastRamp = ramp + hysteresisIncrement * (float)lastStart;
        planned = runNonlinear(up, lastStart, ramp, hysteresisIncrement, planned,
                               {up + lastStart, count - lastStart, lastRamp});
        if (lastStart > 0)
            os.processDown(up, work.data(), lastStart / factor);
        std::copy(up + lastStart, up + count, lastChunk.begin());

        up = os.processUp(buffer + nextFrom, nextLength);
        planned = runNonlinear(lastChunk.data(), count - lastStart, lastRamp, hysteresisIncrement, planned,
                               {up, nextLength * factor,
                                hysteresisStart + hysteresisIncrement * (float)(nextFrom * factor)});
        os.processDown(lastChunk.data(), work.data() + lastStart / factor, length - lastStart / factor);
        alignAndFinish(buffer + from, length);
    }
}

// One sub-block from the oversampler's buffer, with nothing after it to plan.
void DriveStage::runUpsampledSubBlock(float* up, float* buffer, int length, float rampStart, float rampIncrement,
                                      bool planned) noexcept
{
    runNonlinear(up, length * factorOf(selected), rampStart, rampIncrement, planned, {});
    oversamplers[(size_t)selected].processDown(up, work.data(), length);
    alignAndFinish(buffer, length);
}

// The oversampled part: sag from the envelopes, hysteresis, the shaper chain. Leaves only
// the nonlinear part (driven minus input) in the block. Works in chunks, one shaper stage
// over the whole chunk at a time: a stage's step depends only on its own previous input,
// so the samples of a chunk are independent work the processor can overlap.
// planned: the first chunk's magnetisation steps were planned while the one before ran.
// Returns whether the first chunk of the following samples was planned the same way.
bool DriveStage::runNonlinear(float* samples, int count, float rampStart, float rampIncrement, bool planned,
                              const FollowingSamples& following) noexcept
{
    for (int start = 0; start < count; start += chunkLength)
    {
        const int length = std::min(chunkLength, count - start);
        float* x = samples + start;
        const float chunkRamp = rampStart + rampIncrement * (float)start;
        if (isPlannedChunk(chunkRamp, rampIncrement, length))
        {
            const int nextStart = start + length;
            const bool within = nextStart < count;
            const float* nextX = within ? x + length : following.x;
            const int nextLength = std::min(chunkLength, within ? count - nextStart : following.count);
            const float nextRamp =
                within ? rampStart + rampIncrement * (float)nextStart : following.rampStart;
            const bool planNext = nextX != nullptr && nextLength > 0 && nextLength <= length &&
                                  length % 4 == 0 && isPlannedChunk(nextRamp, rampIncrement, nextLength);
            prepareChunkPlanned(x, length, chunkRamp, rampIncrement, planned, planNext ? nextX : nullptr,
                                planNext ? nextLength : 0);
            planned = planNext;
        }
        else
        {
            prepareChunkDirect(x, length, chunkRamp, rampIncrement);
            planned = false;
        }
        fillShaperScales(sagEnvelope.data(), length, model.sagDepth * model.amount, model.sagKnee, model.bias,
                         scales.scale.data(), scales.inverse.data(), scales.slopeScale.data(),
                         scales.integralScale.data(), scales.offset.data());
        if (firstSample)
        {
            fillShaperCaches();
            firstSample = false;
        }
        for (int s = 0; s < model.stages; ++s)
            stepShaperStage(shaperStates[(size_t)s], length);
        for (int k = 0; k < length; ++k)
            x[k] = driven[(size_t)k] - x[k];
    }
    return planned;
}

// Whether the hysteresis runs on every sample of the chunk (the ramp is linear: positive at
// both ends) with a coupling the plan is made for.
bool DriveStage::isPlannedChunk(float rampStart, float rampIncrement, int length) const noexcept
{
    return rampStart + rampIncrement > 0.0f && rampStart + rampIncrement * (float)length > 0.0f &&
           HysteresisPlan::suits(model);
}

// Per sample of the chunk: the sag envelope, and the magnetisation mixed in with the ramped
// hysteresis amount.
void DriveStage::prepareChunkDirect(const float* x, int length, float rampStart, float rampIncrement) noexcept
{
    // The ramp is linear, so at or below 0 at both ends it is so throughout: no hysteresis.
    if (rampStart + rampIncrement <= 0.0f && rampStart + rampIncrement * (float)length <= 0.0f)
    {
        followEnvelopes(x, length);
        std::copy(x, x + length, driven.begin());
        hysteresisStarted = false;
        return;
    }
    const DriveModel m = model; // a local copy stays in registers while the arrays are written
    const float gainH = hysteresisGainValue;
    float full = fullEnvelope, low = lowEnvelope, lp = lowPassState;
    for (int k = 0; k < length; ++k)
    {
        full = follow(full, std::abs(x[k]), attack, release);
        lp += (x[k] - lp) * lowPass;
        low = follow(low, std::abs(lp), attack, release);
        sagEnvelope[(size_t)k] = std::max(m.lowBandSag ? low : full, 0.0f);

        float y = x[k];
        const float h = rampStart + rampIncrement * (float)(k + 1);
        if (h > 0.0f)
        {
            if (!hysteresisStarted)
            {
                hysteresis.field = y;
                hysteresis.magnetisation = std::clamp(y / gainH, -1.0f, 1.0f);
                hysteresisStarted = true;
            }
            const float magnetisation = hysteresisStep(hysteresis, y, m);
            y += (magnetisation * gainH - y) * h;
        }
        else
            hysteresisStarted = false;
        driven[(size_t)k] = y;
    }
    fullEnvelope = full;
    lowEnvelope = low;
    lowPassState = lp;
}

// The sag envelope of each sample alone. Both followers run, since a type change hands either
// to the incoming stage.
void DriveStage::followEnvelopes(const float* x, int length) noexcept
{
    const bool lowBand = model.lowBandSag;
    const FollowShares shares{attack, release, 1.0f - attack, 1.0f - release};
    const float lowPassKeep = 1.0f - lowPass; // as a share too, so that x's part is taken ahead
    float full = fullEnvelope, low = lowEnvelope, lp = lowPassState;
    for (int k = 0; k < length; ++k)
    {
        full = followPicked(full, std::abs(x[k]), shares);
        lp = lp * lowPassKeep + x[k] * lowPass;
        low = followPicked(low, std::abs(lp), shares);
        sagEnvelope[(size_t)k] = std::max(lowBand ? low : full, 0.0f);
    }
    fullEnvelope = full;
    lowEnvelope = low;
    lowPassState = lp;
}

// The same with the hysteresis on throughout and its steps planned ahead: what stays in the
// loop is the short chain on the magnetisation, with the envelopes and the planning of the
// next chunk, nextLength samples at nextX (0: none), to fill its waits. alreadyPlanned: the chunk before
// planned this one.
void DriveStage::prepareChunkPlanned(const float* x, int length, float rampStart, float rampIncrement,
                                     bool alreadyPlanned, const float* nextX, int nextLength) noexcept
{
    const DriveModel m = model;
    const float gainH = hysteresisGainValue;
    if (!alreadyPlanned)
    {
        if (!hysteresisStarted)
        {
            hysteresis.field = x[0];
            hysteresis.magnetisation = std::clamp(x[0] / gainH, -1.0f, 1.0f);
            hysteresisStarted = true;
        }
        planHysteresis(hysteresis, x, length, m, hysteresisPlan);
    }

    PlannedChunk chunk{x,
                       length,
                       attack,
                       release,
                       lowPass,
                       m.lowBandSag,
                       rampStart,
                       rampIncrement,
                       gainH,
                       &hysteresisPlan,
                       fullEnvelope,
                       lowEnvelope,
                       lowPassState,
                       hysteresis.magnetisation,
                       sagEnvelope.data(),
                       driven.data()};
    if (nextLength > 0)
        chunk.ahead = {nextX, nextLength, &hysteresisPlan, &m, hysteresis.field, hysteresis.meanStep};
    runPlannedChunk(chunk);
    if (nextLength > 0)
    {
        hysteresis.field = chunk.ahead.field;
        hysteresis.meanStep = chunk.ahead.meanStep;
    }
    hysteresis.magnetisation = chunk.magnetisation;
    fullEnvelope = chunk.full;
    lowEnvelope = chunk.low;
    lowPassState = chunk.lowPassState;
}

// After a (re)start each stage steps from its stored previous input.
void DriveStage::fillShaperCaches() noexcept
{
    for (int s = 0; s < model.stages; ++s)
    {
        auto& state = shaperStates[(size_t)s];
        state.cachedIntegral = shaperDifferenceIntegral(model, scales.view().at(0), state.previous);
        state.cacheValid = true;
    }
}

// One shaper stage over the chunk, four samples at a time; a ragged end one by one.
void DriveStage::stepShaperStage(ShaperStageState& state, int length) noexcept
{
    const int lanes = length & ~3;
    const auto view = scales.view();
    runShaperStageLanes(state, driven.data(), lanes, model, view, laneScratch, laneBuild);
    for (int k = lanes; k < length; ++k)
        driven[(size_t)k] = shaperStepLean(state, driven[(size_t)k], model, view.at(k));
}

// Base rate: align the downsampled difference to the stage latency, add it to the delayed
// dry signal, normalise, roll off, return the difference, high-passed.
void DriveStage::alignAndFinish(float* buffer, int n) noexcept
{
    const float g = shaperGainValue;
    const float rollOff = model.rollOff;
    const auto c = lagrange;
    float h1 = lagrangeHistory[0], h2 = lagrangeHistory[1], h3 = lagrangeHistory[2];
    float lp9 = rollOffState;
    float hp = highPassState, previous = highPassPrevious;
    const float hpCoefficient = highPassCoefficient;
    const float lpCoefficient = rollOffCoefficient;

    for (int j = 0; j < n; ++j)
    {
        alignRing[(size_t)alignIndex] = work[(size_t)j];
        const float z = alignRing[(size_t)((alignIndex - integerDelay) & 15)];
        alignIndex = (alignIndex + 1) & 15;
        const float aligned = c[0] * z + c[1] * h1 + c[2] * h2 + c[3] * h3;
        h3 = h2;
        h2 = h1;
        h1 = z;

        const float dry = delayDry(buffer[j]);
        const float y = (aligned + dry) * g;
        lp9 = y + (lp9 - y) * lpCoefficient;
        const float rolled = rollOff > 0.0f ? y + (lp9 - y) * rollOff : y;
        const float o = rolled - dry;
        hp = hp * hpCoefficient + (o - previous);
        previous = o;
        buffer[j] = hp;
    }
    lagrangeHistory = {h1, h2, h3};
    rollOffState = lp9;
    highPassState = hp;
    highPassPrevious = previous;
}

} // namespace orlix
