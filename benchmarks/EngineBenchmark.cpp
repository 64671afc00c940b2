#include "EngineRun.h"
#include "engine/DynamicsEngine.h"
#include "support/Programme.h"

#include <benchmark/benchmark.h>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;

const juce::AudioBuffer<float>& programme()
{
    static const auto buffer = testsupport::programme(rate, 10.0);
    return buffer;
}

EngineSettings programmeSettings(int character)
{
    EngineSettings s;
    s.character = character;
    s.thresholdDb = -24.0f;
    s.ratio = 4.0f;
    s.attackMs = 8.0f;
    s.releaseMs = 120.0f;
    return s;
}

void engineWithoutDrive(benchmark::State& state)
{
    const int character = (int)state.range(0);
    benchsupport::runEngine(state, programme(), programmeSettings(character), rate);
    state.SetLabel(character == 1 ? "OPTO" : character == 2 ? "FET" : "VCA");
}

// The floor: one multiply per sample over the same buffers.
void plainGainLoop(benchmark::State& state)
{
    const auto& input = programme();
    juce::AudioBuffer<float> work(input);
    int position = 0;
    int64_t frames = 0;
    float gain = 0.999f;
    for (auto _ : state)
    {
        if (position + blockSize > work.getNumSamples())
            position = 0;
        for (int ch = 0; ch < 2; ++ch)
        {
            float* x = work.getWritePointer(ch, position);
            for (int i = 0; i < blockSize; ++i)
                x[i] *= gain;
        }
        benchmark::ClobberMemory();
        gain = gain > 0.5f ? gain * 0.9999f : 0.999f;
        position += blockSize;
        frames += blockSize;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
}
} // namespace

BENCHMARK(plainGainLoop);
BENCHMARK(engineWithoutDrive)->Arg(1)->Arg(2)->Arg(3);
