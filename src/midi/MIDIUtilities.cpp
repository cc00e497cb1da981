#include "MIDIUtilities.h"

#include "MidiPorts.h"
#include "ShortMessage.h"

#include <algorithm>

void MIDIUtilities::AttachMidiWindow(MidiPorts& window) {
    m_ports = &window;
    QObject::disconnect(m_devicesConnection);
    m_devicesConnection = QObject::connect(&window.Devices, &DeviceWatch::changed, &m_context,
                                           [this] { devicesChanged(); });
}

void MIDIUtilities::open(MidiPort& port, Choice& choice, const QString& productName) {
    // With several devices of one name the last one wins.
    port.selectDevice(productName, MidiPort::NameMatch::LastWins);
    port.open();
    choice = {productName, port.ProductName(), true};
}

void MIDIUtilities::OpenMidiOut(const QString& productName) {
    if (m_ports)
        open(m_ports->MIDIOutput1, m_out, productName);
}

void MIDIUtilities::OpenMidiIn(const QString& productName) {
    if (m_ports)
        open(m_ports->MIDIInput1, m_in, productName);
}

void MIDIUtilities::CloseMidiOut() {
    m_out.Following = false;
    if (m_ports)
        m_ports->MIDIOutput1.close();
}

void MIDIUtilities::CloseMidiIn() {
    m_in.Following = false;
    if (m_ports)
        m_ports->MIDIInput1.close();
}

// A device came or went: a port opened by a name looks for it again. It is opened anew
// only when the name now leads to another device, the last open failed or the
// connection went with a device that left (one of the same name may be back by the
// time this runs), so that a device that merely moved in the list keeps its
// connection and nothing sent to it meanwhile is lost; the selection moves with it.
void MIDIUtilities::follow(MidiPort& port, Choice& choice, bool (DeviceWatch::*connected)()) {
    // A port opened by no name had no device to choose (an input, when the program came
    // up without one): the device that comes later is none the user chose.
    if (!choice.Following || choice.Wanted.isEmpty())
        return;
    port.selectDevice(choice.Wanted, MidiPort::NameMatch::LastWins);
    if (port.ProductName() != choice.Opened || !port.isOpen() ||
        !(m_ports->Devices.*connected)()) {
        port.open();
        choice.Opened = port.ProductName();
    }
}

void MIDIUtilities::devicesChanged() {
    if (!m_ports)
        return;
    follow(m_ports->MIDIOutput1, m_out, &DeviceWatch::outputConnected);
    follow(m_ports->MIDIInput1, m_in, &DeviceWatch::inputConnected);
}

void MIDIUtilities::PlayNoteOn(int16_t channel, int16_t note, int16_t velocity) {
    if (m_ports)
        m_ports->MIDIOutput1.sendShort(MidiBytes::kNoteOn + channel - 1, note, velocity);
}

void MIDIUtilities::PlayPatchNoteOn(int16_t channel, int16_t note, int16_t velocity) {
    if (m_ports)
        m_ports->MIDIOutput1.sendShort(MidiBytes::kNoteOn + channel - 1, note, velocity,
                                       OutputKind::PatchNote);
}

void MIDIUtilities::PlayNoteOff(int16_t channel, int16_t note) {
    if (m_ports)
        m_ports->MIDIOutput1.sendShort(MidiBytes::kNoteOn + channel - 1, note, 0);
}

void MIDIUtilities::SendProgramChange(int16_t channel, int16_t program) {
    if (m_ports)
        m_ports->MIDIOutput1.sendShort(MidiBytes::kProgramChange + channel - 1, program, 0,
                                       OutputKind::PatchProgram);
}

void MIDIUtilities::SendSysEx(const SysExMessage& message) {
    if (m_ports)
        m_ports->MIDIOutput1.SendSysEx(message.data(), std::min(message.size(), message.Bytes.size()));
}
