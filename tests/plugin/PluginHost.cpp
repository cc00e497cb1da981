#include "PluginHost.h"

#include "core/PluginInterface.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

// Allocations are counted while the plugin runs: operator new everywhere, and malloc
// where no sanitizer owns it.
namespace {
std::atomic<bool> g_inRun{false};
std::atomic<uint64_t> g_runAllocations{0};
void noteAllocation() {
    if (g_inRun.load(std::memory_order_relaxed)) ++g_runAllocations;
}
constexpr std::size_t kBufferBytes = 64 * 1024;
} // namespace

#pragma GCC diagnostic ignored "-Wmismatched-new-delete" // new is malloc here
void* operator new(std::size_t size) {
    noteAllocation();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// The nothrow forms too, or a sanitizer's would allocate what these free.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUENLOR_SANITIZED 1
#endif
#endif
#if !defined(QUENLOR_SANITIZED) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t n, std::size_t size) {
    noteAllocation();
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
#endif

uint64_t PluginHost::allocationsInRun() { return g_runAllocations.load(); }

LV2_URID PluginHost::map(LV2_URID_Map_Handle handle, const char* uri) {
    auto* self = static_cast<PluginHost*>(handle);
    for (std::size_t i = 1; i < self->m_uris.size(); ++i)
        if (self->m_uris[i] == uri) return LV2_URID(i);
    self->m_uris.emplace_back(uri);
    return LV2_URID(self->m_uris.size() - 1);
}

const char* PluginHost::unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    auto* self = static_cast<PluginHost*>(handle);
    return urid > 0 && urid < self->m_uris.size() ? self->m_uris[urid].c_str() : nullptr;
}

PluginHost::PluginHost(double rate, const std::vector<std::string>& bundles) : m_rate(rate) {
    m_world = lilv_world_new();
    for (const std::string& folder : bundles) {
        LilvNode* uri = lilv_new_file_uri(m_world, nullptr, (folder + "/").c_str());
        lilv_world_load_bundle(m_world, uri);
        lilv_node_free(uri);
    }
    LilvNode* uri = lilv_new_uri(m_world, PluginInterface::kUri);
    m_plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(m_world), uri);
    lilv_node_free(uri);
    if (!m_plugin) return;

    m_map = {this, &PluginHost::map};
    m_unmap = {this, &PluginHost::unmap};
    m_mapFeature = {LV2_URID__map, &m_map};
    m_unmapFeature = {LV2_URID__unmap, &m_unmap};
    const LV2_Feature* features[] = {&m_mapFeature, &m_unmapFeature, nullptr};
    m_instance = lilv_plugin_instantiate(m_plugin, rate, features);
    if (!m_instance) return;

    const uint32_t ports = lilv_plugin_get_num_ports(m_plugin);
    m_controls.assign(ports, 0.0f);
    std::vector<float> defaults(ports);
    lilv_plugin_get_port_ranges_float(m_plugin, nullptr, nullptr, defaults.data());
    m_inBuffer.assign(kBufferBytes / sizeof(uint64_t), 0);
    m_outBuffer.assign(kBufferBytes / sizeof(uint64_t), 0);
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(m_plugin, i);
        m_ports[lilv_node_as_string(lilv_port_get_symbol(m_plugin, port))] = i;
        if (i == PluginInterface::kMidiIn) {
            lilv_instance_connect_port(m_instance, i, m_inBuffer.data());
        } else if (i == PluginInterface::kMidiOut) {
            lilv_instance_connect_port(m_instance, i, m_outBuffer.data());
        } else {
            m_controls[i] = defaults[i];
            lilv_instance_connect_port(m_instance, i, &m_controls[i]);
        }
    }
    lilv_instance_activate(m_instance);
}

PluginHost::~PluginHost() {
    if (m_instance) {
        lilv_instance_deactivate(m_instance);
        lilv_instance_free(m_instance);
    }
    lilv_world_free(m_world);
}

void PluginHost::setControl(const std::string& symbol, float value) {
    m_controls.at(m_ports.at(symbol)) = value;
}

