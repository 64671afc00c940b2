#include "engine/HalfBandOversampler.h"
#include "engine/FastMath.h"

#include <juce_dsp/juce_dsp.h>

#include <algorithm>

namespace orlix
{

void HalfBandOversampler::Filter::prepare(float transition, float stopbandDb, int maxLength)
{
    auto coefficients =
        juce::dsp::FilterDesign<float>::designFIRLowpassHalfBandEquirippleMethod(transition, stopbandDb);
    length = (int)coefficients->getFilterOrder() + 1;
    const float* raw = coefficients->getRawCoefficients();
    taps.assign(raw, raw + length);
    history = (length - 1) / 2;
    inputs.assign((size_t)(history + maxLength), 0.0f);
}

namespace
{
constexpr int outputsAtOnce = 16;

// outputsAtOnce outputs of Filter::sum: each output's sum stays in a register over all the taps
// (in the same order), instead of going through memory once per tap.
ORLIX_VECTOR_LOOP(void, sumOutputs,
                  (float* __restrict out, const float* x, const float* taps, int length, int blocks),
                  (out, x, taps, length, blocks))
{
    for (int block = 0; block < blocks; ++block)
    {
        const float* at = x + block * outputsAtOnce;
        float sums[outputsAtOnce] = {};
        for (int k = 0; k < length / 2; k += 2)
        {
            const float tap = taps[k];
            const float* older = at - (length - 1 - k) / 2;
            const float* newer = at - k / 2;
            for (int i = 0; i < outputsAtOnce; ++i)
                sums[i] += (older[i] + newer[i]) * tap;
        }
        std::copy(sums, sums + outputsAtOnce, out + block * outputsAtOnce);
    }
}
} // namespace

// With the inputs of the even phase in order (inputs[history + i] the newest for output i),
// output i is the sum over k = 0, 2, 4, ... below N / 2 of
// (x[i - (N - 1 - k) / 2] + x[i - k / 2]) * tap[k], added up in that order.
void HalfBandOversampler::Filter::sum(float* out, int n) const noexcept
{
    const int half = length / 2;
    const float* x = inputs.data() + history;
    const int blocks = n / outputsAtOnce;
    sumOutputs(out, x, taps.data(), length, blocks);
    const int from = blocks * outputsAtOnce;
    std::fill(out + from, out + n, 0.0f);
    for (int k = 0; k < half; k += 2)
    {
        const float tap = taps[(size_t)k];
        const float* older = x - (length - 1 - k) / 2;
        const float* newer = x - k / 2;
        for (int i = from; i < n; ++i)
            out[i] += (older[i] + newer[i]) * tap;
    }
}

void HalfBandOversampler::Filter::keepHistory(int n) noexcept
{
    std::copy(inputs.begin() + n, inputs.begin() + n + history, inputs.begin());
}

void HalfBandOversampler::prepare(const std::vector<StageDesign>& designs, int maxBlock)
{
    stages.clear();
    stages.resize(designs.size());
    int inputLength = maxBlock;
    for (size_t j = 0; j < designs.size(); ++j)
    {
        auto& stage = stages[j];
        const auto& d = designs[j];
        stage.up.prepare(d.transitionUp, d.stopbandUpDb, inputLength);
        stage.down.prepare(d.transitionDown, d.stopbandDownDb, inputLength);
        stage.buffer.assign((size_t)(2 * inputLength), 0.0f);
        stage.sums.assign((size_t)inputLength, 0.0f);
        // The centre tap of the down filter sees the odd phase (N / 2) / 2 + 1 samples late.
        stage.centreDelay = stage.down.length / 2 / 2 + 1;
        stage.oddDelay.assign((size_t)(stage.centreDelay + inputLength), 0.0f);
        inputLength *= 2;
    }
}

void HalfBandOversampler::reset() noexcept
{
    for (auto& stage : stages)
    {
        std::fill(stage.up.inputs.begin(), stage.up.inputs.end(), 0.0f);
        std::fill(stage.down.inputs.begin(), stage.down.inputs.end(), 0.0f);
        std::fill(stage.oddDelay.begin(), stage.oddDelay.end(), 0.0f);
    }
}

double HalfBandOversampler::nominalLatency() const noexcept
{
    double latency = 0.0;
    double order = 1.0;
    for (const auto& stage : stages)
    {
        order *= 2.0;
        latency += (double)((float)(stage.up.length - 1 + stage.down.length - 1) * 0.5f) / order;
    }
    return latency;
}

// audio thread
void HalfBandOversampler::upsample(Stage& stage, const float* input, int n) noexcept
{
    auto& f = stage.up;
    float* x = f.inputs.data() + f.history;
    for (int i = 0; i < n; ++i)
        x[i] = 2.0f * input[i]; // the zero-stuffed odd phase halves the level
    float* even = stage.sums.data();
    f.sum(even, n);

    // The odd outputs are the centre tap alone (tap N / 2, at input position N / 2 + 1).
    const int half = f.length / 2;
    const float centre = f.taps[(size_t)half];
    const bool centreOnEvenPhase = (half + 1) % 2 == 0;
    const float* centreInput = x - (f.length - 1 - (half + 1)) / 2;
    float* out = stage.buffer.data();
    for (int i = 0; i < n; ++i)
    {
        out[2 * i] = even[i];
        out[2 * i + 1] = centreOnEvenPhase ? centreInput[i] * centre : 0.0f;
    }
    f.keepHistory(n);
}

// audio thread
void HalfBandOversampler::downsample(Stage& stage, const float* in, float* output, int n) noexcept
{
    auto& f = stage.down;
    float* x = f.inputs.data() + f.history;
    float* odd = stage.oddDelay.data() + stage.centreDelay;
    for (int i = 0; i < n; ++i)
    {
        x[i] = in[2 * i];
        odd[i] = in[2 * i + 1];
    }
    f.sum(output, n);

    const float centre = f.taps[(size_t)(f.length / 2)];
    const float* delayedOdd = stage.oddDelay.data();
    for (int i = 0; i < n; ++i)
        output[i] += delayedOdd[i] * centre;

    f.keepHistory(n);
    std::copy(stage.oddDelay.begin() + n, stage.oddDelay.begin() + n + stage.centreDelay,
              stage.oddDelay.begin());
}

// audio thread
float* HalfBandOversampler::processUp(const float* input, int n) noexcept
{
    const float* in = input;
    for (auto& stage : stages)
    {
        upsample(stage, in, n);
        in = stage.buffer.data();
        n *= 2;
    }
    return stages.back().buffer.data();
}

// audio thread
void HalfBandOversampler::processDown(float* output, int n) noexcept
{
    processDown(stages.back().buffer.data(), output, n);
}

// audio thread
void HalfBandOversampler::processDown(const float* oversampled, float* output, int n) noexcept
{
    int length = n << ((int)stages.size() - 1);
    const float* in = oversampled;
    for (size_t j = stages.size() - 1; j > 0; --j)
    {
        downsample(stages[j], in, stages[j - 1].buffer.data(), length);
        in = stages[j - 1].buffer.data();
        length /= 2;
    }
    downsample(stages[0], in, output, n);
}

} // namespace orlix
