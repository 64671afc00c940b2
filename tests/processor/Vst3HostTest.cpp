#include "support/Vst3Host.h"
#include "processor/OrlixAudioProcessor.h"
#include "processor/ParameterLayout.h"
#include "support/EditorFixture.h"
#include "support/Programme.h"
#include "support/Signals.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE("-Wzero-as-null-pointer-constant", "-Wshadow", "-Wsign-conversion",
                                    "-Wnon-virtual-dtor", "-Wpedantic", "-Wextra")
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivstunits.h>
#include <pluginterfaces/vst/vsttypes.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

using namespace orlix;

namespace
{
// The module binary inside the bundle, and its entry and exit points, as each platform's hosts use them.
#if JUCE_WINDOWS
constexpr const char* moduleBinary = "Contents/x86_64-win/Orlix.vst3";
constexpr const char* moduleEntry = "InitDll";
constexpr const char* moduleExit = "ExitDll";
bool enterModule(void* entry, juce::DynamicLibrary&)
{
    return reinterpret_cast<bool (*)()>(entry)();
}
#else
constexpr const char* moduleBinary = "Contents/x86_64-linux/Orlix.so";
constexpr const char* moduleEntry = "ModuleEntry";
constexpr const char* moduleExit = "ModuleExit";
bool enterModule(void* entry, juce::DynamicLibrary& module)
{
    return reinterpret_cast<bool (*)(void*)>(entry)(module.getNativeHandle());
}
#endif
} // namespace

TEST(Vst3Host, DescribesTheModuleAsTheHostSeesIt)
{
    testsupport::Vst3Host host;
    ASSERT_EQ(host.descriptions.size(), 1) << ORLIX_VST3_BUNDLE;
    const auto& d = *host.descriptions[0];
    EXPECT_EQ(d.name, "Orlix");
    EXPECT_EQ(d.manufacturerName, "Halvane Audio");
    EXPECT_EQ(d.version, "1.0.1");
    EXPECT_EQ(d.category, "Fx|Dynamics");
    EXPECT_FALSE(d.isInstrument);
}