float PluginHost::control(const std::string& symbol) const { return m_controls.at(m_ports.at(symbol)); }

void PluginHost::feed(uint32_t frame, std::vector<uint8_t> bytes) {
    m_pending.emplace_back(frame, std::move(bytes));
}

void PluginHost::run(uint32_t frames) {
    // The track's events, as a host writes them into the input sequence.
    auto* in = reinterpret_cast<LV2_Atom_Sequence*>(m_inBuffer.data());
    in->atom.type = map(this, LV2_ATOM__Sequence);
    in->atom.size = sizeof(LV2_Atom_Sequence_Body);
    in->body.unit = 0;
    in->body.pad = 0;
    const LV2_URID midiEvent = map(this, LV2_MIDI__MidiEvent);
    for (const auto& [frame, bytes] : m_pending) {
        auto* event = reinterpret_cast<LV2_Atom_Event*>(
            reinterpret_cast<uint8_t*>(&in->body) + in->atom.size);
        event->time.frames = frame;
        event->body.type = midiEvent;
        event->body.size = uint32_t(bytes.size());
        std::memcpy(event + 1, bytes.data(), bytes.size());
        in->atom.size += uint32_t(sizeof(LV2_Atom_Event) + lv2_atom_pad_size(uint32_t(bytes.size())));
    }
    m_pending.clear();
    auto* out = reinterpret_cast<LV2_Atom_Sequence*>(m_outBuffer.data());
    out->atom.type = 0;
    out->atom.size = uint32_t(kBufferBytes - sizeof(LV2_Atom));

    g_inRun = true;
    lilv_instance_run(m_instance, frames);
    g_inRun = false;

    LV2_ATOM_SEQUENCE_FOREACH(out, event) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(event + 1);
        if (event->body.type == midiEvent)
            m_events.push_back({m_frame + uint64_t(event->time.frames),
                                std::vector<uint8_t>(bytes, bytes + event->body.size)});
    }
    m_frame += frames;
}

void PluginHost::setPortValue(const char* symbol, void* handle, const void* value, uint32_t size,
                              uint32_t) {
    auto* self = static_cast<PluginHost*>(handle);
    const auto port = self->m_ports.find(symbol);
    if (port != self->m_ports.end() && size == sizeof(float))
        self->m_controls[port->second] = *static_cast<const float*>(value);
}

void PluginHost::restore(LilvState* state) {
    lilv_state_restore(state, m_instance, &PluginHost::setPortValue, this, 0, nullptr);
    lilv_state_free(state);
}

bool PluginHost::applyPreset(const std::string& uri) {
    LilvNode* node = lilv_new_uri(m_world, uri.c_str());
    lilv_world_load_resource(m_world, node);
    LilvState* state = lilv_state_new_from_world(m_world, &m_map, node);
    lilv_node_free(node);
    if (!state) return false;
    restore(state);
    return true;
}

bool PluginHost::restoreState(const std::string& turtle) {
    LilvState* state = lilv_state_new_from_string(m_world, &m_map, turtle.c_str());
    if (!state) return false;
    restore(state);
    return true;
}

namespace {
const void* portValue(const char* symbol, void* handle, uint32_t* size, uint32_t* type) {
    auto* host = static_cast<std::pair<PluginHost*, LV2_URID>*>(handle);
    static float value;
    value = host->first->control(symbol);
    *size = sizeof value;
    *type = host->second;
    return &value;
}
} // namespace

std::string PluginHost::saveState() {
    std::pair<PluginHost*, LV2_URID> handle{this, map(this, LV2_ATOM__Float)};
    LilvState* state = lilv_state_new_from_instance(
        m_plugin, m_instance, &m_map, nullptr, nullptr, nullptr, nullptr, &portValue, &handle,
        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
    if (!state) return {};
    char* text = lilv_state_to_string(m_world, &m_map, &m_unmap, state,
                                      "urn:quenlor:test-state", nullptr);
    std::string turtle = text ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return turtle;
}
