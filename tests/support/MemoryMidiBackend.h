#pragma once

#include "midi/MidiBackend.h"
#include "midi/PacingClock.h"

#include <mutex>
#include <vector>

// A MIDI system in memory for tests and benchmarks: lists the devices it is given,
// records every message sent with the output device that was open and the time on its
// clock, keeps a log of opens and closes, and lets a test deliver received messages,
// from any thread. The output port paces by its clock, which only the test moves.
class MemoryMidiBackend : public MidiBackend {
public:
    using Bytes = std::vector<uint8_t>;
    struct SentMessage {
        int Device; // output device open at the time; -1 is the default output
        Bytes Data;
        PacingClock::Time Time{}; // when it was sent, on Clock
    };

    MemoryMidiBackend(QStringList inputs, QStringList outputs);

    QString systemName() override { return QStringLiteral("memory"); }
    QStringList inputNames() override;
    QStringList outputNames() override;
    bool openInput(int index, InputHandler handler) override;
    void closeInput() override;
    bool openOutput(int index) override;
    void closeOutput() override;
    bool send(const uint8_t* bytes, std::size_t size) override;
    std::optional<QStringList> programOutputConnections() override { return ProgramOutput; }
    bool addOutputConnection(int index) override;
    bool outputConnected() override { return !m_outputLost; }
    bool inputConnected() override { return !m_inputLost; }
    void setDevicesChangedHandler(DevicesChangedHandler handler) override;
    ManualClock* testClock() override { return &Clock; }

    // The time the output port paces by. It leaps ahead unless the test says otherwise,
    // so that every send is recorded at once, at the time the cable would carry it.
    ManualClock Clock;

    // Changes the device lists, as plugging or unplugging an interface would, and
    // reports the change. An open device whose name is no longer listed loses its
    // connection for good, as a device that is unplugged does.
    void setDevices(QStringList inputs, QStringList outputs);

    // Delivers one received message to the program's input, from the device open or any
    // other sender; ignored while the input does not listen. Safe to call from any thread.
    void receive(const Bytes& message);

    // Every message sent, in order.
    std::vector<SentMessage> Sent;
    // While set, every message is dropped, as by a MIDI system that has gone.
    bool Gone = false;
    // What the running program's output is connected to; nullopt: it is not running.
    std::optional<QStringList> ProgramOutput;
    // "in open 2", "in open -1" (no device), "in close", "out open -1", "out also 1",
    // "out close", in order.
    QStringList Log;

    int openInputDevice() const { return m_input; }   // -2 when closed
    int openOutputDevice() const { return m_output; } // -2 when closed
    // The bytes of every message sent, without the devices.
    std::vector<Bytes> sentBytes() const;
    void clearRecord();

    static constexpr int kClosed = -2;

private:
    QStringList m_inputs;
    QStringList m_outputs;
    int m_input = kClosed;
    int m_output = kClosed;
    QString m_inputName;  // the device open, by name
    QString m_outputName;
    bool m_inputLost = false;
    bool m_outputLost = false;
    std::mutex m_handlerMutex; // the handler may be called from a test's own thread
    InputHandler m_handler;
    DevicesChangedHandler m_devicesChanged;
};
