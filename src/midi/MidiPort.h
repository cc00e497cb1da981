#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What the input and the output port share: the devices of one direction by product
// name, as last read from the MIDI system, the one selected, and whether it is open.
// Device numbers start at -1: the program's own port alone, its virtual output for
// output, and for input "(none)", nothing connected to it.
class MidiPort {
public:
    // Which device a name leads to when several carry it.
    enum class NameMatch { FirstWins, LastWins };

    virtual ~MidiPort() = default;

    // The number of devices from 0 up, read afresh from the MIDI system.
    int16_t DeviceCount();
    int16_t DeviceID() const { return m_deviceId; }
    void setDeviceID(int16_t id) { m_deviceId = id; }
    // The product name of the selected device; empty when there is no such device.
    QString ProductName();
    bool isOpen() const { return m_open; }
    // Opens the selected device (closing whatever was open), and closes it.
    virtual void open() = 0;
    virtual void close() = 0;
    // The device selected when no other is: 0 for input, the program's own output (-1).
    int16_t defaultDevice() const { return m_defaultDevice; }

    // The product names of every device in number order, from device -1 on, read afresh;
    // the selection stays as it is.
    QStringList productNames();
    // The number of the device called `name`, read afresh, by the rule given; none when
    // no device has that name. The selection stays as it is.
    std::optional<int16_t> findDevice(const QString& name, NameMatch rule);
    // Selects the device called `name` by the rule given; the default device when no
    // device has that name.
    void selectDevice(const QString& name, NameMatch rule) {
        setDeviceID(findDevice(name, rule).value_or(defaultDevice()));
    }

protected:
    // `ownDevice` is the name of device -1; `defaultDevice` is -1 or 0.
    MidiPort(QString ownDevice, int16_t defaultDevice);
    // The names of devices 0 and up, from the MIDI system.
    virtual QStringList readNames() = 0;

    bool m_open = false;

private:
    void refreshNames();
    QString nameOf(int16_t id) const;

    static constexpr int16_t kFirstDevice = -1;
    const QString m_ownDevice;
    const int16_t m_defaultDevice;
    QStringList m_names;
    bool m_namesRead = false;
    int16_t m_deviceId;
};
