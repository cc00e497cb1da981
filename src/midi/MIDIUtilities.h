#pragma once

#include "core/MidiSink.h"

#include <QString>

#include <cstdint>

class MidiPorts;

// The program's operations on the MIDI ports: open a device by its product name,
// close, and send notes, Program Changes and patch dumps. Does nothing until the
// main window's ports are attached.
class MIDIUtilities : public MidiSink {
public:
    void AttachMidiWindow(MidiPorts& window);

    // Opens the device of that name; with several of one name the last one. A name
    // that no device carries opens the default: output -1, input 0.
    void OpenMidiOut(const QString& productName);
    void OpenMidiIn(const QString& productName);
    void CloseMidiOut();
    void CloseMidiIn();

    void PlayNoteOn(int16_t channel, int16_t note, int16_t velocity) override;
    // A Note On with velocity 0.
    void PlayNoteOff(int16_t channel, int16_t note) override;
    // The Program Change that ends a patch transmission (SendPatch sends it after the
    // dump): a newer patch may replace both while they wait for the cable.
    void SendProgramChange(int16_t channel, int16_t program) override;
    void SendSysEx(const SysExMessage& message) override;

private:
    MidiPorts* m_ports = nullptr;
};
