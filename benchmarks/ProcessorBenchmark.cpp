// The whole plug-in as a host runs it: one prepared OrlixAudioProcessor at
// 48 kHz stereo, fed programme material in 512-sample blocks, next to the
// plain copy that feeds each block; and on Linux the built VST3 through JUCE's
// VST3 hosting, timed as a host's meter counts it.
#include "Material.h"
#include "Reporting.h"
#include "processor/OrlixAudioProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace orlix;

namespace
{
constexpr double rate = benchsupport::comparisonRate;
constexpr int blockSize = benchsupport::comparisonBlockSize;

void setParameter(OrlixAudioProcessor& p, ParameterIndex index, float value)
{
    auto* parameter = p.getParameterState().getParameter(parameterId(index));
    parameter->setValueNotifyingHost(parameter->convertTo0to1(value));
}

// The settings of the comparison: threshold -24 dB, ratio 4, attack 10 ms, release 100 ms.
std::unique_ptr<OrlixAudioProcessor> preparedProcessor(int character, int driveType)
{
    auto p = std::make_unique<OrlixAudioProcessor>();
    p->setPlayConfigDetails(2, 2, rate, blockSize);
    p->prepareToPlay(rate, blockSize);
    setParameter(*p, pThreshold, -24.0f);
    setParameter(*p, pRatio, 4.0f);
    setParameter(*p, pAttack, 10.0f);
    setParameter(*p, pRelease, 100.0f);
    setParameter(*p, pCharacter, (float)character);
    if (driveType >= 0)
    {
        setParameter(*p, pDriveOn, 1.0f);
        setParameter(*p, pDrive, 50.0f);
        setParameter(*p, pDriveType, (float)driveType);
    }
    return p;
}

void nextBlock(juce::AudioBuffer<float>& block, int& position)
{
    benchsupport::nextComparisonBlock(block, position);
}

void plainCopy(benchmark::State& state)
{
    juce::AudioBuffer<float> block(2, blockSize);
    int position = 0;
    int64_t frames = 0;
    for (auto _ : state)
    {
        nextBlock(block, position);
        benchmark::DoNotOptimize(block.getWritePointer(0));
        benchmark::ClobberMemory();
        frames += blockSize;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
}

constexpr const char* characterNames[] = {"AUTO", "OPTO", "FET", "VCA"};
constexpr const char* driveNames[] = {"TUBE", "TRANSFORMER", "TAPE", "FET"};

std::string comparisonLabel(int character, int driveType)
{
    return (juce::String(characterNames[character]) + ", drive " +
            (driveType < 0 ? juce::String("off") : juce::String(driveNames[driveType]) + " 50 %"))
        .toStdString();
}

// One second first, so every ramp has settled before the clock runs.
void settle(juce::AudioProcessor& p, juce::AudioBuffer<float>& block, int& position)
{
    juce::MidiBuffer midi;
    for (int i = 0; i < (int)rate / blockSize; ++i)
    {
        nextBlock(block, position);
        p.processBlock(block, midi);
    }
}

// Arguments: character (1..3), drive type (-1 for drive off).
void wholeProcessor(benchmark::State& state)
{
    const int character = (int)state.range(0);
    const int driveType = (int)state.range(1);
    auto p = preparedProcessor(character, driveType);
    juce::AudioBuffer<float> block(2, blockSize);
    juce::MidiBuffer midi;
    int position = 0;
    int64_t frames = 0;
    settle(*p, block, position);
    for (auto _ : state)
    {
        nextBlock(block, position);
        p->processBlock(block, midi);
        benchmark::ClobberMemory();
        frames += blockSize;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
    state.SetLabel(comparisonLabel(character, driveType));
}

#if defined(ORLIX_VST3_BUNDLE)
// The built VST3 as a host runs it: loaded through JUCE's VST3 hosting, set up as above, and
// timed in the thread's CPU time in processBlock alone, as a host's meter counts it (over a
// batch of blocks, as darc's host-side figure).
// Arguments as for wholeProcessor.
void hostedVst3(benchmark::State& state)
{
    const int character = (int)state.range(0);
    const int driveType = (int)state.range(1);
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    // Another build's bundle may stand in, for comparing two builds as hosts see them.
    const char* other = std::getenv("ORLIX_BENCHMARK_VST3");
    format.findAllTypesForFile(found, other != nullptr && *other != 0 ? other : ORLIX_VST3_BUNDLE);
    juce::String error;
    auto plugin = found.isEmpty() ? nullptr : format.createInstanceFromDescription(*found[0], rate, blockSize, error);
    if (plugin == nullptr)
    {
        state.SkipWithError(("the built VST3 does not load: " + error).toRawUTF8());
        return;
    }
    plugin->setPlayConfigDetails(2, 2, rate, blockSize);
    plugin->prepareToPlay(rate, blockSize);
    // Each setting as a host automates it, by name from a processor set up in process.
    const auto local = preparedProcessor(character, driveType);
    for (auto* hosted : plugin->getParameters())
        for (auto* own : local->getParameters())
            if (own->getName(64) == hosted->getName(64))
                hosted->setValueNotifyingHost(own->getValue());

    juce::AudioBuffer<float> block(2, blockSize);
    juce::MidiBuffer midi;
    int position = 0;
    int64_t frames = 0;
    settle(*plugin, block, position);
    std::vector<juce::AudioBuffer<float>> batch((size_t)benchsupport::hostedBatch, block);
    for (auto _ : state)
    {
        for (auto& b : batch)
            nextBlock(b, position);
        const double start = benchsupport::threadCpuSeconds();
        for (auto& b : batch)
            plugin->processBlock(b, midi);
        state.SetIterationTime(benchsupport::threadCpuSeconds() - start);
        frames += benchsupport::hostedBatch * blockSize;
    }
    plugin->releaseResources();
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
    state.SetLabel(benchsupport::hostedLabel(comparisonLabel(character, driveType)));
}
#endif

// Memory figures read Linux's own accounting of the process.
#if JUCE_LINUX
size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (size_t)sysconf(_SC_PAGESIZE);
}

// Resident memory that each prepared instance adds, over twenty instances.
void residentMemoryPerInstance(benchmark::State& state)
{
    constexpr int instances = 20;
    double bytesPerInstance = 0.0;
    for (auto _ : state)
    {
        std::vector<std::unique_ptr<OrlixAudioProcessor>> processors;
        processors.push_back(preparedProcessor(3, -1)); // shared tables are built by the first
        const size_t before = residentBytes();
        juce::AudioBuffer<float> block(2, blockSize);
        juce::MidiBuffer midi;
        int position = 0;
        for (int i = 0; i < instances; ++i)
        {
            processors.push_back(preparedProcessor(3, i % 4));
            // Touch every buffer once, as playback would.
            for (int b = 0; b < 4; ++b)
            {
                nextBlock(block, position);
                processors.back()->processBlock(block, midi);
            }
        }
        bytesPerInstance = (double)(residentBytes() - before) / instances;
    }
    state.counters["MB_per_instance"] = bytesPerInstance / (1024.0 * 1024.0);
}
#endif
} // namespace

BENCHMARK(plainCopy);
// Each character with the drive off, then VCA with each drive type.
void comparisonSettings(benchmark::internal::Benchmark* b)
{
    for (const auto& [character, driveType] : {std::pair{1, -1}, {2, -1}, {3, -1}, {3, 0}, {3, 3}, {3, 1}, {3, 2}})
        b->Args({character, driveType});
}
BENCHMARK(wholeProcessor)->Apply(comparisonSettings);
#if defined(ORLIX_VST3_BUNDLE)
BENCHMARK(hostedVst3)->Apply(comparisonSettings)->UseManualTime();
#endif
#if JUCE_LINUX
BENCHMARK(residentMemoryPerInstance)->Iterations(1);
#endif
