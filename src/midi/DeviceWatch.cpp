#include "DeviceWatch.h"

DeviceWatch::DeviceWatch(MidiBackend& backend, QObject* parent)
    : QObject(parent), m_backend(backend), m_wake(*this, [this] { emit changed(); }) {
    // On the MIDI system's thread: only the wake crosses to the watch's own thread. A
    // report that comes while the devices are read again asks for another look.
    m_backend.setDevicesChangedHandler([this] { m_wake.ring(); });
}

// Once the handler is replaced the MIDI system calls it no more, and a wake still
// waiting goes with the object.
DeviceWatch::~DeviceWatch() {
    m_backend.setDevicesChangedHandler(nullptr);
}
