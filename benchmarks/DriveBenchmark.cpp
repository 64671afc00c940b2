#include "engine/DriveEqWorker.h"
#include "engine/DriveHysteresisPlan.h"
#include "engine/DriveModel.h"
#include "engine/DriveStage.h"
#include "engine/DynamicsEngine.h"
#include "support/Programme.h"

#include "EngineRun.h"

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
    benchsupport::runEngine(state, material(), settingsFor(driveType), rate);
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

namespace
{
// TAPE at 50 % on a 192 kHz stream: the share of one core it takes to keep up.
void tapeAt192kHz(benchmark::State& state)
{
    constexpr double highRate = 192000.0;
    static const auto input = testsupport::programme(highRate, 3.0);
    benchsupport::runEngine(state, input, settingsFor(driveTypeTape), highRate);
    const double frames = state.counters["ns_per_stereo_frame"].value;
    state.counters["share_of_core"] =
        benchmark::Counter(frames / highRate, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One drive level table job as the worker runs it after a Learn run: 10 s of stereo
// rendered seventeen times through private engines.
void driveEqJob(benchmark::State& state)
{
    const auto& input = material();
    const std::vector<std::vector<float>> channels{
        std::vector<float>(input.getReadPointer(0), input.getReadPointer(0) + input.getNumSamples()),
        std::vector<float>(input.getReadPointer(1), input.getReadPointer(1) + input.getNumSamples())};
    auto settings = settingsFor(driveOff);
    for (auto _ : state)
    {
        const auto table = DriveEqWorker::measure(channels, rate, settings, {});
        benchmark::DoNotOptimize(table.levels[0][0]);
    }
}
} // namespace

BENCHMARK(tapeAt192kHz)->Unit(benchmark::kMicrosecond);
BENCHMARK(driveEqJob)->Iterations(1)->Unit(benchmark::kSecond);

namespace
{
// The per-sample kernels on their own, per call: where the oversampled work goes.
void shaperAntiderivative(benchmark::State& state)
{
    const auto model = designDrive((int)state.range(0), 0.5f);
    std::array<float, 256> x{};
    std::array<ShaperScale, 256> scales{};
    std::array<double, 256> out{};
    for (size_t i = 0; i < x.size(); ++i)
    {
        x[i] = 0.5f * std::sin(0.05f * (float)i);
        scales[i] = makeShaperScale(0.3 + 0.001 * (double)i);
    }
    for (auto _ : state)
    {
        for (size_t i = 0; i < x.size(); ++i)
            out[i] = shaperDifferenceIntegral(model, scales[i], x[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)x.size());
    state.SetLabel(driveTypeConstants((int)state.range(0)).name);
}

// One magnetisation step after another: each needs the one before, so this is a latency.
void hysteresisSteps(benchmark::State& state)
{
    const auto model = designDrive((int)state.range(0), 0.5f);
    std::array<float, 256> x{}, out{};
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 0.5f * std::sin(0.05f * (float)i);
    HysteresisState h;
    for (auto _ : state)
    {
        for (size_t i = 0; i < x.size(); ++i)
            out[i] = hysteresisStep(h, x[i], model);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)x.size());
    state.SetLabel(driveTypeConstants((int)state.range(0)).name);
}

// The planned chunk loop, per step, on a smooth oversampled passage that repeats every chunk:
// 0 the loop alone, 1 the loop planning the next chunk alongside (as the stage runs it), 2 the
// plan alone.
void plannedChunkSteps(benchmark::State& state)
{
    const auto model = designDrive(driveTypeTransformer, 0.5f);
    constexpr int n = HysteresisPlan::capacity;
    const double twoPi = juce::MathConstants<double>::twoPi;
    std::array<float, 2 * n> x{};
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = (float)(0.4 * std::sin(twoPi * (double)i / n) + 0.05 * std::sin(twoPi * 9.0 * (double)i / n));
    HysteresisState fields;
    HysteresisPlan plan;
    planHysteresis(fields, x.data(), n, model, plan);
    std::array<float, n> envelope{}, driven{};
    double M = 0.1;
    for (auto _ : state)
    {
        if (state.range(0) == 2)
        {
            planHysteresis(fields, x.data(), n, model, plan);
            benchmark::DoNotOptimize(plan.g0.data());
            continue;
        }
        PlannedChunk c{x.data(), n, 0.9f, 0.99f, 0.01f, false, 1.0f, 0.0f, 1.0f, &plan,
                       0.0f, 0.0f, 0.0f, M, envelope.data(), driven.data()};
        if (state.range(0) == 1)
            c.ahead = {x.data() + n, n, &plan, &model, fields.field, fields.meanStep};
        runPlannedChunk(c);
        M = c.magnetisation;
        benchmark::DoNotOptimize(driven.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The stage alone on a mono mid signal, per base-rate sample.
void driveStageAlone(benchmark::State& state)
{
    const int driveType = (int)state.range(0);
    const auto& input = material();
    std::vector<float> work((size_t)blockSize);
    DriveStage stage;
    stage.prepare(rate, nullptr);
    stage.configure(driveType, 0.5f);
    int position = 0;
    int64_t frames = 0;
    for (auto _ : state)
    {
        if (position + blockSize > input.getNumSamples())
            position = 0;
        std::copy(input.getReadPointer(0, position), input.getReadPointer(0, position) + blockSize,
                  work.begin());
        stage.process(work.data(), blockSize);
        benchmark::DoNotOptimize(work[0]);
        position += blockSize;
        frames += blockSize;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_sample", frames);
    state.SetLabel(driveTypeConstants(driveType).name);
}
} // namespace

BENCHMARK(shaperAntiderivative)->Arg(driveTypeTube)->Arg(driveTypeTape);
BENCHMARK(hysteresisSteps)->Arg(driveTypeTransformer)->Arg(driveTypeTape);
BENCHMARK(plannedChunkSteps)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(driveStageAlone)
    ->Arg(driveTypeTube)
    ->Arg(driveTypeTransformer)
    ->Arg(driveTypeTape)
    ->Arg(driveTypeFet)
    ->Unit(benchmark::kMicrosecond);
