#include "Reporting.h"
#include "learn/LearnAnalyzer.h"
#include "support/Signals.h"

#include <benchmark/benchmark.h>

using namespace orlix;

namespace
{
constexpr double learnRate = 48000.0;
constexpr int learnBlock = 512;

const std::vector<float>& learnMaterial()
{
    static const auto x = testsupport::drumLoop(learnRate, 10.0, 124.0, 0.9f);
    return x;
}

// The audio thread's share of Learn: one stereo block into the FIFO. Re-arming
// before every block empties the FIFO, so the writer always finds room.
void captureFeed(benchmark::State& state)
{
    const auto& x = learnMaterial();
    CaptureFifo fifo;
    fifo.prepare(learnRate, 2);
    std::atomic<int> phase{learnPhaseIdle};
    int position = 0;
    int64_t samples = 0;
    for (auto _ : state)
    {
        if (position + learnBlock > (int)x.size())
            position = 0;
        const float* channels[] = {x.data() + position, x.data() + position};
        phase.store(learnPhaseArmed);
        fifo.feed(channels, 2, learnBlock, phase);
        benchmark::ClobberMemory();
        position += learnBlock;
        samples += learnBlock;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_sample", samples);
}

// The timer's share: the per-sample analysis of a whole counted run.
void analyseRun(benchmark::State& state)
{
    const auto& x = learnMaterial();
    LearnAnalyzer analyzer;
    analyzer.prepare(learnRate);
    int64_t samples = 0;
    for (auto _ : state)
    {
        analyzer.reset();
        analyzer.analyse(x.data(), nullptr, nullptr, (int)x.size());
        samples += analyzer.getTotalSamples();
        benchmark::DoNotOptimize(analyzer.getCountedSamples());
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_sample", samples);
}

void finishRun(benchmark::State& state)
{
    const auto& x = learnMaterial();
    LearnAnalyzer analyzer;
    analyzer.prepare(learnRate);
    for (auto _ : state)
    {
        state.PauseTiming();
        analyzer.reset();
        analyzer.analyse(x.data(), nullptr, nullptr, (int)x.size());
        state.ResumeTiming();
        auto finished = analyzer.finishStatistics();
        benchmark::DoNotOptimize(finished.statistics.tracePeak.data());
    }
}
} // namespace

BENCHMARK(captureFeed);
BENCHMARK(analyseRun)->Unit(benchmark::kMillisecond);
BENCHMARK(finishRun)->Unit(benchmark::kMillisecond);
