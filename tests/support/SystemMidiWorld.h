#pragma once

#include "midi/MidiWorld.h"

#include <memory>

// A MIDI world on a real MIDI system (JACK or the ALSA sequencer), with that system at
// hand for what only it can tell; empty when the system could not be reached.
template <class System>
struct SystemMidiWorld {
    explicit SystemMidiWorld(std::unique_ptr<System> opened) {
        if (!opened)
            return;
        backend = opened.get();
        world = std::make_unique<MidiWorld>(std::move(opened));
        ports = &world->ports();
        midi = &world->midi();
    }

    System* backend = nullptr; // null when the system could not be reached
    std::unique_ptr<MidiWorld> world;
    MidiPorts* ports = nullptr;
    MIDIUtilities* midi = nullptr;
};
