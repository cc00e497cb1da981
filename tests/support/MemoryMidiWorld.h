#pragma once

#include "midi/MidiWorld.h"
#include "support/MemoryMidiBackend.h"

#include <memory>

// A MIDI world on the in-memory system, with that system at hand.
class MemoryMidiWorld : public MidiWorld {
public:
    explicit MemoryMidiWorld(QStringList inputs = {}, QStringList outputs = {})
        : MidiWorld(std::make_unique<MemoryMidiBackend>(std::move(inputs), std::move(outputs))) {}

    MemoryMidiBackend& memory() const { return static_cast<MemoryMidiBackend&>(system()); }
};
