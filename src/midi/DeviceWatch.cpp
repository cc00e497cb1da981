#include "DeviceWatch.h"

#include <QMetaObject>

DeviceWatch::DeviceWatch(MidiBackend& backend, QObject* parent)
    : QObject(parent), m_backend(backend) {
    // On the MIDI system's thread: only a queued call crosses to the watch's own thread.
    m_backend.setDevicesChangedHandler([this] {
        if (!m_deliveryPending.exchange(true))
            QMetaObject::invokeMethod(this, &DeviceWatch::deliver, Qt::QueuedConnection);
    });
}

// Once the handler is replaced the MIDI system calls it no more, and a delivery still
// waiting in the event queue goes with the object.
DeviceWatch::~DeviceWatch() {
    m_backend.setDevicesChangedHandler(nullptr);
}

void DeviceWatch::deliver() {
    // Cleared first: a report that comes while the devices are read again asks for
    // another look.
    m_deliveryPending = false;
    emit changed();
}
