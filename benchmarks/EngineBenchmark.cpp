#include "EngineRun.h"
#include "engine/DynamicsEngine.h"
#include "support/Programme.h"

#include <benchmark/benchmark.h>

#if JUCE_LINUX
#include <malloc.h>
#endif

#include <cstring>
#include <fstream>
#include <memory>

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

const char* characterLabel(int character)
{
    return character == characterOptoIndex ? "OPTO" : character == characterFetIndex ? "FET" : "VCA";
}

void engineWithoutDrive(benchmark::State& state)
{
    const int character = (int)state.range(0);
    benchsupport::runEngine(state, programme(), programmeSettings(character), rate);
    state.SetLabel(characterLabel(character));
}

// The stereo-linked detector alone, with its character's flags held still, in the engine's
// runs: where the per-sample recursions' cost shows without the passes around them.
void levelDetectorRun(benchmark::State& state)
{
    const int character = (int)state.range(0);
    const auto& input = programme();
    const auto& model = characterModel(character);
    const auto coefficients = detectorCoefficients(programmeSettings(character), model, rate);
    constexpr int run = 128; // the engine's run length
    const int frames = input.getNumSamples() / run * run;
    std::vector<float> peak((size_t)frames);
    for (int i = 0; i < frames; ++i)
        peak[(size_t)i] = std::max(std::abs(input.getSample(0, i)), std::abs(input.getSample(1, i)));
    const float share = model.peakShare, weight = model.programRelease ? 1.0f : 0.0f,
                opto = character == characterOptoIndex ? 1.0f : 0.0f,
                fet = character == characterFetIndex ? 1.0f : 0.0f;
    std::vector<float> shares(run, share), weights(run, weight), optos(run, opto), fets(run, fet),
        knees(run, 6.0f * model.kneeFactor), ratios(run, 4.0f), thresholds(run, -24.0f);
    const DetectorRamps ramps{shares.data(), weights.data(), optos.data(),  fets.data(),
                              knees.data(),  ratios.data(),  thresholds.data(), opto <= 0.0f,
                              fet <= 0.0f,   share,          weight >= 1.0f};
    std::vector<float> envelope(run), meanSquare(run), level(run), target(run), scaled(run), reduction(run);
    const DetectorScratch scratch{envelope.data(), meanSquare.data(), level.data(), target.data(), scaled.data()};
    LevelDetector detector;
    const juce::ScopedNoDenormals noDenormals; // as the processor runs it
    int position = 0;
    int64_t done = 0;
    for (auto _ : state)
    {
        if (position + run > frames)
            position = 0;
        // As in the engine, each run's last slice works out the next run's first envelopes.
        const int following = position + 2 * run <= frames ? LevelDetector::slice : 0;
        benchmark::DoNotOptimize(
            detector.run(peak.data() + position, run, coefficients, ramps, scratch, reduction.data(), following));
        position += run;
        done += run;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", done);
    state.SetLabel(characterLabel(character));
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

// The other floor: what copying the stereo block in and out of a host buffer costs.
void plainBufferCopy(benchmark::State& state)
{
    const auto& input = programme();
    juce::AudioBuffer<float> work(2, blockSize);
    int position = 0;
    int64_t frames = 0;
    for (auto _ : state)
    {
        if (position + blockSize > input.getNumSamples())
            position = 0;
        for (int ch = 0; ch < 2; ++ch)
            std::memcpy(work.getWritePointer(ch), input.getReadPointer(ch, position),
                        sizeof(float) * blockSize);
        benchmark::DoNotOptimize(work.getWritePointer(0));
        benchmark::ClobberMemory();
        position += blockSize;
        frames += blockSize;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
}

// Memory figures read Linux's own accounting of the process.
#if JUCE_LINUX
size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (size_t)sysconf(_SC_PAGESIZE);
}

size_t heapBytes()
{
    const auto info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// What one prepared stereo engine at 48 kHz holds: heap allocated by prepare, and memory
// made resident by preparing it and running a second of programme through every drive type
// (a type change while the drive is on wakes the second drive stage too).
void preparedEngineMemory(benchmark::State& state)
{
    constexpr int instances = 8;
    const auto& input = programme(); // made before the measurement, so it does not count
    for (auto _ : state)
    {
        std::vector<std::unique_ptr<DynamicsEngine>> engines;
        engines.reserve(instances);
        const size_t heapBefore = heapBytes(), residentBefore = residentBytes();
        for (int i = 0; i < instances; ++i)
        {
            engines.push_back(std::make_unique<DynamicsEngine>());
            engines.back()->prepare(rate, 2);
        }
        const size_t heapAfter = heapBytes();
        juce::AudioBuffer<float> work(2, blockSize);
        for (auto& engine : engines)
        {
            engine->setActive(1.0f);
            for (int block = 0; block < (int)(rate / blockSize); ++block)
            {
                auto s = programmeSettings(3);
                s.driveOn = true;
                s.driveAmount = 50.0f;
                s.driveType = (block / 20) % numDriveTypes;
                for (int ch = 0; ch < 2; ++ch)
                    work.copyFrom(ch, 0, input, ch, block * blockSize, blockSize);
                engine->process(work, 2, s);
            }
        }
        state.counters["heap_bytes_per_engine"] = (double)(heapAfter - heapBefore) / instances;
        state.counters["resident_bytes_per_engine"] = (double)(residentBytes() - residentBefore) / instances;
    }
}
#endif
} // namespace

BENCHMARK(plainBufferCopy);
BENCHMARK(plainGainLoop);
BENCHMARK(engineWithoutDrive)->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(levelDetectorRun)->Arg(1)->Arg(2)->Arg(3);
#if JUCE_LINUX
BENCHMARK(preparedEngineMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif
