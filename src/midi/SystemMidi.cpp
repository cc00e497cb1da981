#include "AlsaMidiBackend.h"
#include "JackMidiBackend.h"
#include "MidiBackend.h"

#include <future>

namespace {

// No MIDI system: the default output alone, which takes every message and sends it nowhere.
class NoMidiBackend : public MidiBackend {
public:
    QString SystemName() override { return QStringLiteral("none"); }
    QStringList InputNames() override { return {}; }
    QStringList OutputNames() override { return {}; }
    bool OpenInput(int, InputHandler) override { return false; }
    void CloseInput() override {}
    bool OpenOutput(int index) override { return index == -1; }
    void CloseOutput() override {}
    void Send(const uint8_t*, std::size_t) override {}
    bool OutputConnected() override { return true; }
    bool InputConnected() override { return true; }
    void SetDevicesChangedHandler(DevicesChangedHandler) override {}
};

// The MIDI system being opened on a thread of its own; every call waits until it is
// ready. Opening a JACK client takes tens of milliseconds, which this way overlap the
// window system's start-up instead of adding to it.
class StartingMidiBackend : public MidiBackend {
public:
    explicit StartingMidiBackend(std::future<std::unique_ptr<MidiBackend>> opening)
        : m_opening(std::move(opening)) {}

    QString SystemName() override { return system().SystemName(); }
    QStringList InputNames() override { return system().InputNames(); }
    QStringList OutputNames() override { return system().OutputNames(); }
    bool OpenInput(int index, InputHandler handler) override { return system().OpenInput(index, std::move(handler)); }
    void CloseInput() override { system().CloseInput(); }
    bool OpenOutput(int index) override { return system().OpenOutput(index); }
    void CloseOutput() override { system().CloseOutput(); }
    bool OutputConnected() override { return system().OutputConnected(); }
    bool InputConnected() override { return system().InputConnected(); }
    void Send(const uint8_t* bytes, std::size_t size) override { system().Send(bytes, size); }
    // Kept until the system is ready, so that setting it does not wait for the opening.
    void SetDevicesChangedHandler(DevicesChangedHandler handler) override {
        if (m_system)
            m_system->SetDevicesChangedHandler(std::move(handler));
        else
            m_devicesChanged = std::move(handler);
    }
    void SendTimed(const uint8_t* bytes, std::size_t size, const SendTiming& timing) override {
        system().SendTimed(bytes, size, timing);
    }
    std::chrono::microseconds HandOverAhead() override { return system().HandOverAhead(); }
    bool Drain(std::chrono::milliseconds limit) override { return system().Drain(limit); }

private:
    MidiBackend& system() {
        if (!m_system) {
            m_system = m_opening.get();
            if (!m_system)
                m_system = OpenNoMidi();
            if (m_devicesChanged)
                m_system->SetDevicesChangedHandler(std::move(m_devicesChanged));
        }
        return *m_system;
    }

    std::future<std::unique_ptr<MidiBackend>> m_opening;
    std::unique_ptr<MidiBackend> m_system;
    DevicesChangedHandler m_devicesChanged;
};

} // namespace

std::unique_ptr<MidiBackend> OpenAlsaMidi() { return AlsaMidiBackend::Open(); }
std::unique_ptr<MidiBackend> OpenJackMidi() { return JackMidiBackend::Open(); }
std::unique_ptr<MidiBackend> OpenNoMidi() { return std::make_unique<NoMidiBackend>(); }

std::unique_ptr<MidiBackend> OpenSystemMidi() {
    return std::make_unique<StartingMidiBackend>(std::async(std::launch::async, []() -> std::unique_ptr<MidiBackend> {
        if (auto alsa = OpenAlsaMidi())
            return alsa;
        return OpenJackMidi();
    }));
}
