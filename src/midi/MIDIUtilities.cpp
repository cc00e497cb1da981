#include "MIDIUtilities.h"

#include "MidiPorts.h"
#include "ShortMessage.h"

#include <algorithm>

void MIDIUtilities::AttachMidiWindow(MidiPorts& window) {
    m_ports = &window;
    QObject::disconnect(m_devicesConnection);
    m_devicesConnection = QObject::connect(&window.Devices, &DeviceWatch::Changed, &m_context,
                                           [this] { devicesChanged(); });
}

namespace {
// Selects the device of that name; with several devices of one name the last one, and
// with none the default: output -1, input 0.
void selectByName(MidiPort& port, const QString& productName, int16_t defaultId) {
    port.SetDeviceID(port.FindDevice(productName, MidiPort::NameMatch::LastWins).value_or(defaultId));
}
} // namespace

void MIDIUtilities::OpenMidiOut(const QString& productName) {
    if (!m_ports)
        return;
    selectByName(m_ports->MIDIOutput1, productName, MIDIOutput::kDefaultDevice);
    m_ports->MIDIOutput1.Open();
    m_out = {productName, m_ports->MIDIOutput1.ProductName(), true};
}

void MIDIUtilities::OpenMidiIn(const QString& productName) {
    if (!m_ports)
        return;
    selectByName(m_ports->MIDIInput1, productName, MIDIInput::kDefaultDevice);
    m_ports->MIDIInput1.Open();
    m_in = {productName, m_ports->MIDIInput1.ProductName(), true};
}

void MIDIUtilities::CloseMidiOut() {
    m_out.Following = false;
    if (m_ports)
        m_ports->MIDIOutput1.Close();
}

void MIDIUtilities::CloseMidiIn() {
    m_in.Following = false;
    if (m_ports)
        m_ports->MIDIInput1.Close();
}

// A device came or went: each port opened by a name looks for it again. It is opened
// anew only when the name now leads to another device, the last open failed or the
// connection went with a device that left (one of the same name may be back by the
// time this runs), so that a device that merely moved in the list keeps its
// connection and nothing sent to it meanwhile is lost; the selection moves with it.
void MIDIUtilities::devicesChanged() {
    if (!m_ports)
        return;
    if (m_out.Following) {
        MIDIOutput& out = m_ports->MIDIOutput1;
        selectByName(out, m_out.Wanted, MIDIOutput::kDefaultDevice);
        if (out.ProductName() != m_out.Opened || !out.IsOpen() ||
            !m_ports->Devices.OutputConnected()) {
            out.Open();
            m_out.Opened = out.ProductName();
        }
    }
    if (m_in.Following) {
        MIDIInput& in = m_ports->MIDIInput1;
        selectByName(in, m_in.Wanted, MIDIInput::kDefaultDevice);
        if (in.ProductName() != m_in.Opened || !in.IsOpen() ||
            !m_ports->Devices.InputConnected()) {
            in.Open();
            m_in.Opened = in.ProductName();
        }
    }
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
