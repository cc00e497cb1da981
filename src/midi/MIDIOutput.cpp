#include "MIDIOutput.h"

#include "ShortMessage.h"

#include <algorithm>

MIDIOutput::MIDIOutput(MidiBackend& backend) : m_backend(backend) {}

MIDIOutput::~MIDIOutput() { Close(); }

void MIDIOutput::refreshNames() {
    m_names = m_backend.OutputNames();
    m_namesRead = true;
}

int16_t MIDIOutput::DeviceCount() {
    refreshNames();
    return static_cast<int16_t>(std::min<qsizetype>(m_names.size(), INT16_MAX));
}

QString MIDIOutput::ProductName() {
    if (m_deviceId == kDefaultDevice)
        return MidiBackend::DefaultOutputName();
    if (!m_namesRead)
        refreshNames();
    return m_deviceId >= 0 && m_deviceId < m_names.size() ? m_names.at(m_deviceId) : QString();
}

void MIDIOutput::Open() {
    Close();
    m_open = m_backend.OpenOutput(m_deviceId);
}

void MIDIOutput::Close() {
    if (!m_open)
        return;
    m_backend.CloseOutput();
    m_open = false;
}

void MIDIOutput::SendShort(int16_t status, int16_t data1, int16_t data2) {
    const int length = ShortMessageLength(status);
    if (!m_open || length == 0)
        return;
    const uint8_t bytes[MidiBytes::kShortMessageMax] = {
        static_cast<uint8_t>(status),
        static_cast<uint8_t>(data1 & MidiBytes::kDataMask),
        static_cast<uint8_t>(data2 & MidiBytes::kDataMask),
    };
    m_backend.Send(bytes, static_cast<std::size_t>(length));
}

void MIDIOutput::SendSysEx(const uint8_t* bytes, std::size_t size) {
    if (!m_open || size == 0)
        return;
    m_backend.Send(bytes, size);
}
