#include "support/Lv2Host.h"
#include "processor/OrlixAudioProcessor.h"
#include "processor/ParameterLayout.h"
#include "support/OrlixCommand.h"
#include "support/Signals.h"
#include "support/StateFixtures.h"
#include "support/Vst3Host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <map>

using namespace orlix;
using testsupport::Lv2Host;
using testsupport::Lv2Instance;

namespace
{
constexpr double rate = 48000.0;
constexpr int block = 512;

// Settings that reach every stage: a hard FET compressor with make-up, partly wet,
// and the drive, which sets the latency.
const std::pair<const char*, float> renderSettings[] = {
    {"threshold", -32.0f}, {"ratio", 6.0f},   {"attack", 3.0f},  {"release", 120.0f},
    {"knee", 10.0f},       {"mix", 80.0f},    {"output", -2.0f}, {"autoMakeup", 1.0f},
    {"character", 2.0f},   {"driveOn", 1.0f}, {"drive", 40.0f},  {"driveType", 2.0f}};

juce::AudioBuffer<float> programme(double seconds)
{
    const auto drums = testsupport::drumLoop(rate, seconds);
    const auto chord = testsupport::sustainedChord(rate, seconds, 0.25f);
    auto left = drums, right = drums;
    for (size_t i = 0; i < drums.size(); ++i)
    {
        left[i] += chord[i];
        right[i] = 0.7f * right[i] - chord[i];
    }
    return testsupport::toBuffer(left, right);
}

// The input followed by `tail` samples of silence, so a plug-in's delayed output is complete.
juce::AudioBuffer<float> withTail(const juce::AudioBuffer<float>& audio, int tail)
{
    juce::AudioBuffer<float> padded(audio.getNumChannels(), audio.getNumSamples() + tail);
    padded.clear();
    for (int ch = 0; ch < audio.getNumChannels(); ++ch)
        padded.copyFrom(ch, 0, audio, ch, 0, audio.getNumSamples());
    return padded;
}

// The largest difference between a's samples from `offset` on and b's, in dBFS.
double differenceDb(const juce::AudioBuffer<float>& a, int offset, const juce::AudioBuffer<float>& b)
{
    double worst = 0.0;
    for (int ch = 0; ch < b.getNumChannels(); ++ch)
        for (int i = 0; i < b.getNumSamples(); ++i)
            worst = std::max(worst, (double)std::abs(a.getSample(ch, i + offset) - b.getSample(ch, i)));
    return worst > 0.0 ? 20.0 * std::log10(worst) : -std::numeric_limits<double>::infinity();
}

int processorLatencyAt48k()
{
    OrlixAudioProcessor processor;
    processor.setPlayConfigDetails(2, 2, rate, block);
    processor.prepareToPlay(rate, block);
    return processor.getLatencySamples();
}

const ParameterSpec* specOf(const juce::String& id)
{
    const int index = parameterIndexOf(id);
    return index < 0 ? nullptr : &parameterTable[(size_t)index];
}

juce::StringArray choicesOf(ParameterIndex index)
{
    juce::StringArray names;
    auto add = [&](const auto& list)
    {
        for (auto n : list)
            names.add(juce::String(n.data(), n.size()));
    };
    if (index == pCharacter)
        add(characterChoices);
    else if (index == pSource)
        add(sourceChoices);
    else if (index == pDriveType)
        add(driveTypeChoices);
    return names;
}

// The value labels a host reads for a parameter, in value order.
std::vector<std::pair<float, juce::String>> scalePointsOf(Lv2Host& host, const LilvNode* parameter)
{
    std::vector<std::pair<float, juce::String>> points;
    for (const auto* point : host.values(parameter, LV2_CORE__scalePoint))
        points.emplace_back(lilv_node_as_float(host.value(point, LILV_NS_RDF "value")),
                            lilv_node_as_string(host.value(point, LILV_NS_RDFS "label")));
    std::sort(points.begin(), points.end());
    return points;
}

juce::String lilvText(const LilvNode* node)
{
    return node == nullptr ? juce::String("(none)") : juce::String::fromUTF8(lilv_node_as_string(node));
}

// For the lilv calls whose result the caller owns.
juce::String takeText(LilvNode* node)
{
    const auto text = lilvText(node);
    lilv_node_free(node);
    return text;
}
} // namespace

