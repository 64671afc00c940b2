// The fastest open-source compressor we compare with, x42 darc (Debian's
// x42-plugins), run through lilv on the same material, block size and settings
// as the whole-processor benchmark, so that Orlix's figures read as ratios to it
// on any machine.
#if defined(__linux__)
#include "Material.h"
#include "Reporting.h"

#include <benchmark/benchmark.h>
#include <lilv/lilv.h>

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace
{
constexpr double rate = benchsupport::comparisonRate;
constexpr int blockSize = benchsupport::comparisonBlockSize;
constexpr const char* darcUri = "http://gareus.org/oss/lv2/darc#stereo";

// One instance of an LV2 plug-in with two audio inputs and outputs and control
// ports set by symbol; the plug-ins compared need no host features.
class PeerInstance
{
public:
    PeerInstance(const char* uri, const std::map<std::string, float>& settings)
    {
        world = lilv_world_new();
        lilv_world_load_all(world);
        auto* uriNode = lilv_new_uri(world, uri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uriNode);
        lilv_node_free(uriNode);
        if (plugin == nullptr)
            return;
        instance = lilv_plugin_instantiate(plugin, rate, nullptr);
        if (instance == nullptr)
            return;
        auto* audioClass = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
        auto* inputClass = lilv_new_uri(world, LILV_URI_INPUT_PORT);
        const auto ports = lilv_plugin_get_num_ports(plugin);
        controls.resize(ports, 0.0f);
        std::vector<float> defaults(ports, 0.0f);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
        for (uint32_t i = 0; i < ports; ++i)
        {
            const auto* port = lilv_plugin_get_port_by_index(plugin, i);
            if (lilv_port_is_a(plugin, port, audioClass))
            {
                const bool input = lilv_port_is_a(plugin, port, inputClass);
                auto& list = input ? inputs : outputs;
                list.emplace_back((size_t)blockSize, 0.0f);
                if (input)
                    inputPorts.push_back(i);
                lilv_instance_connect_port(instance, i, list.back().data());
                continue;
            }
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            const auto setting = settings.find(symbol);
            controls[i] =
                setting != settings.end() ? setting->second : (std::isnan(defaults[i]) ? 0.0f : defaults[i]);
            lilv_instance_connect_port(instance, i, &controls[i]);
        }
        lilv_node_free(audioClass);
        lilv_node_free(inputClass);
        if (inputs.size() != 2 || outputs.size() != 2)
        {
            lilv_instance_free(instance);
            instance = nullptr;
            return;
        }
        lilv_instance_activate(instance);
    }

    ~PeerInstance()
    {
        if (instance != nullptr)
        {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
        lilv_world_free(world);
    }

    PeerInstance(const PeerInstance&) = delete;
    PeerInstance& operator=(const PeerInstance&) = delete;

    bool valid() const { return instance != nullptr; }

    // Copies the block in, runs the plug-in and copies its output back.
    void process(juce::AudioBuffer<float>& block)
    {
        for (int ch = 0; ch < 2; ++ch)
            std::copy_n(block.getReadPointer(ch), blockSize, inputs[(size_t)ch].data());
        lilv_instance_run(instance, (uint32_t)blockSize);
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom(ch, 0, outputs[(size_t)ch].data(), blockSize);
    }

    // Runs the plug-in over each block in turn, its inputs connected to the block as a host
    // connects its buffers; returns the thread's CPU time in the runs alone.
    double runEach(std::vector<juce::AudioBuffer<float>>& blocks)
    {
        const double start = benchsupport::threadCpuSeconds();
        for (auto& block : blocks)
        {
            for (size_t ch = 0; ch < 2; ++ch)
                lilv_instance_connect_port(instance, inputPorts[ch], block.getWritePointer((int)ch));
            lilv_instance_run(instance, (uint32_t)blockSize);
        }
        const double seconds = benchsupport::threadCpuSeconds() - start;
        for (size_t ch = 0; ch < 2; ++ch)
            lilv_instance_connect_port(instance, inputPorts[ch], inputs[ch].data());
        return seconds;
    }

private:
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    std::vector<float> controls;
    std::vector<std::vector<float>> inputs, outputs;
    std::vector<uint32_t> inputPorts;
};

// x42 darc at the comparison's settings as far as its controls have them:
// threshold -24 dB, attack 10 ms, release 100 ms, ratio knob at its middle.
// Argument 1: timed as a host sees it (the thread's CPU time in run() alone, over a batch of
// blocks so the clock's own cost hardly counts), next to the hosted VST3 of Orlix; 0: the
// whole loop, copies included, next to the in-process processor.
void peerDarc(benchmark::State& state)
{
    const bool hosted = state.range(0) != 0;
    PeerInstance darc(
        darcUri,
        {{"enable", 1.0f}, {"threshold", -24.0f}, {"Ratio", 0.5f}, {"attack", 0.01f}, {"release", 0.1f}});
    if (!darc.valid())
    {
        state.SkipWithError("x42 darc is not installed (Debian's x42-plugins; scripts/setup.sh installs it)");
        return;
    }
    juce::AudioBuffer<float> block(2, blockSize);
    int position = 0;
    int64_t frames = 0;
    for (int i = 0; i < (int)rate / blockSize; ++i)
    {
        benchsupport::nextComparisonBlock(block, position);
        darc.process(block);
    }
    std::vector<juce::AudioBuffer<float>> batch((size_t)benchsupport::hostedBatch, block);
    for (auto _ : state)
    {
        if (hosted)
        {
            for (auto& b : batch)
                benchsupport::nextComparisonBlock(b, position);
            state.SetIterationTime(darc.runEach(batch));
            frames += benchsupport::hostedBatch * blockSize;
            continue;
        }
        benchsupport::nextComparisonBlock(block, position);
        darc.process(block);
        benchmark::ClobberMemory();
        frames += blockSize;
    }
    benchsupport::reportNanosecondsPer(state, "ns_per_stereo_frame", frames);
    state.SetLabel(hosted ? benchsupport::hostedLabel(benchsupport::peerLabel) : benchsupport::peerLabel);
}
} // namespace

BENCHMARK(peerDarc)->Arg(0);
BENCHMARK(peerDarc)->Arg(1)->UseManualTime();
#endif
