#include "AlsaMidiBackend.h"
#include "JackMidiBackend.h"
#include "MidiBackend.h"

#include <future>

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

// The MIDI system being opened on a thread of its own; every call waits until it is
// ready. Opening a JACK client takes tens of milliseconds, which this way overlap the
// window system's start-up instead of adding to it.
class StartingMidiBackend : public MidiBackend {
public:
    explicit StartingMidiBackend(std::future<std::unique_ptr<MidiBackend>> opening)
        : m_opening(std::move(opening)) {}

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
    // Kept until the system is ready, so that setting it does not wait for the opening.
    void setDevicesChangedHandler(DevicesChangedHandler handler) override {
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
        if (!m_system) {
            m_system = m_opening.get();
            if (!m_system)
                m_system = openNoMidi();
            if (m_devicesChanged)
                m_system->setDevicesChangedHandler(std::move(m_devicesChanged));
        }
        return *m_system;
    }

    std::future<std::unique_ptr<MidiBackend>> m_opening;
    std::unique_ptr<MidiBackend> m_system;
    DevicesChangedHandler m_devicesChanged;
};

} // namespace

std::unique_ptr<MidiBackend> openAlsaMidi() { return AlsaMidiBackend::open(); }
std::unique_ptr<MidiBackend> openJackMidi() { return JackMidiBackend::open(); }
std::unique_ptr<MidiBackend> openNoMidi() { return std::make_unique<NoMidiBackend>(); }

std::unique_ptr<MidiBackend> openSystemMidi() {
    return std::make_unique<StartingMidiBackend>(std::async(std::launch::async, []() -> std::unique_ptr<MidiBackend> {
        if (auto alsa = openAlsaMidi())
            return alsa;
        return openJackMidi();
    }));
}
