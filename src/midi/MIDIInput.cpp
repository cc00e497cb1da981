#include "MIDIInput.h"

#include <QMetaObject>

MIDIInput::MIDIInput(MidiBackend& backend, QObject* parent)
    : QObject(parent), MidiPort(kDefaultDevice, QString()), m_backend(backend) {}

MIDIInput::~MIDIInput() { close(); }

void MIDIInput::open() {
    close();
    m_open = m_backend.openInput(DeviceID(), [this](const uint8_t* bytes, std::size_t size) {
        received(bytes, size);
    });
}

void MIDIInput::close() {
    if (!m_open)
        return;
    m_backend.closeInput();
    m_open = false;
}

// On the MIDI system's thread: copy the bytes and hand over to the port's own thread.
// Only one delivery waits in the event queue at a time, however fast messages come.
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
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_queue.size() >= kQueueLimit) {
            ++m_overflows;
            return;
        }
        m_queue.push_back(m);
    }
    if (!m_deliveryPending.exchange(true))
        QMetaObject::invokeMethod(this, &MIDIInput::deliver, Qt::QueuedConnection);
}

void MIDIInput::deliver() {
    // Cleared before the handler runs: a message that comes while it drains the queue
    // schedules the next delivery.
    m_deliveryPending = false;
    if (messageCount() > 0)
        emit Message();
}

int MIDIInput::messageCount() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return static_cast<int>(m_queue.size());
}

ShortMessage MIDIInput::oldestMessage() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_queue.empty() ? ShortMessage{} : m_queue.front();
}

void MIDIInput::dropMessage() {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (!m_queue.empty())
        m_queue.pop_front();
}
