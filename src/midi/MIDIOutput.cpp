#include "MIDIOutput.h"

#include "ShortMessage.h"

#include <algorithm>

MIDIOutput::MIDIOutput(MidiBackend& backend)
    : MidiPort(kDefaultDevice, MidiBackend::defaultOutputName()), m_backend(backend),
      m_testClock(backend.testClock()) {
    if (m_testClock) m_listening = m_testClock->listen([this] { sendDue(); });
}

MIDIOutput::~MIDIOutput() {
    close();
    if (m_testClock) m_testClock->stopListening(m_listening);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_sender.joinable()) m_sender.join();
}

QStringList MIDIOutput::readNames() {
    std::lock_guard<std::mutex> backend(m_backendMutex);
    return m_backend.outputNames();
}

void MIDIOutput::open() {
    close();
    std::lock_guard<std::mutex> backend(m_backendMutex);
    const bool open = m_backend.openOutput(DeviceID());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = open;
}

void MIDIOutput::close() {
    std::lock_guard<std::mutex> backend(m_backendMutex);
    {
        // What waits was meant for the device that goes; none of it may reach the next.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        ++m_generation;
        if (!m_open) return;
        m_open = false;
    }
    m_sent.notify_all();
    m_backend.closeOutput();
}

void MIDIOutput::sendShort(int16_t status, int16_t data1, int16_t data2, OutputKind kind) {
    const int length = shortMessageLength(status);
    if (!m_open || length == 0)
        return;
    const uint8_t bytes[MidiBytes::kShortMessageMax] = {
        static_cast<uint8_t>(status),
        static_cast<uint8_t>(data1 & MidiBytes::kDataMask),
        static_cast<uint8_t>(data2 & MidiBytes::kDataMask),
    };
    enqueue(bytes, static_cast<std::size_t>(length), kind);
}

void MIDIOutput::SendSysEx(const uint8_t* bytes, std::size_t size) {
    if (!m_open || size == 0)
        return;
    enqueue(bytes, size, OutputKind::PatchDump);
}

void MIDIOutput::setPauseAfterPatch(int milliseconds) {
    const int pause = std::clamp(milliseconds, 0, kLongestPauseMs);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.setPauseAfterPatch(std::chrono::milliseconds(pause));
}

void MIDIOutput::setSendNewestOnly(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.setNewestOnly(on);
}

void MIDIOutput::enqueue(const uint8_t* bytes, std::size_t size, OutputKind kind) {
    bool dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint64_t before = m_queue.dropped();
        m_queue.push(bytes, size, kind);
        dropped = m_queue.dropped() != before;
        if (dropped) m_dropped = m_queue.dropped();
        if (!m_testClock && !m_sender.joinable()) startSender();
    }
    if (m_testClock)
        sendDue();
    else
        m_wake.notify_one();
    if (dropped && m_dropNotice) m_dropNotice();
}

// Started with the first message, so that ports that never send cost no thread.
void MIDIOutput::startSender() {
    m_sender = std::thread([this] { senderLoop(); });
}

void MIDIOutput::senderLoop() {
    const Time ahead = m_backend.handOverAhead();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        const std::optional<Time> due = m_queue.nextDue();
        if (!due) {
            m_wake.wait(lock);
            continue;
        }
        const Time now = m_steadyClock.now();
        if (*due - ahead > now) {
            const auto wakeAt = std::chrono::steady_clock::time_point(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(*due - ahead));
            m_wake.wait_until(lock, wakeAt);
            continue;
        }
        OutputQueue::Taken taken;
        if (!m_queue.take(now, ahead, taken)) continue;
        const uint64_t generation = m_generation;
        ++m_inFlight;
        lock.unlock();
        deliver(taken, generation);
        lock.lock();
        --m_inFlight;
        m_sent.notify_all();
    }
}

// On a test's clock: sends everything that comes due as far as the clock may move, each
// message at its due time.
void MIDIOutput::sendDue() {
    for (;;) {
        OutputQueue::Taken taken;
        uint64_t generation;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const std::optional<Time> due = m_queue.nextDue();
            if (!due) break;
            if (*due > m_testClock->limit()) break;
            m_testClock->leapTo(*due);
            if (!m_queue.take(m_testClock->now(), Time::zero(), taken)) break;
            generation = m_generation;
        }
        deliver(taken, generation);
    }
}

void MIDIOutput::deliver(const OutputQueue::Taken& taken, uint64_t generation) {
    std::lock_guard<std::mutex> backend(m_backendMutex);
    if (generation != m_generation || !m_open) return;
    m_backend.sendTimed(taken.Data.data(), taken.Data.size(), {taken.Start, taken.Gap});
}

bool MIDIOutput::waitUntilSent(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    if (m_testClock) {
        sendDue();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_testClock->leaping()) m_testClock->leapTo(m_queue.settled());
        return m_queue.empty();
    }
    std::chrono::steady_clock::time_point settled;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_sent.wait_until(lock, deadline,
                               [this] { return m_queue.empty() && m_inFlight == 0; }))
            return false;
        settled = std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(m_queue.settled()));
    }
    // The last message is on its way: by this time the cable has carried it and, after a
    // patch, the instrument has had its pause.
    if (settled > deadline) return false;
    std::this_thread::sleep_until(settled);
    std::lock_guard<std::mutex> backend(m_backendMutex);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return m_backend.drain(std::max(left, std::chrono::milliseconds(0)));
}
