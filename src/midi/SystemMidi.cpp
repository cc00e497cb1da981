#include "AlsaMidiBackend.h"
#include "JackMidiBackend.h"
#include "MidiBackend.h"

#include <functional>
#include <mutex>

namespace {

// No MIDI system: the default output alone, which takes every message and sends it nowhere.
class NoMidiBackend : public MidiBackend {
public:
    QString systemName() override { return QStringLiteral("none"); }
    QStringList inputNames() override { return {}; }
    QStringList outputNames() override { return {}; }
    bool openInput(int, InputHandler) override { return false; }
    void closeInput() override {}
    bool openOutput(int index) override { return index == -1; }
    void closeOutput() override {}
    bool send(const uint8_t*, std::size_t) override { return true; }
    bool outputConnected() override { return true; }
    bool inputConnected() override { return true; }
    void setDevicesChangedHandler(DevicesChangedHandler) override {}
};

// The MIDI system, reached when something first needs it, on the thread that needs it.
// Reaching JACK takes tens of milliseconds (its client locks the server's shared memory
// into the program, which stalls every thread's page faults meanwhile); the main window
// comes up first and reaches it once it is on the screen (see MIDIOutput::hold).
class LateMidiBackend : public MidiBackend {
public:
    explicit LateMidiBackend(std::function<std::unique_ptr<MidiBackend>()> reach)
        : m_reach(std::move(reach)) {}

    QString systemName() override { return system().systemName(); }
    QStringList inputNames() override { return system().inputNames(); }
    QStringList outputNames() override { return system().outputNames(); }
    bool openInput(int index, InputHandler handler) override { return system().openInput(index, std::move(handler)); }
    void closeInput() override { system().closeInput(); }
    bool openOutput(int index) override { return system().openOutput(index); }
    void closeOutput() override { system().closeOutput(); }
    std::optional<QStringList> programOutputConnections() override {
        return system().programOutputConnections();
    }
    bool addOutputConnection(int index) override { return system().addOutputConnection(index); }
    bool outputConnected() override { return system().outputConnected(); }
    bool inputConnected() override { return system().inputConnected(); }
    bool send(const uint8_t* bytes, std::size_t size) override { return system().send(bytes, size); }
    bool outputDelivers() override { return system().outputDelivers(); }
    // Kept until the system is reached, so that setting it does not reach it.
    void setDevicesChangedHandler(DevicesChangedHandler handler) override {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        if (m_system)
            m_system->setDevicesChangedHandler(std::move(handler));
        else
            m_devicesChanged = std::move(handler);
    }
    bool sendTimed(const uint8_t* bytes, std::size_t size, const SendTiming& timing) override {
        return system().sendTimed(bytes, size, timing);
    }
    std::chrono::microseconds handOverUntil(std::chrono::microseconds now) override {
        return system().handOverUntil(now);
    }
    bool drain(std::chrono::milliseconds limit) override { return system().drain(limit); }

private:
    MidiBackend& system() {
        std::call_once(m_reached, [this] {
            std::unique_ptr<MidiBackend> system = m_reach();
            if (!system)
                system = openNoMidi();
            std::lock_guard<std::mutex> lock(m_handlerMutex);
            if (m_devicesChanged)
                system->setDevicesChangedHandler(std::move(m_devicesChanged));
            m_system = std::move(system);
        });
        return *m_system;
    }

    std::function<std::unique_ptr<MidiBackend>()> m_reach;
    std::once_flag m_reached;
    std::mutex m_handlerMutex; // m_system as the handler's setter sees it
    std::unique_ptr<MidiBackend> m_system;
    DevicesChangedHandler m_devicesChanged;
};

} // namespace

std::unique_ptr<MidiBackend> openAlsaMidi(const QString& clientName) {
    return AlsaMidiBackend::open(clientName.toStdString());
}
std::unique_ptr<MidiBackend> openJackMidi(const QString& clientName) {
    return JackMidiBackend::open(clientName.toStdString());
}
std::unique_ptr<MidiBackend> openNoMidi() { return std::make_unique<NoMidiBackend>(); }

std::unique_ptr<MidiBackend> openSystemMidi() { return openSystemMidi(MidiBackend::kClientName); }

std::unique_ptr<MidiBackend> openSystemMidi(const QString& clientName) {
    return openWhenNeeded([clientName]() -> std::unique_ptr<MidiBackend> {
        if (auto alsa = openAlsaMidi(clientName))
            return alsa;
        return openJackMidi(clientName);
    });
}

std::unique_ptr<MidiBackend> openWhenNeeded(std::function<std::unique_ptr<MidiBackend>()> reach) {
    return std::make_unique<LateMidiBackend>(std::move(reach));
}