TEST(Vst3Host, FactoryReportsEmptyContactFieldsAndTheBundledSdkVersion)
{
    const auto binary = juce::File(ORLIX_VST3_BUNDLE).getChildFile(moduleBinary);
    ASSERT_TRUE(binary.existsAsFile());
    juce::DynamicLibrary module;
    ASSERT_TRUE(module.open(binary.getFullPathName()));
    using GetFactory = Steinberg::IPluginFactory* (*)();
    auto* entry = module.getFunction(moduleEntry);
    auto getFactory = reinterpret_cast<GetFactory>(module.getFunction("GetPluginFactory"));
    ASSERT_TRUE(entry != nullptr && getFactory != nullptr);
    ASSERT_TRUE(enterModule(entry, module));
    {
        auto* factory = getFactory();
        ASSERT_NE(factory, nullptr);
        Steinberg::PFactoryInfo info;
        ASSERT_EQ(factory->getFactoryInfo(&info), Steinberg::kResultOk);
        EXPECT_STREQ(info.vendor, "Halvane Audio");
        EXPECT_STREQ(info.url, "");
        EXPECT_STREQ(info.email, "");

        const Steinberg::TUID factory2Iid = INLINE_UID(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
        Steinberg::IPluginFactory2* factory2 = nullptr;
        ASSERT_EQ(factory->queryInterface(factory2Iid, reinterpret_cast<void**>(&factory2)),
                  Steinberg::kResultOk);
        bool sawEffect = false;
        for (Steinberg::int32 i = 0; i < factory2->countClasses(); ++i)
        {
            Steinberg::PClassInfo2 classInfo;
            ASSERT_EQ(factory2->getClassInfo2(i, &classInfo), Steinberg::kResultOk);
            EXPECT_STREQ(classInfo.sdkVersion, kVstVersionString);
            if (juce::String(classInfo.category) == kVstAudioEffectClass)
            {
                sawEffect = true;
                EXPECT_STREQ(classInfo.subCategories, "Fx|Dynamics");
                EXPECT_STREQ(classInfo.version, "1.0.1");
            }
        }
        EXPECT_TRUE(sawEffect);
        factory2->release();
        factory->release();
    }
    if (auto exitModule = reinterpret_cast<bool (*)()>(module.getFunction(moduleExit)))
        exitModule();
}

TEST(Vst3Host, ListsTheSixteenParametersWithTheirDefaultTexts)
{
    testsupport::Vst3Host host;
    auto plugin = host.instantiate();
    ASSERT_NE(plugin, nullptr);
    const auto& params = plugin->getParameters();
    // The wrapper may add a program parameter; ours come first in table order.
    ASSERT_GE(params.size(), numParameters);
    const char* defaults[] = {"-18.0 dB", "4.0 :1", "10 ms",     "200 ms", "25",  "100 %", "0.0 dB", "Off",
                              "Off",      "AUTO",   "Universal", "Gentle", "Off", "Off",   "0 %",    "TUBE"};
    for (int i = 0; i < numParameters; ++i)
    {
        const auto& spec = parameterTable[(size_t)i];
        EXPECT_EQ(params[i]->getName(64), juce::String(spec.name.data(), spec.name.size())) << i;
        EXPECT_EQ(params[i]->getCurrentValueAsText(), defaults[i]) << i;
    }
}

TEST(Vst3Host, AcceptsMonoAndStereoButNotMonoInStereoOut)
{
    testsupport::Vst3Host host;
    auto plugin = host.instantiate();
    ASSERT_NE(plugin, nullptr);
    using S = juce::AudioChannelSet;
    auto layout = [](const S& in, const S& out)
    {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add(in);
        l.outputBuses.add(out);
        return l;
    };
    EXPECT_TRUE(plugin->checkBusesLayoutSupported(layout(S::stereo(), S::stereo())));
    EXPECT_TRUE(plugin->checkBusesLayoutSupported(layout(S::mono(), S::mono())));
    EXPECT_FALSE(plugin->checkBusesLayoutSupported(layout(S::mono(), S::stereo())));
}

TEST(Vst3Host, PassesQuietAudioThroughAlignedToTheReportedLatency)
{
    testsupport::Vst3Host host;
    auto plugin = host.instantiate();
    ASSERT_NE(plugin, nullptr);
    plugin->prepareToPlay(48000.0, 512);
    const int latency = plugin->getLatencySamples();
    // Far below the default threshold: the compressor leaves it untouched.
    const auto x = testsupport::sine(440.0, 48000.0, 48000, 0.01f);
    juce::AudioBuffer<float> block(2, 512);
    juce::MidiBuffer midi;
    std::vector<float> out;
    for (size_t start = 0; start + 512 <= x.size(); start += 512)
    {
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom(ch, 0, x.data() + start, 512);
        plugin->processBlock(block, midi);
        out.insert(out.end(), block.getReadPointer(0), block.getReadPointer(0) + 512);
    }
    for (size_t i = (size_t)latency + 4800; i < out.size(); ++i)
        ASSERT_NEAR(out[i], x[i - (size_t)latency], 1e-6f) << i;
    plugin->releaseResources();
}

namespace
{
// Two seconds of programme through a hosted instance in host-sized blocks, with the
// compressor working hard and the drive on (which sets the latency).
juce::AudioBuffer<float> renderedThrough(juce::AudioPluginInstance& plugin)
{
    const std::pair<int, const char*> settings[] = {{pThreshold, "-30"}, {pRatio, "6"},
                                                    {pAttack, "3"},      {pDriveOn, "On"},
                                                    {pDrive, "40"},      {pDriveType, "TAPE"}};
    for (auto [index, text] : settings)
    {
        auto* parameter = plugin.getParameters()[index];
        parameter->setValueNotifyingHost(parameter->getValueForText(text));
    }
    plugin.prepareToPlay(48000.0, 512);
    auto audio = testsupport::programme(48000.0, 2.0);
    juce::MidiBuffer midi;
    for (int start = 0; start + 512 <= audio.getNumSamples(); start += 512)
    {
        juce::AudioBuffer<float> view(audio.getArrayOfWritePointers(), 2, start, 512);
        plugin.processBlock(view, midi);
    }
    plugin.releaseResources();
    return audio;
}

int differingSamples(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    int differing = 0;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            differing += a.getSample(ch, i) != b.getSample(ch, i) ? 1 : 0;
    return differing;
}
} // namespace

// scripts/deb-check.sh names an installed bundle in ORLIX_INSTALLED_VST3: a host's scan of
// the folders it searches by default finds it, and it makes exactly the samples the bundle
// built here makes.
TEST(Vst3Host, AnInstalledBundleIsFoundWhereHostsLookAndSoundsLikeTheBuiltOne)
{
    const char* installed = std::getenv("ORLIX_INSTALLED_VST3");
    if (installed == nullptr)
        GTEST_SKIP() << "needs an installed bundle named in ORLIX_INSTALLED_VST3";
    const juce::File bundle(juce::String::fromUTF8(installed));
    juce::VST3PluginFormat format;
    const auto found = format.searchPathsForPlugins(format.getDefaultLocationsToSearch(), true, false);
    EXPECT_TRUE(found.contains(bundle.getFullPathName())) << found.joinIntoString(", ");

    testsupport::Vst3Host installedHost(bundle.getFullPathName()), builtHost;
    ASSERT_EQ(installedHost.descriptions.size(), 1);
    EXPECT_EQ(installedHost.descriptions[0]->name, "Orlix");
    EXPECT_EQ(installedHost.descriptions[0]->version, "1.0.1");
    auto installedPlugin = installedHost.instantiate();
    auto builtPlugin = builtHost.instantiate();
    ASSERT_TRUE(installedPlugin != nullptr && builtPlugin != nullptr);
    const auto fromInstalled = renderedThrough(*installedPlugin);
    const auto fromBuilt = renderedThrough(*builtPlugin);
    EXPECT_GT(differingSamples(fromInstalled, testsupport::programme(48000.0, 2.0)),
              90000); // it was processed
    EXPECT_EQ(differingSamples(fromInstalled, fromBuilt), 0);
}

TEST(Vst3Host, DefaultStateRoundTripsBetweenInstances)
{
    testsupport::Vst3Host host;
    auto first = host.instantiate();
    auto second = host.instantiate();
    ASSERT_TRUE(first != nullptr && second != nullptr);
    auto* ratio = first->getParameters()[pRatio];
    ratio->setValueNotifyingHost(0.75f);
    juce::MemoryBlock state;
    first->getStateInformation(state);
    second->setStateInformation(state.getData(), (int)state.getSize());
    EXPECT_EQ(second->getParameters()[pRatio]->getCurrentValueAsText(), ratio->getCurrentValueAsText());
    EXPECT_NE(second->getParameters()[pRatio]->getCurrentValueAsText(), "4.0 :1");
}

namespace
{
// A host keeps the plug-in's own blob inside its component state.
juce::MemoryBlock hostStateHolding(const juce::MemoryBlock& pluginBlob)
{
    juce::XmlElement state("VST3PluginState");
    state.createNewChildElement("IComponent")->addTextElement(pluginBlob.toBase64Encoding());
    juce::MemoryBlock out;
    juce::AudioProcessor::copyXmlToBinary(state, out);
    return out;
}

std::unique_ptr<juce::XmlElement> pluginXmlInside(const juce::MemoryBlock& hostState)
{
    auto head = juce::AudioProcessor::getXmlFromBinary(hostState.getData(), (int)hostState.getSize());
    if (head == nullptr || head->getChildByName("IComponent") == nullptr)
        return nullptr;
    juce::MemoryBlock component;
    component.fromBase64Encoding(head->getChildByName("IComponent")->getAllSubText());
    return juce::AudioProcessor::getXmlFromBinary(component.getData(), (int)component.getSize());
}
} // namespace

TEST(Vst3Host, StateWithLearnDataRestoresEveryParameterAndKeyInAnotherInstance)
{
    // A state written by the processor itself, with a complete Learn result in it.
    OrlixAudioProcessor direct;
    testsupport::writeSampleLearnResult(direct);
    const auto learned = hostStateHolding(testsupport::saveState(direct));

    testsupport::Vst3Host host;
    auto first = host.instantiate();
    auto second = host.instantiate();
    ASSERT_TRUE(first != nullptr && second != nullptr);
    first->setStateInformation(learned.getData(), (int)learned.getSize());
    const auto& params = first->getParameters();
    const std::pair<int, float> changes[] = {{pThreshold, 0.3f}, {pRatio, 0.8f},          {pMix, 0.5f},
                                             {pCharacter, 1.0f}, {pSource, 4.0f / 12.0f}, {pDriveOn, 1.0f},
                                             {pDrive, 0.42f}};
    for (auto [index, normalised] : changes)
        params[index]->setValueNotifyingHost(normalised);

    juce::MemoryBlock state;
    first->getStateInformation(state);
    second->setStateInformation(state.getData(), (int)state.getSize());
    for (int i = 0; i < numParameters; ++i)
        EXPECT_NEAR(second->getParameters()[i]->getValue(), params[i]->getValue(), 1e-3f)
            << i; // within one step

    juce::MemoryBlock again;
    second->getStateInformation(again);
    const auto a = pluginXmlInside(state);
    const auto b = pluginXmlInside(again);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_TRUE(a->isEquivalentTo(b.get(), false));
    for (const auto* key : {"orlixLearnTrace", "orlixLearnMkHist", "orlixLearnMkCurve", "orlixLearnDriveEq",
                            "orlixLearnId", "orlixTargetDb", "orlixLearnP90"})
    {
        EXPECT_TRUE(b->hasAttribute(key)) << key;
        EXPECT_EQ(b->getStringAttribute(key), a->getStringAttribute(key)) << key;
    }
}

TEST(Vst3Host, EditorOpensAtItsDesignSizeInAHost)
{
    if (juce::Desktop::getInstance().getDisplays().displays.isEmpty())
        GTEST_SKIP() << "needs a display (CI runs this under Xvfb)";
    testsupport::TemporarySettings settings;
    testsupport::Vst3Host host;
    auto plugin = host.instantiate();
    ASSERT_NE(plugin, nullptr);
    ASSERT_TRUE(plugin->hasEditor());
    std::unique_ptr<juce::AudioProcessorEditor> editor(plugin->createEditorIfNeeded());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->getWidth(), 960);
    EXPECT_EQ(editor->getHeight(), 540);
    plugin->editorBeingDeleted(editor.get());
    editor.reset();
}

