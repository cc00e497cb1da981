// The LV2 plugin: the host's ports and state around a PatchStream. Everything the host
// calls from its audio thread (connect_port, run) only reads and writes memory the
// instance owns.
#include "PatchStream.h"
#include "core/PluginInterface.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {
namespace Ports = PluginInterface;

struct Uris {
    LV2_URID atomSequence;
    LV2_URID atomString;
    LV2_URID midiEvent;
    LV2_URID name;
};

// The output port's sequence, filled with the atom forge.
class ForgeSink : public EventSink {
public:
    explicit ForgeSink(LV2_Atom_Forge& forge, LV2_URID midiEvent)
        : m_forge(forge), m_midiEvent(midiEvent) {}
    bool write(uint32_t frame, const uint8_t* bytes, std::size_t size) override {
        // Room for the whole event is checked first, so that no half-written event is
        // left in the sequence.
        const uint32_t needed = uint32_t(sizeof(LV2_Atom_Event) + lv2_atom_pad_size(uint32_t(size)));
        if (m_forge.offset + needed > m_forge.size) return false;
        if (!lv2_atom_forge_frame_time(&m_forge, frame)) return false;
        if (!lv2_atom_forge_atom(&m_forge, uint32_t(size), m_midiEvent)) return false;
        return lv2_atom_forge_write(&m_forge, bytes, uint32_t(size)) != 0; // pads the event
    }

private:
    LV2_Atom_Forge& m_forge;
    LV2_URID m_midiEvent;
};

class HeldSink : public EventSink {
public:
    bool write(uint32_t, const uint8_t*, std::size_t) override { return false; }
};

struct Bit01 {
    explicit Bit01(uint32_t rate) : stream(rate) {}
    PatchStream stream;
    Uris uris{};
    LV2_Atom_Forge forge{};
    const LV2_Atom_Sequence* midiIn = nullptr;
    LV2_Atom_Sequence* midiOut = nullptr;
    const float* controls[Ports::kPortCount] = {};
    char name[Ports::kNameCapacity + 1] = {};
};

int16_t controlValue(const float* port, int16_t fallback) {
    if (!port || !std::isfinite(*port)) return fallback;
    const float v = std::nearbyint(*port);
    if (v < -32768.0f) return -32768;
    if (v > 32767.0f) return 32767;
    return int16_t(v);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    LV2_URID_Map* map = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<LV2_URID_Map*>(features[i]->data);
    if (!map || !(rate >= 1.0) || rate > 1'000'000.0) return nullptr;
    auto* self = new (std::nothrow) Bit01(uint32_t(std::lround(rate)));
    if (!self) return nullptr;
    self->uris.atomSequence = map->map(map->handle, LV2_ATOM__Sequence);
    self->uris.atomString = map->map(map->handle, LV2_ATOM__String);
    self->uris.midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    self->uris.name = map->map(map->handle, Ports::kNameKey);
    lv2_atom_forge_init(&self->forge, map);
    return self;
}

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    auto* self = static_cast<Bit01*>(instance);
    if (port == Ports::kMidiIn)
        self->midiIn = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == Ports::kMidiOut)
        self->midiOut = static_cast<LV2_Atom_Sequence*>(data);
    else if (port < Ports::kPortCount)
        self->controls[port] = static_cast<const float*>(data);
}

void activate(LV2_Handle) {}

void run(LV2_Handle instance, uint32_t frames) {
    auto* self = static_cast<Bit01*>(instance);
    PatchStream::Settings settings;
    const PatchValues blank = PatchTransmission::blankPatch();
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        settings.Values[std::size_t(p)] =
            controlValue(self->controls[Ports::parameterPort(p)], blank[std::size_t(p)]);
    settings.Channel = controlValue(self->controls[Ports::kChannelPort], Ports::kDefaultChannel);
    settings.Bit99 = controlValue(self->controls[Ports::kBit99Port], 0) == 1;
    settings.PauseMs = controlValue(self->controls[Ports::kPausePort], 0);
    self->stream.begin(settings);

    if (self->midiIn) {
        LV2_ATOM_SEQUENCE_FOREACH(self->midiIn, event) {
            if (event->body.type != self->uris.midiEvent) continue;
            const int64_t frame = event->time.frames;
            const uint32_t at = frame < 0 ? 0 : frame >= int64_t(frames) ? frames - 1 : uint32_t(frame);
            self->stream.input(at, reinterpret_cast<const uint8_t*>(event + 1), event->body.size);
        }
    }

    // Without an output buffer to write to, every message waits for the next block.
    HeldSink held;
    if (!self->midiOut) {
        self->stream.run(frames, held);
        return;
    }
    const uint32_t capacity = self->midiOut->atom.size;
    lv2_atom_forge_set_buffer(&self->forge, reinterpret_cast<uint8_t*>(self->midiOut), capacity);
    LV2_Atom_Forge_Frame sequence;
    if (!lv2_atom_forge_sequence_head(&self->forge, &sequence, 0)) {
        self->stream.run(frames, held);
        return;
    }
    ForgeSink sink(self->forge, self->uris.midiEvent);
    self->stream.run(frames, sink);
    lv2_atom_forge_pop(&self->forge, &sequence);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle instance) { delete static_cast<Bit01*>(instance); }

LV2_State_Status save(LV2_Handle instance, LV2_State_Store_Function store,
                      LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
    auto* self = static_cast<Bit01*>(instance);
    return store(handle, self->uris.name, self->name, std::strlen(self->name) + 1,
                 self->uris.atomString, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// Restoring a project or a preset: the name as saved, and the patch sent again at the
// next block, so that the instrument sounds as the song was saved.
LV2_State_Status restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
    auto* self = static_cast<Bit01*>(instance);
    std::size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* value = retrieve(handle, self->uris.name, &size, &type, &flags);
    if (value && type == self->uris.atomString) {
        const auto* text = static_cast<const char*>(value);
        const std::size_t length = std::min(strnlen(text, size), Ports::kNameCapacity);
        std::memcpy(self->name, text, length);
        self->name[length] = '\0';
    }
    self->stream.recall();
    return LV2_STATE_SUCCESS;
}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface state = {save, restore};
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {
    PluginInterface::kUri, instantiate, connectPort, activate, run, deactivate, cleanup,
    extensionData,
};
} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
