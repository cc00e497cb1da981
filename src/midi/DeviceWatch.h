#pragma once

#include "MidiBackend.h"
#include "ThreadWake.h"

#include <QObject>

// Brings the MIDI system's news of devices coming and going to the thread the watch
// lives on (the user-interface thread): Changed() is raised there, once for any number
// of reports that came in while it waited. Tells too whether the ports' connections
// outlived the changes.
class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(MidiBackend& backend, QObject* parent = nullptr);
    ~DeviceWatch() override;

    // Whether the ports' connections to their devices still stand (MidiBackend).
    bool outputConnected() { return m_backend.outputConnected(); }
    bool inputConnected() { return m_backend.inputConnected(); }

signals:
    void changed();

private:
    MidiBackend& m_backend;
    ThreadWake m_wake;
};
