#include "MidiPort.h"

#include <algorithm>
#include <utility>

MidiPort::MidiPort(QString ownDevice, int16_t defaultDevice)
    : m_ownDevice(std::move(ownDevice)), m_defaultDevice(defaultDevice), m_deviceId(defaultDevice) {}

void MidiPort::refreshNames() {
    m_names = readNames();
    m_namesRead = true;
}

int16_t MidiPort::DeviceCount() {
    refreshNames();
    return static_cast<int16_t>(std::min<qsizetype>(m_names.size(), INT16_MAX));
}

QString MidiPort::nameOf(int16_t id) const {
    if (id == kFirstDevice)
        return m_ownDevice;
    return id >= 0 && id < m_names.size() ? m_names.at(id) : QString();
}

QString MidiPort::ProductName() {
    if (!m_namesRead && m_deviceId >= 0)
        refreshNames();
    return nameOf(m_deviceId);
}

QStringList MidiPort::productNames() {
    QStringList names;
    const int16_t count = DeviceCount();
    for (int16_t id = kFirstDevice; id < count; ++id)
        names << nameOf(id);
    return names;
}

std::optional<int16_t> MidiPort::findDevice(const QString& name, NameMatch rule) {
    std::optional<int16_t> found;
    const int16_t count = DeviceCount();
    for (int16_t id = kFirstDevice; id < count; ++id) {
        if (nameOf(id) != name)
            continue;
        found = id;
        if (rule == NameMatch::FirstWins)
            break;
    }
    return found;
}
