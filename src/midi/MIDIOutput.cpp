#include "MIDIOutput.h"

#include "ShortMessage.h"

#include <algorithm>

namespace {
// A MIDI system that takes messages as its cycles run tells nobody when it takes more:
// the sender looks again this often while messages wait for it (JACK's periods are a few
// milliseconds, and its buffer holds two).
constexpr OutputQueue::Time kRecheck{1000};
// How often a closing port asks whether what waits can still leave.
constexpr auto kDeliveryCheck = std::chrono::milliseconds(10);
// What a closing port waits beyond the queue's bound and the pause: the MIDI system's own
// hand-over and the cycles that carry the last message out.
constexpr auto kCloseMargin = std::chrono::milliseconds(250);

std::chrono::steady_clock::time_point steadyAt(OutputQueue::Time t) {
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(t));
}
} // namespace

MIDIOutput::MIDIOutput(MidiBackend& backend)
    : MidiPort(MidiBackend::defaultOutputName(), kDefaultDevice), m_backend(backend),
      m_testClock(backend.testClock()) {
    if (m_testClock) m_listening = m_testClock->listen([this] { sendDue(m_testClock->limit()); });
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

void MIDIOutput::hold() {
    close();
    std::lock_guard<std::mutex> backend(m_backendMutex);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holding = true;
}

void MIDIOutput::dropHeld() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_holding) m_queue.clear();
}

void MIDIOutput::open() {
    if (!m_holding) close();
    bool held;
    {
        std::lock_guard<std::mutex> backend(m_backendMutex);
        const bool open = m_backend.openOutput(DeviceID());
        std::lock_guard<std::mutex> lock(m_mutex);
        held = m_holding && open && !m_queue.empty();
        if (m_holding && !open) m_queue.clear();
        m_holding = false;
        m_open = open;
    }
    if (held) sendWaiting();
}

void MIDIOutput::close() {
    if (m_open) {
        std::chrono::milliseconds limit;
        bool waits;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            waits = !m_queue.empty() || m_inFlight > 0;
            limit = std::chrono::duration_cast<std::chrono::milliseconds>(
                        OutputQueue::kLimit + m_queue.pauseAfterPatch()) +
                    kCloseMargin;
        }
        if (waits && m_waitNotice) m_waitNotice(true);
        waitUntilLeft(limit, false);
        if (waits && m_waitNotice) m_waitNotice(false);
    }
    std::lock_guard<std::mutex> backend(m_backendMutex);
    {
        // What still waits was meant for the device that goes; none of it may reach the next.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_holding = false;
        ++m_generation;
        if (!m_open) return;
        m_open = false;
    }
    m_sent.notify_all();
    m_backend.closeOutput();
}

void MIDIOutput::sendShort(int16_t status, int16_t data1, int16_t data2, OutputKind kind) {
    const int length = shortMessageLength(status);
    if (!(m_open || m_holding) || length == 0)
        return;
    const uint8_t bytes[MidiBytes::kShortMessageMax] = {
        static_cast<uint8_t>(status),
        static_cast<uint8_t>(data1 & MidiBytes::kDataMask),
        static_cast<uint8_t>(data2 & MidiBytes::kDataMask),
    };
    enqueue(bytes, static_cast<std::size_t>(length), kind);
}

void MIDIOutput::SendSysEx(const uint8_t* bytes, std::size_t size) {
    if (!(m_open || m_holding) || size == 0)
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
    uint64_t dropped;
    bool held;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint64_t before = m_queue.dropped();
        m_queue.push(bytes, size, kind);
        dropped = m_queue.dropped() - before;
        held = m_holding;
    }
    if (!held) sendWaiting();
    if (dropped > 0) countDrops(dropped);
}

void MIDIOutput::sendWaiting() {
    if (m_testClock) {
        sendDue(m_testClock->limit());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_sender.joinable()) startSender();
    }
    m_wake.notify_one();
}