namespace
{
// The module's own program list, read the way a validator reads it: through
// the component's unit interface.
juce::StringArray programNamesOfTheModule()
{
    juce::StringArray names;
    const auto binary = juce::File(ORLIX_VST3_BUNDLE).getChildFile(moduleBinary);
    juce::DynamicLibrary module;
    if (!module.open(binary.getFullPathName()))
        return names;
    auto* entry = module.getFunction(moduleEntry);
    auto getFactory =
        reinterpret_cast<Steinberg::IPluginFactory* (*)()>(module.getFunction("GetPluginFactory"));
    if (entry != nullptr && getFactory != nullptr && enterModule(entry, module))
    {
        auto* factory = getFactory();
        const Steinberg::TUID componentIid = INLINE_UID(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
        const Steinberg::TUID unitInfoIid = INLINE_UID(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
        for (Steinberg::int32 i = 0; i < factory->countClasses(); ++i)
        {
            Steinberg::PClassInfo info;
            if (factory->getClassInfo(i, &info) != Steinberg::kResultOk ||
                juce::String(info.category) != kVstAudioEffectClass)
                continue;
            Steinberg::Vst::IComponent* component = nullptr;
            if (factory->createInstance(info.cid, componentIid, reinterpret_cast<void**>(&component)) !=
                Steinberg::kResultOk)
                continue;
            Steinberg::Vst::IUnitInfo* units = nullptr;
            if (component->queryInterface(unitInfoIid, reinterpret_cast<void**>(&units)) ==
                Steinberg::kResultOk)
            {
                for (Steinberg::int32 list = 0; list < units->getProgramListCount(); ++list)
                {
                    Steinberg::Vst::ProgramListInfo listInfo{};
                    units->getProgramListInfo(list, listInfo);
                    for (Steinberg::int32 k = 0; k < listInfo.programCount; ++k)
                    {
                        Steinberg::Vst::String128 name{};
                        units->getProgramName(listInfo.id, k, name);
                        names.add(juce::String(juce::CharPointer_UTF16(
                            reinterpret_cast<const juce::CharPointer_UTF16::CharType*>(name))));
                    }
                }
                units->release();
            }
            component->release();
        }
        factory->release();
    }
    if (auto exitModule = reinterpret_cast<bool (*)()>(module.getFunction(moduleExit)))
        exitModule();
    return names;
}
} // namespace

TEST(Vst3Host, TheOneProgramHasANameAndSwitchesReadBackExactlyWhatTheyHold)
{
    EXPECT_EQ(programNamesOfTheModule(), juce::StringArray("Default"));

    // A switch written by automation with any normalised value comes back from
    // a state restore as exactly on or off.
    testsupport::Vst3Host host;
    auto first = host.instantiate();
    auto second = host.instantiate();
    ASSERT_TRUE(first != nullptr && second != nullptr);
    const std::pair<int, float> writes[] = {
        {pAutoMakeup, 0.3f}, {pAutoRelease, 0.65f}, {pBypass, 0.5f}, {pDriveOn, 0.49f}};
    for (auto [index, written] : writes)
        first->getParameters()[index]->setValueNotifyingHost(written);
    juce::MemoryBlock state;
    first->getStateInformation(state);
    second->setStateInformation(state.getData(), (int)state.getSize());
    for (auto [index, written] : writes)
        EXPECT_EQ(second->getParameters()[index]->getValue(), written >= 0.5f ? 1.0f : 0.0f) << index;
}
