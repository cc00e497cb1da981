#include "MIDIUtilities.h"

#include "MidiPorts.h"
#include "ShortMessage.h"

#include <algorithm>

void MIDIUtilities::AttachMidiWindow(MidiPorts& window) { m_ports = &window; }

void MIDIUtilities::OpenMidiOut(const QString& productName) {
    if (!m_ports)
        return;
    MIDIOutput& out = m_ports->MIDIOutput1;
    int16_t found = MIDIOutput::kDefaultDevice;
    const int16_t count = out.DeviceCount();
    // No stop at a match: with several devices of one name the last one wins.
    for (int16_t id = MIDIOutput::kDefaultDevice; id < count; ++id) {
        out.SetDeviceID(id);
        if (out.ProductName() == productName)
            found = id;
    }
    out.SetDeviceID(found);
    out.Open();
}

void MIDIUtilities::OpenMidiIn(const QString& productName) {
    if (!m_ports)
        return;
    MIDIInput& in = m_ports->MIDIInput1;
    int16_t found = 0;
    const int16_t count = in.DeviceCount();
    for (int16_t id = 0; id < count; ++id) {
        in.SetDeviceID(id);
        if (in.ProductName() == productName)
            found = id;
    }
    in.SetDeviceID(found);
    in.Open();
}

void MIDIUtilities::CloseMidiOut() {
    if (m_ports)
        m_ports->MIDIOutput1.Close();
}

void MIDIUtilities::CloseMidiIn() {
    if (m_ports)
        m_ports->MIDIInput1.Close();
}

void MIDIUtilities::PlayNoteOn(int16_t channel, int16_t note, int16_t velocity) {
    if (m_ports)
        m_ports->MIDIOutput1.SendShort(MidiBytes::kNoteOn + channel - 1, note, velocity);
}

void MIDIUtilities::PlayNoteOff(int16_t channel, int16_t note) {
    if (m_ports)
        m_ports->MIDIOutput1.SendShort(MidiBytes::kNoteOn + channel - 1, note, 0);
}

void MIDIUtilities::SendProgramChange(int16_t channel, int16_t program) {
    if (m_ports)
        m_ports->MIDIOutput1.SendShort(MidiBytes::kProgramChange + channel - 1, program, 0,
                                       OutputKind::PatchProgram);
}

void MIDIUtilities::SendSysEx(const SysExMessage& message) {
    if (m_ports)
        m_ports->MIDIOutput1.SendSysEx(message.data(), std::min(message.size(), message.Bytes.size()));
}
