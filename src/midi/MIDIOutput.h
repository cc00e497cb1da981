#pragma once

#include "MidiBackend.h"
#include "MidiPort.h"
#include "OutputQueue.h"
#include "PacingClock.h"

#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// The program's MIDI output port: selects and opens one output device, -1 being the
// program's own virtual output, and sends short and System Exclusive messages to it.
// A send returns at once; the message waits in the port's queue until the cable can take
// it (see OutputQueue) and is then handed to the MIDI system, from a sender thread of the
// port's own (or, on a test's clock, on the thread that sends or moves the clock).
class MIDIOutput : public MidiPort {
public:
    explicit MIDIOutput(MidiBackend& backend);
    ~MIDIOutput() override;
    MIDIOutput(const MIDIOutput&) = delete;
    MIDIOutput& operator=(const MIDIOutput&) = delete;

    static constexpr int16_t kDefaultDevice = -1;
    static constexpr int kLongestPauseMs = 2000;

    // Devices are numbered -1..DeviceCount()-1: DeviceCount() does not count the default.

    void open() override;
    // Until the next open(): what is sent waits in the queue, in order, instead of being
    // dropped, and leaves to the device that open() connects (nothing when it fails).
    // What the program sends while the MIDI system is still being reached.
    void hold();
    // Throws away what waits while held: it was meant for a bank that is replaced before
    // the instrument hears it (a file named at start-up).
    void dropHeld();
    // First lets what was sent leave the cable: the user's last edit reaches the
    // instrument whether the program ends or the device changes. The wait is bounded by
    // the queue's one second plus the pause after a patch, and cut short when nothing
    // can leave any more (the MIDI system or the device went away); what still waits
    // then is dropped.
    void close() override;

    // Sends a short message with as many bytes as its status byte calls for; data
    // bytes are cut to 7 bits. A status that starts no short message sends nothing.
    void sendShort(int16_t status, int16_t data1, int16_t data2,
                   OutputKind kind = OutputKind::Note);
    // Sends a patch dump, F0 through F7, as one message.
    void SendSysEx(const uint8_t* bytes, std::size_t size);

    // The pause before a patch dump that follows another patch, 0..2000 ms.
    void setPauseAfterPatch(int milliseconds);
    // Whether a newer patch replaces one that still waits.
    void setSendNewestOnly(bool on);

    // Messages dropped: more waited than one second of cable time, or the MIDI system
    // did not take them.
    uint64_t droppedMessages() const { return m_dropped; }
    // Called after a message was dropped, on the thread that sent it or on the port's
    // sender thread.
    void setDropNotice(std::function<void()> notice) {
        std::lock_guard<std::mutex> lock(m_noticeMutex);
        m_dropNotice = std::move(notice);
    }
    // Messages of one road that the MIDI system took.
    uint64_t sentMessages(OutputKind kind) const {
        return m_handedOver[static_cast<std::size_t>(kind)];
    }
    // Called with true before close() waits for messages to leave and with false after,
    // on the closing thread (the program's thread shows the busy pointer meanwhile).
    void setWaitNotice(std::function<void(bool waiting)> notice) {
        m_waitNotice = std::move(notice);
    }

    // Waits, at most `limit`, until every message sent has left the cable and the pause
    // after a patch has passed; false when the time ran out first. On a test's clock
    // that does not leap, only says whether nothing waits.
    bool waitUntilSent(std::chrono::milliseconds limit);

private:
    using Time = OutputQueue::Time;
    QStringList readNames() override;
    void enqueue(const uint8_t* bytes, std::size_t size, OutputKind kind);
    // Lets what waits in the queue leave as it comes due.
    void sendWaiting();
    void startSender();
    void senderLoop();
    void sendDue(Time limit);
    void deliver(const OutputQueue::Taken& taken, uint64_t generation);
    void countDrops(uint64_t count);
    bool delivers();
    bool waitUntilLeft(std::chrono::milliseconds limit, bool pauseToo);

    MidiBackend& m_backend;
    // m_open and m_holding are changed under both locks.
    bool m_holding = false;

    ManualClock* m_testClock;
    SteadyPacingClock m_steadyClock;
    int m_listening = 0;

    std::mutex m_mutex; // the queue and the sender's state
    std::condition_variable m_wake;
    std::condition_variable m_sent;
    OutputQueue m_queue;
    std::thread m_sender;
    bool m_stopping = false;
    int m_inFlight = 0; // messages taken from the queue and not yet handed over

    // Held while the MIDI system is called, so that the sender never sends into a device
    // being opened or closed; the generation tells it that a close came in between.
    std::mutex m_backendMutex;
    uint64_t m_generation = 0;

    std::atomic<uint64_t> m_dropped{0};
    std::function<void()> m_dropNotice;
    std::mutex m_noticeMutex; // the drop notice is called from the sender thread too
    std::atomic<uint64_t> m_handedOver[kOutputKinds] = {};
    std::function<void(bool)> m_waitNotice;
};
