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

// Selects the device of that name, the default output when there is none. No stop at
// a match: with several devices of one name the last one wins.
void MIDIUtilities::selectOutput(const QString& productName) {
    MIDIOutput& out = m_ports->MIDIOutput1;
    int16_t found = MIDIOutput::kDefaultDevice;
    const int16_t count = out.DeviceCount();
    for (int16_t id = MIDIOutput::kDefaultDevice; id < count; ++id) {
        out.SetDeviceID(id);
        if (out.ProductName() == productName)
            found = id;
    }
    out.SetDeviceID(found);
}

void MIDIUtilities::selectInput(const QString& productName) {
    MIDIInput& in = m_ports->MIDIInput1;
    int16_t found = 0;
    const int16_t count = in.DeviceCount();
    for (int16_t id = 0; id < count; ++id) {
        in.SetDeviceID(id);
        if (in.ProductName() == productName)
            found = id;
    }
    in.SetDeviceID(found);
}

void MIDIUtilities::OpenMidiOut(const QString& productName) {
    if (!m_ports)
        return;
    selectOutput(productName);
    m_ports->MIDIOutput1.Open();
    m_out = {productName, m_ports->MIDIOutput1.ProductName(), true};
}

void MIDIUtilities::OpenMidiIn(const QString& productName) {
    if (!m_ports)
        return;
    selectInput(productName);
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
        selectOutput(m_out.Wanted);
        if (out.ProductName() != m_out.Opened || !out.IsOpen() ||
            !m_ports->Devices.OutputConnected()) {
            out.Open();
            m_out.Opened = out.ProductName();
        }
    }
    if (m_in.Following) {
        MIDIInput& in = m_ports->MIDIInput1;
        selectInput(m_in.Wanted);
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
