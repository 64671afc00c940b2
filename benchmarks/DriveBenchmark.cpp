#include "engine/DriveModel.h"
#include "engine/DynamicsEngine.h"
#include "support/Programme.h"

#include <benchmark/benchmark.h>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
constexpr int driveOff = -1;

const juce::AudioBuffer<float>& material()
{
    static const auto buffer = testsupport::programme(rate, 10.0);
    return buffer;
}

EngineSettings settingsFor(int driveType)
{
    EngineSettings s;
    s.thresholdDb = -24.0f;
    s.ratio = 4.0f;
    s.attackMs = 8.0f;
    s.releaseMs = 120.0f;
    s.driveOn = driveType != driveOff;
    s.driveAmount = 50.0f;
    s.driveType = std::max(driveType, 0);
    return s;
}

// The whole engine, stereo, in 512-sample blocks; argument: drive type, or -1 for drive off.
void engineWithDrive(benchmark::State& state)
{
    const int driveType = (int)state.range(0);
    const auto& input = material();
    juce::AudioBuffer<float> work(input);
    DynamicsEngine engine;
    engine.prepare(rate, 2);
    engine.setActive(1.0f);
    const auto settings = settingsFor(driveType);
    int position = 0;
    int64_t frames = 0;
    for (auto _ : state)
    {
        if (position + blockSize > work.getNumSamples())
        {
            work.makeCopyOf(input);
            position = 0;
        }
        float* channels[2] = {work.getWritePointer(0, position), work.getWritePointer(1, position)};
        engine.process(channels, 2, blockSize, settings);
        benchmark::DoNotOptimize(channels[0][0]);
        position += blockSize;
        frames += blockSize;
    }
    state.counters["ns_per_stereo_frame"] =
        benchmark::Counter((double)frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(frames);
    state.SetLabel(driveType == driveOff ? "drive off" : driveTypeConstants(driveType).name);
}
} // namespace

BENCHMARK(engineWithDrive)
    ->Arg(driveOff)
    ->Arg(driveTypeTube)
    ->Arg(driveTypeTransformer)
    ->Arg(driveTypeTape)
    ->Arg(driveTypeFet)
    ->Unit(benchmark::kMicrosecond);
