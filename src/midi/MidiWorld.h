#pragma once

#include "MIDIUtilities.h"
#include "MidiBackend.h"
#include "MidiPorts.h"

#include <memory>

// One MIDI system with the program's two ports on it and the operations the program
// sends through, wired together: what the main window, the companion, the benchmarks
// and the tests each need, made in one line. The ports close before the system goes.
class MidiWorld {
public:
    // `system` must not be null.
    explicit MidiWorld(std::unique_ptr<MidiBackend> system)
        : m_system(std::move(system)), m_ports(*m_system) {
        m_midi.AttachMidiWindow(m_ports);
    }
    MidiWorld(const MidiWorld&) = delete;
    MidiWorld& operator=(const MidiWorld&) = delete;

    MidiBackend& system() const { return *m_system; }
    MidiPorts& ports() { return m_ports; }
    MIDIUtilities& midi() { return m_midi; }

private:
    std::unique_ptr<MidiBackend> m_system;
    MidiPorts m_ports;
    MIDIUtilities m_midi;
};
