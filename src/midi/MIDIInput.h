#pragma once

#include "ByteRing.h"
#include "MidiBackend.h"
#include "MidiPort.h"
#include "ShortMessage.h"
#include "ThreadWake.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdint>

// The program's MIDI input port: selects and connects one input device, or none (device
// -1, "(none)"), and keeps the short messages received in arrival order until the program
// drops them. While open it hears whatever reaches the port, from that device or from
// players a patchbay connected, even while the device chosen is not there.
// Messages arrive on the MIDI system's thread (JACK's process thread among them), which
// only copies them into a lock-free ring and, once per batch, wakes the thread the port
// lives on (the user-interface thread) through an event counter: it neither locks nor
// allocates nor calls into Qt. Message() is raised there whenever received messages
// wait; everything that reads or drops them runs on that thread.
class MIDIInput : public QObject, public MidiPort {
    Q_OBJECT
public:
    explicit MIDIInput(MidiBackend& backend, QObject* parent = nullptr);
    ~MIDIInput() override;

    static constexpr int16_t kDefaultDevice = 0;
    static constexpr int16_t kNoDevice = -1;
    // The name of device -1, as the options dialog lists it.
    static QString noDeviceName() { return QStringLiteral("(none)"); }

    // Connects the selected device (closing whatever was open); isOpen() says whether it
    // could be. Messages received from then on are queued.
    void open() override;
    void close() override;

    // The received-message queue; while Message() is handled, the messages that had
    // come when it was raised.
    int messageCount() const;
    // The three bytes of the oldest waiting message; zeros when none waits. A message
    // of one or two bytes reads 0 for the bytes it does not have.
    ShortMessage oldestMessage() const;
    int16_t messageStatus() const { return oldestMessage().Status; }
    int16_t messageData1() const { return oldestMessage().Data1; }
    int16_t messageData2() const { return oldestMessage().Data2; }
    void dropMessage();

    // Messages that could not be queued because the queue was full.
    quint64 overflows() const { return m_overflows; }

    // A limit far above anything a MIDI cable can deliver while the user-interface
    // thread is busy (about 100 seconds of a saturated cable), so that a stalled
    // program cannot be made to grow without bound. Only the part the queue reaches
    // takes memory.
    static constexpr std::size_t kQueueLimit = 1u << 20;

signals:
    void Message();

private:
    void received(const uint8_t* bytes, std::size_t size);
    void deliver();
    QStringList readNames() override { return m_backend.inputNames(); }

    MidiBackend& m_backend;

    bool m_listening = false; // opened and not closed since, connected or not
    ByteRing m_queue; // ShortMessages, written by the MIDI system's thread
    ThreadWake m_wake;
    // While Message() runs: how many of the waiting messages its handler sees.
    static constexpr int kNoBatch = -1;
    static constexpr int kBatch = 1000; // about a second of a saturated cable
    int m_batch = kNoBatch;
    std::atomic<quint64> m_overflows{0};
};
