#pragma once

// A small LV2 host on the system's lilv: it finds the built bundle on LV2_PATH as a
// host does, gives the plug-in the features it asks for, sets parameters with
// patch:Set messages and saves and restores state through the state extension.

#include <juce_audio_basics/juce_audio_basics.h>

JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE("-Wparentheses", "-Wcast-align", "-Wsign-conversion", "-Wpedantic",
                                    "-Wzero-as-null-pointer-constant")
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testsupport
{

// URIs to numbers and back, shared by the host and every instance.
class UridMap
{
public:
    UridMap()
    {
        map.handle = this;
        map.map = [](LV2_URID_Map_Handle h, const char* uri)
        { return static_cast<UridMap*>(h)->toUrid(uri); };
        unmap.handle = this;
        unmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid)
        { return static_cast<UridMap*>(h)->toUri(urid); };
    }

    LV2_URID toUrid(const char* uri)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto found = ids.find(uri);
        if (found != ids.end())
            return found->second;
        uris.push_back(std::make_unique<std::string>(uri));
        return ids[uri] = (LV2_URID)uris.size();
    }

    const char* toUri(LV2_URID urid)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return urid >= 1 && urid <= uris.size() ? uris[urid - 1]->c_str() : nullptr;
    }

    LV2_URID_Map map{};
    LV2_URID_Unmap unmap{};

private:
    std::mutex mutex;
    std::map<std::string, LV2_URID> ids;
    std::vector<std::unique_ptr<std::string>> uris;
};

class Lv2Instance;

// The world with the bundle in it; `plugin` is null when it was not found.
class Lv2Host
{
public:
    static constexpr const char* pluginUri = "urn:halvane:orlix";

    // Looks only in the folder that holds the built bundle, so an installed copy in
    // ~/.lv2 cannot stand in for it.
    Lv2Host()
    {
        const auto folder = juce::File(ORLIX_LV2_BUNDLE).getParentDirectory().getFullPathName();
        setenv("LV2_PATH", folder.toRawUTF8(), 1);
        world = lilv_world_new();
        lilv_world_load_all(world);
        uriNode = lilv_new_uri(world, pluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uriNode);
        if (plugin != nullptr)
            lilv_plugin_get_num_ports(plugin); // reads the plug-in's own Turtle into the world
    }

    ~Lv2Host()
    {
        owned.clear(); // nodes belong to the world and go before it
        lilv_node_free(uriNode);
        lilv_world_free(world);
    }

    Lv2Host(const Lv2Host&) = delete;
    Lv2Host& operator=(const Lv2Host&) = delete;

    LilvNode* uri(const char* text) { return owned.emplace_back(lilv_new_uri(world, text)).get(); }

    // The values of subject's predicate, in no particular order.
    std::vector<const LilvNode*> values(const LilvNode* subject, const char* predicate)
    {
        auto* nodes = lilv_world_find_nodes(world, subject, uri(predicate), nullptr);
        std::vector<const LilvNode*> result;
        LILV_FOREACH(nodes, i, nodes)
        result.push_back(owned.emplace_back(lilv_node_duplicate(lilv_nodes_get(nodes, i))).get());
        lilv_nodes_free(nodes);
        return result;
    }

    const LilvNode* value(const LilvNode* subject, const char* predicate)
    {
        const auto all = values(subject, predicate);
        return all.empty() ? nullptr : all.front();
    }

    std::unique_ptr<Lv2Instance> instantiate(double rate, int maxBlock);

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    UridMap urids;

private:
    struct NodeFree
    {
        void operator()(LilvNode* n) const { lilv_node_free(n); }
    };
    LilvNode* uriNode = nullptr;
    std::vector<std::unique_ptr<LilvNode, NodeFree>> owned;
};

