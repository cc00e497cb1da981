#pragma once

#include "core/MidiSink.h"

#include <QObject>
#include <QString>

#include <cstdint>

class DeviceWatch;
class MidiPort;
class MidiPorts;

// The program's operations on the MIDI ports: open a device by its product name,
// close, and send notes, Program Changes and patch dumps. Does nothing until the
// main window's ports are attached.
class MIDIUtilities : public MidiSink {
public:
    void AttachMidiWindow(MidiPorts& window);

    // Opens the device of that name; with several of one name the last one. A name
    // that no device carries opens the default: output -1, input 0. From then until
    // the port is closed it follows the name as devices come and go: it switches to a
    // device of that name when one appears and back to the default when it goes. An
    // empty name follows nothing.
    void OpenMidiOut(const QString& productName);
    void OpenMidiIn(const QString& productName);
    void CloseMidiOut();
    void CloseMidiIn();

    void PlayNoteOn(int16_t channel, int16_t note, int16_t velocity) override;
    void PlayPatchNoteOn(int16_t channel, int16_t note, int16_t velocity) override;
    // A Note On with velocity 0.
    void PlayNoteOff(int16_t channel, int16_t note) override;
    // The Program Change that ends a patch transmission (SendPatch sends it after the
    // dump): a newer patch may replace both while they wait for the cable.
    void SendProgramChange(int16_t channel, int16_t program) override;
    void SendSysEx(const SysExMessage& message) override;

private:
    // The name a port was opened by, and the name of the device it opened.
    struct Choice {
        QString Wanted;
        QString Opened;
        bool Following = false;
    };

    void open(MidiPort& port, Choice& choice, const QString& productName);
    // `connected` says whether the port's open connection still stands.
    void follow(MidiPort& port, Choice& choice, bool (DeviceWatch::*connected)());
    void devicesChanged();

    MidiPorts* m_ports = nullptr;
    Choice m_out;
    Choice m_in;
    QObject m_context; // ends the connection to the device news with this object
    QMetaObject::Connection m_devicesConnection;
};
