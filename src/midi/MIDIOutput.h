#pragma once

#include "MidiBackend.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

// The program's MIDI output port: selects and opens one output device, -1 being the
// program's own virtual output, and sends short and System Exclusive messages to it.
class MIDIOutput {
public:
    explicit MIDIOutput(MidiBackend& backend);
    ~MIDIOutput();
    MIDIOutput(const MIDIOutput&) = delete;
    MIDIOutput& operator=(const MIDIOutput&) = delete;

    static constexpr int16_t kDefaultDevice = -1;

    // The number of output devices besides the default one, read afresh from the
    // MIDI system: devices are numbered -1..DeviceCount()-1.
    int16_t DeviceCount();
    int16_t DeviceID() const { return m_deviceId; }
    void SetDeviceID(int16_t id) { m_deviceId = id; }
    // The product name of the selected device; empty when there is no such device.
    QString ProductName();

    // Opens the selected device (closing whatever was open).
    void Open();
    void Close();
    bool IsOpen() const { return m_open; }

    // Sends a short message with as many bytes as its status byte calls for; data
    // bytes are cut to 7 bits. A status that starts no short message sends nothing.
    void SendShort(int16_t status, int16_t data1, int16_t data2);
    // Sends a System Exclusive message, F0 through F7, as one message.
    void SendSysEx(const uint8_t* bytes, std::size_t size);

private:
    void refreshNames();

    MidiBackend& m_backend;
    QStringList m_names;
    bool m_namesRead = false;
    int16_t m_deviceId = kDefaultDevice;
    bool m_open = false;
};
