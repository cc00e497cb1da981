#pragma once

#include "MidiBackend.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

// JACK through one client of the program's own, "Quenlor", holding the input port
// "MIDI In" and the virtual output port "MIDI Out". Opening a device connects the
// port to it; closing removes only that connection, so connections that the user
// made to the ports in a patchbay stay. The server reports ports that come and go.
//
// A client outlives no server: when the server stops or crashes, the client is dead
// for good. Sends then go nowhere at once, the dead client is closed at the next call,
// and listing or opening a device later opens a new client on whatever server runs
// by then, so that OK in the options dialog reconnects after a server restart.
class JackMidiBackend : public MidiBackend {
public:
    // nullptr when no JACK server runs; a server is never started.
    static std::unique_ptr<JackMidiBackend> Open();
    ~JackMidiBackend() override;

    QString SystemName() override { return QStringLiteral("JACK"); }
    QStringList InputNames() override;
    QStringList OutputNames() override;
    bool OpenInput(int index, InputHandler handler) override;
    void CloseInput() override;
    bool OpenOutput(int index) override;
    void CloseOutput() override;
    bool OutputConnected() override;
    bool InputConnected() override;
    void Send(const uint8_t* bytes, std::size_t size) override;
    void SetDevicesChangedHandler(DevicesChangedHandler handler) override;

    // The name the server gave the program's client: "Quenlor" unless another
    // client already had it; empty while there is no server.
    QString ClientName() const;
    // Whether the client is on a running server: false from the moment the server
    // went away until listing or opening a device reaches a new one.
    bool Connected() const { return m_client && !m_serverGone; }

private:
    JackMidiBackend() = default;
    bool openClient();
    void closeDeadClient();
    bool reachServer();
    QStringList portNames(unsigned long flags);
    static int process(jack_nframes_t frames, void* self);
    static void shutdown(void* self);
    static void portRegistered(jack_port_id_t port, int registered, void* self);
    static void portRenamed(jack_port_id_t port, const char* oldName, const char* newName,
                            void* self);
    void portChanged(jack_port_id_t port);
    void processOutput(jack_nframes_t frames);
    void processInput(jack_nframes_t frames);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_inPort = nullptr;
    jack_port_t* m_outPort = nullptr;
    jack_ringbuffer_t* m_outBuffer = nullptr;
    std::atomic<bool> m_serverGone{false};

    // Guards the handler against the process thread while the input opens or closes.
    std::mutex m_inputMutex;
    InputHandler m_handler;
    std::string m_inputSource;      // the device connected to "MIDI In"
    std::string m_outputDestination; // the device "MIDI Out" is connected to

    // Guards the handler of device changes against the server's notification thread.
    std::mutex m_devicesMutex;
    DevicesChangedHandler m_devicesChanged;
};