TEST(Lv2Bundle, TurtleValidatesWithoutErrors)
{
    const auto bundle = juce::File(ORLIX_LV2_BUNDLE);
    juce::StringArray files;
    for (const auto* name : {"manifest.ttl", "dsp.ttl", "ui.ttl"})
    {
        ASSERT_TRUE(bundle.getChildFile(name).existsAsFile()) << name;
        files.add(bundle.getChildFile(name).getFullPathName());
    }
    const auto run = testsupport::runCommand("lv2_validate", files);
    std::cout << run.output.fromFirstOccurrenceOf("\n", false, false) << "\n";
    ASSERT_TRUE(run.output.contains("restrictions")) << "lv2_validate did not run: " << run.output;

    for (const auto& line : juce::StringArray::fromLines(run.output))
        EXPECT_FALSE(line.startsWith("error:")) << run.output;
    EXPECT_TRUE(run.output.contains("Found 0 errors")) << run.output;
}

TEST(Lv2Host, FindsThePlugInWithItsPortsAsAHostSeesThem)
{
    Lv2Host host;
    ASSERT_NE(host.plugin, nullptr) << "no " << Lv2Host::pluginUri << " in " << ORLIX_LV2_BUNDLE;
    EXPECT_EQ(takeText(lilv_plugin_get_name(host.plugin)), "Orlix");
    const auto* uri = lilv_plugin_get_uri(host.plugin);
    EXPECT_TRUE(
        lilv_world_ask(host.world, uri, host.uri(LILV_NS_RDF "type"), host.uri(LV2_CORE__CompressorPlugin)));

    struct Expected
    {
        const char* symbol;
        const char* name;
        const char* kind;
        const char* direction;
    };
    const Expected expected[] = {
        {"audio_in_1", "Audio In 1", LV2_CORE__AudioPort, LV2_CORE__InputPort},
        {"audio_in_2", "Audio In 2", LV2_CORE__AudioPort, LV2_CORE__InputPort},
        {"audio_out_1", "Audio Out 1", LV2_CORE__AudioPort, LV2_CORE__OutputPort},
        {"audio_out_2", "Audio Out 2", LV2_CORE__AudioPort, LV2_CORE__OutputPort},
        {"in", "In", LV2_ATOM__AtomPort, LV2_CORE__InputPort},
        {"out", "Out", LV2_ATOM__AtomPort, LV2_CORE__OutputPort},
        {"latency", "Latency", LV2_CORE__ControlPort, LV2_CORE__OutputPort},
        {"freeWheeling", "Free Wheeling", LV2_CORE__ControlPort, LV2_CORE__InputPort},
        {"enabled", "Enabled", LV2_CORE__ControlPort, LV2_CORE__InputPort},
    };
    ASSERT_EQ(lilv_plugin_get_num_ports(host.plugin), std::size(expected));
    for (const auto& e : expected)
    {
        auto* symbol = lilv_new_string(host.world, e.symbol);
        const auto* port = lilv_plugin_get_port_by_symbol(host.plugin, symbol);
        lilv_node_free(symbol);
        ASSERT_NE(port, nullptr) << e.symbol;
        EXPECT_EQ(takeText(lilv_port_get_name(host.plugin, port)), e.name);
        EXPECT_TRUE(lilv_port_is_a(host.plugin, port, host.uri(e.kind))) << e.symbol;
        EXPECT_TRUE(lilv_port_is_a(host.plugin, port, host.uri(e.direction))) << e.symbol;
    }

    // The latency port is the one a host compensates with, and the enabled port is
    // the host's bypass, on by default.
    const auto* latency = lilv_plugin_get_port_by_designation(host.plugin, host.uri(LV2_CORE__OutputPort),
                                                              host.uri(LV2_CORE__latency));
    ASSERT_NE(latency, nullptr);
    EXPECT_TRUE(lilv_port_has_property(host.plugin, latency, host.uri(LV2_CORE__reportsLatency)));
    EXPECT_TRUE(lilv_port_has_property(host.plugin, latency, host.uri(LV2_CORE__integer)));
    const auto* enabled = lilv_plugin_get_port_by_designation(host.plugin, host.uri(LV2_CORE__InputPort),
                                                              host.uri(LV2_CORE_PREFIX "enabled"));
    ASSERT_NE(enabled, nullptr);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(host.plugin, enabled, &def, &min, &max);
    ASSERT_TRUE(def != nullptr && min != nullptr && max != nullptr);
    EXPECT_EQ(lilv_node_as_float(def), 1.0f);
    EXPECT_EQ(lilv_node_as_float(min), 0.0f);
    EXPECT_EQ(lilv_node_as_float(max), 1.0f);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);

    EXPECT_TRUE(lilv_plugin_has_extension_data(host.plugin, host.uri(LV2_STATE__interface)));
}

