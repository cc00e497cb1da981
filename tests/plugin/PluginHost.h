#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The plugin as a host runs it, through lilv: one instance at a sample rate, its
// controls set by symbol, MIDI fed in and read out with the frames they came at,
// counted from the first block.
class PluginHost {
public:
    struct Event {
        uint64_t Frame;
        std::vector<uint8_t> Bytes;
    };

    // Loads the bundle in `bundleFolder` (and any preset bundle given) into a world of
    // its own.
    explicit PluginHost(double rate, const std::vector<std::string>& bundles = {});
    ~PluginHost();
    bool ok() const { return m_instance != nullptr; }

    void setControl(const std::string& symbol, float value);
    float control(const std::string& symbol) const;
    // A message of the track at a frame of the next block.
    void feed(uint32_t frame, std::vector<uint8_t> bytes);
    // Runs one block; its output goes to events().
    void run(uint32_t frames);
    const std::vector<Event>& events() const { return m_events; }
    void clearEvents() { m_events.clear(); }

    // Restores a state (a preset's URI, or a saved state as Turtle) into the instance,
    // as a host does when it loads a project or applies a preset; the ports follow.
    bool applyPreset(const std::string& uri);
    bool restoreState(const std::string& turtle);
    // The instance's state as a host saves it with a project, as Turtle.
    std::string saveState();

    // Operator new and malloc calls while run() ran, since the host was made.
    static uint64_t allocationsInRun();

private:
    void restore(LilvState* state);
    static void setPortValue(const char* symbol, void* self, const void* value, uint32_t size,
                             uint32_t type);
    static LV2_URID map(LV2_URID_Map_Handle self, const char* uri);
    static const char* unmap(LV2_URID_Unmap_Handle self, LV2_URID urid);

    LilvWorld* m_world = nullptr;
    const LilvPlugin* m_plugin = nullptr;
    LilvInstance* m_instance = nullptr;
    std::vector<std::string> m_uris{""};
    LV2_URID_Map m_map{};
    LV2_URID_Unmap m_unmap{};
    LV2_Feature m_mapFeature{};
    LV2_Feature m_unmapFeature{};
    std::vector<float> m_controls;
    std::map<std::string, uint32_t> m_ports;
    std::vector<uint64_t> m_inBuffer;
    std::vector<uint64_t> m_outBuffer;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> m_pending;
    std::vector<Event> m_events;
    uint64_t m_frame = 0;
    double m_rate;
};
