#include "MIDIInput.h"

#include <algorithm>

MIDIInput::MIDIInput(MidiBackend& backend, QObject* parent)
    : QObject(parent), MidiPort(noDeviceName(), kDefaultDevice), m_backend(backend),
      m_queue(kQueueLimit * sizeof(ShortMessage)), m_wake(*this, [this] { deliver(); }) {}

MIDIInput::~MIDIInput() { close(); }

// The port listens from here on, whether or not the device could be connected.
void MIDIInput::open() {
    close();
    m_listening = true;
    m_open = m_backend.openInput(DeviceID(), [this](const uint8_t* bytes, std::size_t size) {
        received(bytes, size);
    });
}

void MIDIInput::close() {
    if (!m_listening)
        return;
    m_backend.closeInput();
    m_listening = m_open = false;
}

// On the MIDI system's thread: copy the message into the ring and wake the port's own
// thread. Only one wake waits at a time, however fast messages come.
void MIDIInput::received(const uint8_t* bytes, std::size_t size) {
    const int length = size > 0 ? shortMessageLength(bytes[0]) : 0;
    if (length == 0 || static_cast<std::size_t>(length) > size)
        return; // System Exclusive, stray data bytes and cut-off messages are not queued
    ShortMessage m;
    m.Status = bytes[0];
    if (length > 1)
        m.Data1 = bytes[1] & MidiBytes::kDataMask;
    if (length > 2)
        m.Data2 = bytes[2] & MidiBytes::kDataMask;
    if (!m_queue.write(&m, sizeof m)) {
        m_overflows.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    m_wake.ring();
}

void MIDIInput::deliver() {
    // The handler sees at most a batch of the messages that came before it was called;
    // the rest and those that come meanwhile wait for the next delivery, so that a flood
    // cannot hold the event loop.
    m_batch = std::min(messageCount(), kBatch);
    if (m_batch > 0)
        emit Message();
    m_batch = kNoBatch;
    if (messageCount() > 0) m_wake.ring();
}

int MIDIInput::messageCount() const {
    const int waiting = static_cast<int>(m_queue.readSpace() / sizeof(ShortMessage));
    return m_batch == kNoBatch ? waiting : std::min(waiting, m_batch);
}

ShortMessage MIDIInput::oldestMessage() const {
    ShortMessage m;
    m_queue.peek(&m, sizeof m);
    return m;
}

void MIDIInput::dropMessage() {
    if (m_queue.read(nullptr, sizeof(ShortMessage)) && m_batch > 0) --m_batch;
}