TEST(Lv2Host, ParametersCarryTheirNamesRangesDefaultsAndValueLists)
{
    Lv2Host host;
    ASSERT_NE(host.plugin, nullptr);
    const auto writable = host.values(lilv_plugin_get_uri(host.plugin), LV2_PATCH__writable);
    ASSERT_EQ(writable.size(), parameterTable.size());
    for (const auto* parameter : writable)
    {
        const auto id = lilvText(parameter).fromLastOccurrenceOf(":", false, false);
        const auto* spec = specOf(id);
        ASSERT_NE(spec, nullptr) << id;
        const auto index = (ParameterIndex)parameterIndexOf(id);
        EXPECT_EQ(lilvText(host.value(parameter, LILV_NS_RDFS "label")),
                  juce::String(spec->name.data(), spec->name.size()));
        EXPECT_EQ(lilv_node_as_float(host.value(parameter, LV2_CORE__minimum)), spec->start) << id;
        EXPECT_EQ(lilv_node_as_float(host.value(parameter, LV2_CORE__maximum)), spec->end) << id;
        EXPECT_EQ(lilv_node_as_float(host.value(parameter, LV2_CORE__default)), spec->defaultValue) << id;

        const auto points = scalePointsOf(host, parameter);
        juce::StringArray expectedLabels;
        switch (spec->kind)
        {
        case ParameterKind::Float:
            break;
        case ParameterKind::Bool:
            expectedLabels = {"Off", "On"};
            break;
        case ParameterKind::Choice:
            expectedLabels = choicesOf(index);
            break;
        case ParameterKind::Int: // Detail: one point per position of the SOURCE's names
            for (int i = 1; i <= (int)spec->end + 1; ++i)
                expectedLabels.add(juce::String(i));
            break;
        }
        ASSERT_EQ((int)points.size(), expectedLabels.size()) << id;
        for (size_t i = 0; i < points.size(); ++i)
        {
            EXPECT_EQ(points[i].first, spec->start + (float)i) << id; // the saved values, unchanged
            EXPECT_EQ(points[i].second, expectedLabels[(int)i]) << id;
        }
    }
}

