#pragma once

#include "ByteRing.h"
#include "MidiBackend.h"
#include "core/FramePlacement.h"

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

// JACK through one client of the program's own, "Quenlor", holding the input port
// "MIDI In" and the virtual output port "MIDI Out". Opening a device connects the
// port to it; closing removes only that connection, so connections that the user
// made to the ports in a patchbay stay. The server reports ports that come and go.
//
// Messages are timed by frames: each goes into the process cycle at the frame of its
// due time, and never closer to the one before than the output queue allows. The output
// port hands a message over two periods before it is due, and only while little waits
// in the buffer for the process cycles, so that a server that stalls or runs late leaves
// the messages in the port's queue, where a newer patch replaces an older one and the
// bound holds.
//
// The process callback neither locks nor allocates: messages cross from and to it
// through lock-free rings, and the input handler it calls does the same.
//
// A client outlives no server: when the server stops or crashes, the client is dead
// for good. Sends then go nowhere at once, the dead client is closed at the next call,
// and listing or opening a device later opens a new client on whatever server runs
// by then, so that OK in the options dialog reconnects after a server restart.
class JackMidiBackend : public MidiBackend {
public:
    // nullptr when no JACK server runs; a server is never started.
    // `clientName`: the client's name, kClientName unless a studio session gave another.
    static std::unique_ptr<JackMidiBackend> open(const std::string& clientName = kClientName);
    ~JackMidiBackend() override;

    QString systemName() override { return QStringLiteral("JACK"); }
    QStringList inputNames() override;
    QStringList outputNames() override;
    bool openInput(int index, InputHandler handler) override;
    void closeInput() override;
    bool openOutput(int index) override;
    void closeOutput() override;
    std::optional<QStringList> programOutputConnections() override;
    bool addOutputConnection(int index) override;
    bool outputConnected() override;
    bool inputConnected() override;
    bool outputDelivers() override;
    bool send(const uint8_t* bytes, std::size_t size) override;
    void setDevicesChangedHandler(DevicesChangedHandler handler) override;
    bool sendTimed(const uint8_t* bytes, std::size_t size, const SendTiming& timing) override;
    std::chrono::microseconds handOverUntil(std::chrono::microseconds now) override;
    bool drain(std::chrono::milliseconds limit) override;

    // The longest run of the process callback since the last call, for the tests and
    // benchmarks that watch it under load.
    std::chrono::microseconds takeLongestCycle() {
        return std::chrono::microseconds(m_longestCycle.exchange(0));
    }
    // The thread that runs the process callback; a default value while there is none.
    jack_native_thread_t processThread() const;

    // The name the server gave the program's client: "Quenlor" unless another
    // client already had it; empty while there is no server.
    QString clientName() const;
    // Whether the client is on a running server: false from the moment the server
    // went away until listing or opening a device reaches a new one.
    bool connected() const {
        std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
        return m_client && !m_serverGone;
    }

private:
    JackMidiBackend();
    bool openClient();
    void closeDeadClient();
    bool reachServer();
    void waitForCleanCycle();
    void waitUntilNoCycleRuns();
    QStringList portNames(unsigned long flags);
    // A port of a client that is not one of the program's.
    static bool isDevice(const QString& port);
    static int process(jack_nframes_t frames, void* self);
    static void shutdown(void* self);
    static void portRegistered(jack_port_id_t port, int registered, void* self);
    static void portRenamed(jack_port_id_t port, const char* oldName, const char* newName,
                            void* self);
    void portChanged(jack_port_id_t port);
    void processOutput(jack_nframes_t frames);
    void processInput(jack_nframes_t frames);

    jack_client_t* m_client = nullptr;
    std::string m_clientName = kClientName;
    jack_port_t* m_inPort = nullptr;
    jack_port_t* m_outPort = nullptr;
    ByteRing m_outBuffer;
    std::atomic<bool> m_serverGone{false};
    // Guards the client and the writing end of the output buffer: the output port sends
    // from its own thread, and either thread may close a dead client.
    mutable std::recursive_mutex m_clientMutex;

    // Where the process thread put the last message: its frame, its start, and the frame
    // its bytes have left the cable by.
    FramePlacement m_placement;
    jack_time_t m_lastStart = 0; // when it was meant to start, on JACK's clock
    std::atomic<jack_nframes_t> m_lastEnd{0};
    std::atomic<jack_nframes_t> m_cycleStart{0}; // of the last cycle run
    // The cable time of the messages written to the output buffer and of those the
    // process thread took from it, in microseconds.
    std::atomic<uint64_t> m_handedUs{0};
    std::atomic<uint64_t> m_placedUs{0};
    uint64_t m_lastHandedUs = 0; // under the client's lock
    std::atomic<bool> m_inCycle{false};           // the process callback runs
    std::atomic<uint32_t> m_longestCycle{0};      // in microseconds
    // Counts the closes of the output: what waits in the buffer for a connection that
    // was closed is dropped, not sent to the next one.
    std::atomic<uint32_t> m_connection{0};
    std::atomic<uint32_t> m_connectionSeen{0}; // by the last cycle that ran

    // The input handler; the process thread reaches it only through m_liveHandler, which
    // the program's thread clears, waiting for the cycle that may still use it, before
    // it changes the handler.
    InputHandler m_handler;
    std::atomic<const InputHandler*> m_liveHandler{nullptr};
    std::string m_inputSource;      // the device connected to "MIDI In"
    std::string m_outputDestination; // the device "MIDI Out" is connected to

    // Guards the handler of device changes against the server's notification thread.
    std::mutex m_devicesMutex;
    DevicesChangedHandler m_devicesChanged;
};
