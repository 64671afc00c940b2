#include "engine/DriveEqWorker.h"
#include "learn/LearnMapping.h"
#include "processor/ParameterLayout.h"
#include "support/LearnFixtures.h"
#include "support/Programme.h"
#include "support/Signals.h"

#include <benchmark/benchmark.h>

using namespace orlix;

namespace
{
constexpr double rate = 48000.0;

// A 40 s trace: the longest a Learn run captures.
const LearnStatistics& fortySecondStatistics()
{
    static const auto stats = []
    {
        orlix::LearnAnalyzer analyser;
        analyser.prepare(rate);
        analyser.reset();
        // One loud second in every five: 40 s pass before 8 s have counted, so the
        // whole 40 s are captured.
        auto material = testsupport::drumLoop(rate, 5.0, 124.0, 0.8f);
        std::fill(material.begin(), material.end() - (int)rate, 0.0f);
        for (int i = 0; i < 8; ++i)
            analyser.analyse(material.data(), nullptr, nullptr, (int)material.size());
        return analyser.finishStatistics().statistics;
    }();
    return stats;
}

// What a finished run and a first TARGET drag compute on the message thread.
void mapAndLimits(benchmark::State& state)
{
    const auto& stats = fortySecondStatistics();
    for (auto _ : state)
    {
        auto result = mapping::mapLearn(stats, sourceDrum, 6, 0);
        MappingCache cache;
        const auto* limits = mapping::targetLimits(cache, sourceDrum, 6, result.character, 1, &stats);
        benchmark::DoNotOptimize(limits->maxTarget);
    }
    state.counters["trace_points"] = (double)stats.tracePeak.size();
}

// The drive level worker's whole job on 10 s of stereo material: seventeen renders.
void driveEqJob(benchmark::State& state)
{
    const auto audio = testsupport::programme(rate, 10.0);
    const std::vector<std::vector<float>> channels{
        {audio.getReadPointer(0), audio.getReadPointer(0) + audio.getNumSamples()},
        {audio.getReadPointer(1), audio.getReadPointer(1) + audio.getNumSamples()}};
    EngineSettings settings;
    settings.thresholdDb = -24.0f;
    settings.ratio = 3.0f;
    for (auto _ : state)
    {
        const auto table = DriveEqWorker::measure(channels, rate, settings, {});
        benchmark::DoNotOptimize(table.valid);
    }
}
} // namespace

BENCHMARK(mapAndLimits)->Unit(benchmark::kMillisecond);
BENCHMARK(driveEqJob)->Unit(benchmark::kSecond)->Iterations(1);