// What a host's generic controls and automation lanes learn from the plug-in: the
// values when they ask, the restored values after a state restore, the bypass when
// the enabled port changes it, and nothing while nothing changes.
TEST(Lv2Host, HostsHearTheValuesWhenTheyAskAfterARestoreAndOnlyWhenTheBypassChanges)
{
    Lv2Host host;
    ASSERT_NE(host.plugin, nullptr);
    auto plugin = host.instantiate(rate, block);
    ASSERT_NE(plugin, nullptr);
    juce::AudioBuffer<float> silence(2, block);
    const auto run = [&](Lv2Instance& instance, int blocks)
    {
        for (int i = 0; i < blocks; ++i)
        {
            silence.clear();
            instance.process(silence, block);
        }
        const auto received = instance.takeReceived();
        return std::pair{received, std::map<juce::String, float>(received.begin(), received.end())};
    };

    EXPECT_TRUE(run(*plugin, 100).first.empty());

    plugin->askForValues();
    const auto [all, defaults] = run(*plugin, 1);
    EXPECT_EQ(all.size(), parameterTable.size());
    for (const auto& spec : parameterTable)
    {
        const juce::String id(spec.id.data(), spec.id.size());
        ASSERT_EQ(defaults.count(id), 1u) << id;
        EXPECT_EQ(defaults.at(id), spec.defaultValue) << id;
    }

    plugin->setParameter("ratio", 8.0f);
    plugin->askForValues("ratio");
    const auto [one, ratio] = run(*plugin, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(ratio.count("ratio"), 1u);
    EXPECT_FLOAT_EQ(ratio.begin()->second, 8.0f);

    plugin->enabled = 0.0f;
    const auto [bypassed, bypassOn] = run(*plugin, 50);
    ASSERT_EQ(bypassed.size(), 1u);
    EXPECT_EQ(bypassOn.count("bypass"), 1u);
    EXPECT_EQ(bypassed[0].second, 1.0f);
    plugin->enabled = 1.0f;
    const auto [enabledAgain, bypassOff] = run(*plugin, 50);
    ASSERT_EQ(enabledAgain.size(), 1u);
    EXPECT_EQ(bypassOff.count("bypass"), 1u);
    EXPECT_EQ(enabledAgain[0].second, 0.0f);

    auto* saved = plugin->saveState();
    ASSERT_NE(saved, nullptr);
    auto reopened = host.instantiate(rate, block);
    ASSERT_NE(reopened, nullptr);
    reopened->restoreState(saved);
    lilv_state_free(saved);
    const auto [restored, restoredValues] = run(*reopened, 1);
    EXPECT_EQ(restored.size(), parameterTable.size());
    EXPECT_EQ(restoredValues.count("ratio") ? restoredValues.at("ratio") : 0.0f, 8.0f);
    EXPECT_TRUE(run(*reopened, 10).first.empty());
}

// About 1 s: three full renders, one of them by the command-line tool.
TEST(Lv2Host, RendersTheSameAudioAsTheVst3AndTheCommandLineTool)
{
    const auto input = programme(2.0);
    const int latency = processorLatencyAt48k();
    ASSERT_GT(latency, 0); // the drive is on: alignment is part of what is compared

    Lv2Host host;
    auto lv2 = host.instantiate(rate, block);
    ASSERT_NE(lv2, nullptr);
    for (const auto& [id, value] : renderSettings)
        lv2->setParameter(id, value);
    auto lv2Out = withTail(input, latency);
    lv2->process(lv2Out, block);
    EXPECT_EQ(lv2->latency, (float)latency);

    testsupport::Vst3Host vst3Host;
    auto vst3 = vst3Host.instantiate(rate, block);
    ASSERT_NE(vst3, nullptr);
    for (const auto& [id, value] : renderSettings)
    {
        const auto* spec = specOf(id);
        vst3->getParameters()[parameterIndexOf(id)]->setValueNotifyingHost(
            rangeOf(*spec).convertTo0to1(value));
    }
    vst3->prepareToPlay(rate, block);
    EXPECT_EQ(vst3->getLatencySamples(), latency);
    auto vst3Out = withTail(input, latency);
    juce::MidiBuffer midi;
    for (int start = 0; start < vst3Out.getNumSamples(); start += block)
    {
        juce::AudioBuffer<float> view(vst3Out.getArrayOfWritePointers(), 2, start,
                                      std::min(block, vst3Out.getNumSamples() - start));
        vst3->processBlock(view, midi);
    }
    vst3->releaseResources();

    testsupport::TemporaryFolder folder;
    ASSERT_TRUE(testsupport::writeWav(folder["in.wav"], input, rate));
    juce::StringArray args{"render",  folder.path("in.wav"), folder.path("out.wav"), "--float",
                           "--block", juce::String(block)};
    for (const auto& [id, value] : renderSettings)
        args.addArray({"--set", juce::String(id) + "=" + juce::String(value)});
    const auto run = testsupport::runOrlix(args);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto cliOut = testsupport::readWav(folder["out.wav"]);
    ASSERT_EQ(cliOut.getNumSamples(), input.getNumSamples());

    // The output really is processed: it differs from the delayed input.
    EXPECT_GT(differenceDb(lv2Out, latency, input), -20.0);

    const double lv2VsVst3 = differenceDb(lv2Out, 0, vst3Out);
    const double lv2VsCli = differenceDb(lv2Out, latency, cliOut);
    const double vst3VsCli = differenceDb(vst3Out, latency, cliOut);
    std::cout << "largest difference, dBFS: LV2 vs VST3 " << lv2VsVst3 << ", LV2 vs orlix render " << lv2VsCli
              << ", VST3 vs orlix render " << vst3VsCli << "\n";
    EXPECT_LE(lv2VsVst3, -120.0);
    EXPECT_LE(lv2VsCli, -120.0);
    EXPECT_LE(vst3VsCli, -120.0);
}

TEST(Lv2Host, StateSavedThroughTheStateExtensionRestoresTheSameSound)
{
    Lv2Host host;
    ASSERT_NE(host.plugin, nullptr);

    // A state the processor wrote, with a Learn result in it, as the VST3 or the
    // command-line tool would save it: the LV2 state carries the same blob.
    OrlixAudioProcessor direct;
    testsupport::writeSampleLearnResult(direct);
    const auto blob = testsupport::saveState(direct);
    const auto turtle =
        juce::String("@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                     "<urn:orlix-test:learned> a <http://lv2plug.in/ns/ext/presets#Preset> ;\n"
                     "  <http://lv2plug.in/ns/lv2core#appliesTo> <") +
        Lv2Host::pluginUri + "> ;\n  state:state [ <" + Lv2Host::pluginUri + ":StateString> \"" +
        blob.toBase64Encoding() + "\" ] .\n";
    auto* learned = lilv_state_new_from_string(host.world, &host.urids.map, turtle.toRawUTF8());
    ASSERT_NE(learned, nullptr);

    const auto input = programme(1.5);
    auto first = host.instantiate(rate, block);
    ASSERT_NE(first, nullptr);
    first->restoreState(learned);
    lilv_state_free(learned);
    for (const auto& [id, value] : renderSettings)
        first->setParameter(id, value);
    auto firstOut = input;
    first->process(firstOut, block);

    // Saved as a host saves a session: through text, into a fresh instance.
    auto* saved = first->saveState();
    ASSERT_NE(saved, nullptr);
    char* text = lilv_state_to_string(host.world, &host.urids.map, &host.urids.unmap, saved,
                                      "urn:orlix-test:saved", nullptr);
    lilv_state_free(saved);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(juce::String(text).contains(juce::String(Lv2Host::pluginUri) + ":StateString"));
    auto* reloaded = lilv_state_new_from_string(host.world, &host.urids.map, text);
    lilv_free(text);
    ASSERT_NE(reloaded, nullptr);

    auto second = host.instantiate(rate, block);
    auto fresh = host.instantiate(rate, block);
    ASSERT_TRUE(second != nullptr && fresh != nullptr);
    second->restoreState(reloaded);
    lilv_state_free(reloaded);
    auto secondOut = input;
    second->process(secondOut, block);
    for (const auto& [id, value] : renderSettings)
        fresh->setParameter(id, value);
    auto freshOut = input;
    fresh->process(freshOut, block);

    EXPECT_EQ(differenceDb(secondOut, 0, firstOut), -std::numeric_limits<double>::infinity());
    // ...and the Learn result in it mattered: the same settings without it sound different.
    EXPECT_GT(differenceDb(freshOut, 0, firstOut), -40.0);
}