// One instance with its ports connected: stereo audio, the control atom ports, the
// latency output and the two designated control inputs.
class Lv2Instance
{
public:
    Lv2Instance(Lv2Host& h, double rate, int maxBlock) : host(h), blockLimit(maxBlock)
    {
        auto& u = host.urids;
        options = {{LV2_OPTIONS_INSTANCE, 0, u.toUrid(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                    u.toUrid(LV2_ATOM__Int), &blockLimit},
                   {LV2_OPTIONS_INSTANCE, 0, u.toUrid(LV2_PARAMETERS__sampleRate), sizeof(float),
                    u.toUrid(LV2_ATOM__Float), &sampleRate},
                   {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        sampleRate = (float)rate;
        mapFeature = {LV2_URID__map, &u.map};
        unmapFeature = {LV2_URID__unmap, &u.unmap};
        optionsFeature = {LV2_OPTIONS__options, options.data()};
        boundedFeature = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
        features = {&mapFeature, &unmapFeature, &optionsFeature, &boundedFeature, nullptr};
        lv2_atom_forge_init(&forge, &u.map);

        instance = lilv_plugin_instantiate(host.plugin, rate, features.data());
        if (instance == nullptr)
            return;
        audioIn.assign(2, std::vector<float>((size_t)maxBlock));
        audioOut.assign(2, std::vector<float>((size_t)maxBlock));
        atomIn.resize(64 * 1024 / sizeof(uint64_t));
        atomOut.resize(64 * 1024 / sizeof(uint64_t));
        connect("audio_in_1", audioIn[0].data());
        connect("audio_in_2", audioIn[1].data());
        connect("audio_out_1", audioOut[0].data());
        connect("audio_out_2", audioOut[1].data());
        connect("in", atomIn.data());
        connect("out", atomOut.data());
        connect("latency", &latency);
        connect("freeWheeling", &freeWheeling);
        connect("enabled", &enabled);
        lilv_instance_activate(instance);
        clearInput();
    }

    ~Lv2Instance()
    {
        if (instance != nullptr)
        {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }

    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool valid() const { return instance != nullptr; }

    // Queues a patch:Set for the next run, with the value in the parameter's own units.
    void setParameter(const juce::String& id, float plainValue)
    {
        pending.push_back({false, id, plainValue});
    }
    // Queues a patch:Get for the next run: of one parameter, or of all without an id.
    void askForValues(const juce::String& id = {}) { pending.push_back({true, id, 0.0f}); }

    // The patch:Set messages the plug-in sent since the last call: parameter id and value.
    std::vector<std::pair<juce::String, float>> takeReceived() { return std::exchange(received, {}); }

    // Runs the buffer through in blocks of at most the prepared size, in place.
    void process(juce::AudioBuffer<float>& audio, int block)
    {
        for (int start = 0; start < audio.getNumSamples(); start += block)
        {
            const int n = std::min(block, audio.getNumSamples() - start);
            for (int ch = 0; ch < 2; ++ch)
                std::copy_n(audio.getReadPointer(std::min(ch, audio.getNumChannels() - 1), start), n,
                            audioIn[(size_t)ch].data());
            writePendingEvents();
            auto* out = reinterpret_cast<LV2_Atom*>(atomOut.data());
            out->size = (uint32_t)(atomOut.size() * sizeof(uint64_t) - sizeof(LV2_Atom));
            out->type = host.urids.toUrid(LV2_ATOM__Chunk);
            lilv_instance_run(instance, (uint32_t)n);
            collectOutput();
            clearInput();
            for (int ch = 0; ch < audio.getNumChannels(); ++ch)
                audio.copyFrom(ch, start, audioOut[(size_t)ch].data(), n);
        }
    }

    LilvState* saveState()
    {
        return lilv_state_new_from_instance(host.plugin, instance, &host.urids.map, nullptr, nullptr, nullptr,
                                            nullptr, portValue, this, 0, features.data());
    }

    void restoreState(const LilvState* state)
    {
        lilv_state_restore(state, instance, nullptr, nullptr, 0, features.data());
    }

    float latency = -1.0f;
    float freeWheeling = 0.0f;
    float enabled = 1.0f;

private:
    void connect(const char* symbol, void* data)
    {
        auto* node = lilv_new_string(host.world, symbol);
        if (const auto* port = lilv_plugin_get_port_by_symbol(host.plugin, node))
            lilv_instance_connect_port(instance, lilv_port_get_index(host.plugin, port), data);
        lilv_node_free(node);
    }

    void clearInput()
    {
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atomIn.data());
        sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
        sequence->atom.type = host.urids.toUrid(LV2_ATOM__Sequence);
        sequence->body.unit = 0;
        sequence->body.pad = 0;
    }

    void writePendingEvents()
    {
        if (pending.empty())
            return;
        auto& u = host.urids;
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(atomIn.data()),
                                  atomIn.size() * sizeof(uint64_t));
        LV2_Atom_Forge_Frame sequenceFrame;
        lv2_atom_forge_sequence_head(&forge, &sequenceFrame, 0);
        for (const auto& event : pending)
        {
            lv2_atom_forge_frame_time(&forge, 0);
            LV2_Atom_Forge_Frame objectFrame;
            lv2_atom_forge_object(&forge, &objectFrame, 0,
                                  u.toUrid(event.get ? LV2_PATCH__Get : LV2_PATCH__Set));
            if (event.id.isNotEmpty())
            {
                lv2_atom_forge_key(&forge, u.toUrid(LV2_PATCH__property));
                lv2_atom_forge_urid(
                    &forge, u.toUrid((juce::String(Lv2Host::pluginUri) + ":" + event.id).toRawUTF8()));
            }
            if (!event.get)
            {
                lv2_atom_forge_key(&forge, u.toUrid(LV2_PATCH__value));
                lv2_atom_forge_float(&forge, event.value);
            }
            lv2_atom_forge_pop(&forge, &objectFrame);
        }
        lv2_atom_forge_pop(&forge, &sequenceFrame);
        pending.clear();
    }

    void collectOutput()
    {
        auto& u = host.urids;
        const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(atomOut.data());
        for (auto* event = lv2_atom_sequence_begin(&sequence->body);
             !lv2_atom_sequence_is_end(&sequence->body, sequence->atom.size, event);
             event = lv2_atom_sequence_next(event))
        {
            if (event->body.type != u.toUrid(LV2_ATOM__Object))
                continue;
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            if (object->body.otype != u.toUrid(LV2_PATCH__Set))
                continue;
            const LV2_Atom* property = nullptr;
            const LV2_Atom* value = nullptr;
            lv2_atom_object_get(object, u.toUrid(LV2_PATCH__property), &property, u.toUrid(LV2_PATCH__value),
                                &value, 0);
            if (property != nullptr && value != nullptr && property->type == u.toUrid(LV2_ATOM__URID) &&
                value->type == u.toUrid(LV2_ATOM__Float))
                received.emplace_back(
                    juce::String(u.toUri(reinterpret_cast<const LV2_Atom_URID*>(property)->body))
                        .fromLastOccurrenceOf(":", false, false),
                    reinterpret_cast<const LV2_Atom_Float*>(value)->body);
        }
    }

    // What lilv stores for the plug-in's control input ports alongside its own state.
    static const void* portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type)
    {
        auto* me = static_cast<Lv2Instance*>(self);
        const float* value = std::string(symbol) == "enabled" ? &me->enabled : &me->freeWheeling;
        *size = sizeof(float);
        *type = me->host.urids.toUrid(LV2_ATOM__Float);
        return value;
    }

    Lv2Host& host;
    int32_t blockLimit;
    float sampleRate = 48000.0f;
    std::vector<LV2_Options_Option> options;
    LV2_Feature mapFeature{}, unmapFeature{}, optionsFeature{}, boundedFeature{};
    std::vector<const LV2_Feature*> features;
    LV2_Atom_Forge forge{};
    LilvInstance* instance = nullptr;
    std::vector<std::vector<float>> audioIn, audioOut;
    std::vector<uint64_t> atomIn, atomOut; // 64-bit words keep atoms aligned
    struct PendingEvent
    {
        bool get;
        juce::String id;
        float value;
    };
    std::vector<PendingEvent> pending;
    std::vector<std::pair<juce::String, float>> received;
};

inline std::unique_ptr<Lv2Instance> Lv2Host::instantiate(double rate, int maxBlock)
{
    if (plugin == nullptr)
        return nullptr;
    auto instance = std::make_unique<Lv2Instance>(*this, rate, maxBlock);
    return instance->valid() ? std::move(instance) : nullptr;
}

} // namespace testsupport