void MIDIOutput::countDrops(uint64_t count) {
    m_dropped += count;
    std::lock_guard<std::mutex> lock(m_noticeMutex);
    if (m_dropNotice) m_dropNotice();
}

// Started with the first message, so that ports that never send cost no thread.
void MIDIOutput::startSender() {
    m_sender = std::thread([this] { senderLoop(); });
}

// Hands each message to the MIDI system as soon as the system takes it (see
// MidiBackend::handOverUntil), which it asks afresh each time.
void MIDIOutput::senderLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (m_holding || !m_queue.nextDue()) {
            m_wake.wait(lock);
            continue;
        }
        lock.unlock();
        const Time now = m_steadyClock.now();
        Time until;
        {
            std::lock_guard<std::mutex> backend(m_backendMutex);
            until = m_backend.handOverUntil(now);
        }
        lock.lock();
        OutputQueue::Taken taken;
        if (m_stopping) break;
        if (!m_queue.take(now, until, taken)) {
            if (const std::optional<Time> due = m_queue.nextDue())
                m_wake.wait_until(lock, steadyAt(now + std::clamp(std::max(*due, now) - until,
                                                                   Time::zero(), kRecheck)));
            continue;
        }
        const uint64_t generation = m_generation;
        ++m_inFlight;
        lock.unlock();
        deliver(taken, generation);
        lock.lock();
        --m_inFlight;
        m_sent.notify_all();
    }
}

// On a test's clock: sends everything that comes due up to `limit`, each message at its
// due time, moving the clock there.
void MIDIOutput::sendDue(Time limit) {
    for (;;) {
        OutputQueue::Taken taken;
        uint64_t generation;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const std::optional<Time> due = m_queue.nextDue();
            if (m_holding || !due || *due > limit) break;
            m_testClock->leapTo(*due);
            if (!m_queue.take(m_testClock->now(), m_testClock->now(), taken)) break;
            generation = m_generation;
        }
        deliver(taken, generation);
    }
}

void MIDIOutput::deliver(const OutputQueue::Taken& taken, uint64_t generation) {
    {
        std::lock_guard<std::mutex> backend(m_backendMutex);
        if (generation != m_generation || !m_open) return;
        if (m_backend.sendTimed(taken.Data.data(), taken.Data.size(), {taken.Start, taken.Gap})) {
            ++m_handedOver[static_cast<std::size_t>(taken.Kind)];
            return;
        }
    }
    countDrops(1);
}

bool MIDIOutput::delivers() {
    std::lock_guard<std::mutex> backend(m_backendMutex);
    return m_backend.outputDelivers();
}

bool MIDIOutput::waitUntilSent(std::chrono::milliseconds limit) {
    return waitUntilLeft(limit, true);
}

// Waits until the queue is empty and the last message has left the cable (and, with
// `pauseToo`, the pause after a patch has passed); false when `limit` ran out first or
// nothing can leave any more.
bool MIDIOutput::waitUntilLeft(std::chrono::milliseconds limit, bool pauseToo) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    if (!delivers()) return false;
    if (m_testClock) {
        // The test's clock moves as far as the wait would last.
        sendDue(m_testClock->leaping() ? Time::max()
                                       : std::max(m_testClock->limit(), m_testClock->now() + limit));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_testClock->leaping())
            m_testClock->leapTo(pauseToo ? m_queue.settled() : m_queue.wireFree());
        return m_queue.empty();
    }
    std::chrono::steady_clock::time_point settled;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto left = [this] { return m_queue.empty() && m_inFlight == 0; };
        while (!left()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            // A server or device that goes away meanwhile leaves nothing to wait for.
            lock.unlock();
            const bool delivering = delivers();
            lock.lock();
            if (!delivering) return false;
            m_sent.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                           kDeliveryCheck),
                              left);
        }
        // Long ago when nothing was ever sent.
        settled = steadyAt(std::max(pauseToo ? m_queue.settled() : m_queue.wireFree(),
                                    m_steadyClock.now()));
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
