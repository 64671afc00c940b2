#pragma once

#include "Reporting.h"
#include "engine/DynamicsEngine.h"

#include <benchmark/benchmark.h>

namespace benchsupport
{

// Runs a fresh stereo engine over the material in 512-sample blocks for as long as the
// benchmark asks, and reports nanoseconds per stereo frame.
inline void runEngine(benchmark::State& state, const juce::AudioBuffer<float>& input,
                      const orlix::EngineSettings& settings, double sampleRate)
{
    constexpr int blockSize = 512;
    juce::AudioBuffer<float> work(input);
    orlix::DynamicsEngine engine;
    engine.prepare(sampleRate, 2);
    engine.setActive(1.0f);
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
    reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
}

} // namespace benchsupport
