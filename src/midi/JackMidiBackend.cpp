#include "JackMidiBackend.h"

#include "OutputQueue.h"
#include "PacingClock.h"
#include "core/CablePacing.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace {
const char* const kClientName = MidiBackend::kClientName;
const char* const kInputPortName = MidiBackend::kInputPortName;
const char* const kOutputPortName = MidiBackend::kOutputPortName;

// Room for far more than the two periods of messages the output queue hands over ahead;
// a message that does not fit is dropped, and counted by the output port.
constexpr std::size_t kOutputBufferBytes = 1u << 16;
// Each message in the output buffer is this header followed by its bytes.
struct MessageHeader {
    jack_time_t Due; // on JACK's clock, in microseconds
    uint32_t GapUs;  // least time since the previous message started
    uint32_t Length;
    uint32_t Connection; // the output connection it was meant for
};
// The queue hands each message over this many process periods before it is due, so that
// it waits in the buffer for the cycle that plays it; no more than this many periods of
// cable time wait there.
constexpr int kPeriodsAhead = 2;
constexpr int64_t kMicrosPerSecond = 1'000'000;
// The longest wait for a cycle after the output was closed: a few periods.
constexpr auto kCleanCyclePatience = std::chrono::milliseconds(50);
// The longest wait for a running process callback to return: it never blocks, so only a
// process thread that the system does not schedule takes this long.
constexpr auto kCycleEndPatience = std::chrono::milliseconds(500);

using CablePacing::framesFor;
using CablePacing::frameBefore;

void silent(const char*) {}
} // namespace

std::unique_ptr<JackMidiBackend> JackMidiBackend::open(const std::string& clientName) {
    // libjack prints every failed attempt to reach a server; the program reports none.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
    std::unique_ptr<JackMidiBackend> backend(new JackMidiBackend);
    backend->m_clientName = clientName;
    if (!backend->openClient())
        return nullptr;
    return backend;
}

JackMidiBackend::JackMidiBackend() : m_outBuffer(kOutputBufferBytes) {}

// The client "Quenlor" (or the session's name for it) with its two ports, running.
bool JackMidiBackend::openClient() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    jack_status_t status;
    m_client = jack_client_open(m_clientName.c_str(), JackNoStartServer, &status);
    if (!m_client)
        return false;
    m_inPort = jack_port_register(m_client, kInputPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_outPort = jack_port_register(m_client, kOutputPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_serverGone = false;
    if (m_inPort && m_outPort) {
        jack_set_process_callback(m_client, &JackMidiBackend::process, this);
        jack_on_shutdown(m_client, &JackMidiBackend::shutdown, this);
        jack_set_port_registration_callback(m_client, &JackMidiBackend::portRegistered, this);
        jack_set_port_rename_callback(m_client, &JackMidiBackend::portRenamed, this);
        if (jack_activate(m_client) == 0)
            return true;
    }
    jack_client_close(m_client);
    m_client = nullptr;
    m_inPort = m_outPort = nullptr;
    return false;
}

// A client whose server went away can only be closed. It is closed from here, on the
// program's thread, since libjack forbids closing it from the shutdown notice; and it
// is closed before any new client is tried, since libjack keeps one set of the
// server's shared tables per process while any client of it is open.
void JackMidiBackend::closeDeadClient() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    if (!m_client || !m_serverGone)
        return;
    jack_client_close(m_client);
    m_client = nullptr;
    m_inPort = m_outPort = nullptr;
    // The connections went with the server, and the messages still waiting were
    // meant for it: none of them may reach the next one. The process thread has
    // ended with the close, so nothing reads the buffer meanwhile.
    m_inputSource.clear();
    m_outputDestination.clear();
    m_outBuffer.reset();
    m_placedUs = m_handedUs.load();
    m_lastHandedUs = 0;
    m_placement.reset();
}

// True when the client is on a running server, opening a new one if the last went away.
bool JackMidiBackend::reachServer() {
    closeDeadClient();
    return m_client || openClient();
}

JackMidiBackend::~JackMidiBackend() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    if (m_client)
        jack_client_close(m_client); // stops the process thread before the buffer goes
}

jack_native_thread_t JackMidiBackend::processThread() const {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    return m_client ? jack_client_thread_id(m_client) : jack_native_thread_t();
}

QString JackMidiBackend::clientName() const {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    return m_client ? QString::fromUtf8(jack_get_client_name(m_client)) : QString();
}

QStringList JackMidiBackend::portNames(unsigned long flags) {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    QStringList names;
    if (!reachServer())
        return names;
    const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (!ports)
        return names;
    for (const char** p = ports; *p; ++p) {
        const QString name = QString::fromUtf8(*p);
        if (isDevice(name))
            names << name;
    }
    jack_free(ports);
    return names;
}

bool JackMidiBackend::isDevice(const QString& port) {
    return !isProgramClient(port.section(QLatin1Char(':'), 0, 0));
}

std::optional<QStringList> JackMidiBackend::programOutputConnections() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    // Without a server, or holding the name itself, there is no program running.
    if (!reachServer() || clientName() == QLatin1String(kClientName))
        return std::nullopt;
    const std::string programOutput = defaultOutputName().toStdString();
    jack_port_t* port = jack_port_by_name(m_client, programOutput.c_str());
    if (!port)
        return std::nullopt;
    QStringList ends;
    const char** connections = jack_port_get_all_connections(m_client, port);
    for (const char** c = connections; c && *c; ++c)
        ends << QString::fromUtf8(*c);
    jack_free(connections);
    // In the order the devices are listed.
    QStringList connected;
    for (const QString& device : outputNames())
        if (ends.contains(device)) connected << device;
    return connected;
}

bool JackMidiBackend::addOutputConnection(int index) {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    const QStringList names = outputNames();
    if (index < 0 || index >= names.size())
        return false;
    const int result =
        jack_connect(m_client, jack_port_name(m_outPort), names.at(index).toUtf8().constData());
    return result == 0 || result == EEXIST;
}

// The program's inputs are the ports that others write to, and the other way round.
QStringList JackMidiBackend::inputNames() { return portNames(JackPortIsOutput); }
QStringList JackMidiBackend::outputNames() { return portNames(JackPortIsInput); }

// The handler is live before any connection is made, and stays so when none can be: a
// patchbay's connections to "MIDI In" are heard as the device's are, and so are those of
// a client reached later, on a server that comes back.
bool JackMidiBackend::openInput(int index, InputHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    closeInput();
    m_handler = std::move(handler); // closeInput() took it from the process thread
    m_liveHandler = &m_handler;
    if (index == -1) {
        reachServer(); // the port alone, on a server that was restarted
        return true;
    }
    const QStringList names = inputNames();
    if (index < 0 || index >= names.size())
        return false;
    const std::string source = names.at(index).toStdString();
    const int result = jack_connect(m_client, source.c_str(), jack_port_name(m_inPort));
    if (result != 0 && result != EEXIST)
        return false;
    m_inputSource = source;
    return true;
}

void JackMidiBackend::closeInput() {
    std::lock_guard<std::recursive_mutex> client(m_clientMutex);
    closeDeadClient();
    if (!m_inputSource.empty() && m_client)
        jack_disconnect(m_client, m_inputSource.c_str(), jack_port_name(m_inPort));
    m_inputSource.clear();
    m_liveHandler = nullptr;
    waitUntilNoCycleRuns();
    m_handler = nullptr;
}

// A cycle that began before the handler was taken away may still be calling it; one that
// begins after sees none.
void JackMidiBackend::waitUntilNoCycleRuns() {
    const auto deadline = std::chrono::steady_clock::now() + kCycleEndPatience;
    while (m_inCycle && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

bool JackMidiBackend::openOutput(int index) {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    closeOutput();
    if (index == -1) {
        reachServer(); // the virtual port alone, back on a server that was restarted
        return true;
    }
    const QStringList names = outputNames();
    if (index < 0 || index >= names.size())
        return false;
    const std::string destination = names.at(index).toStdString();
    waitForCleanCycle();
    const int result = jack_connect(m_client, jack_port_name(m_outPort), destination.c_str());
    if (result != 0 && result != EEXIST)
        return false;
    m_outputDestination = destination;
    return true;
}

// The port's buffer still holds what the last cycle put there for the connection just
// closed, and a device that reads the port ahead of the program in the server's order
// would get that cycle's buffer when connected: one cycle that ran since the close has
// emptied it. A few milliseconds, and only while messages were going out.
void JackMidiBackend::waitForCleanCycle() {
    if (!m_client || m_serverGone || m_connectionSeen == m_connection) return;
    const auto deadline = std::chrono::steady_clock::now() + kCleanCyclePatience;
    while (m_connectionSeen != m_connection && !m_serverGone &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void JackMidiBackend::closeOutput() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    ++m_connection;
    closeDeadClient();
    if (!m_outputDestination.empty() && m_client)
        jack_disconnect(m_client, jack_port_name(m_outPort), m_outputDestination.c_str());
    m_outputDestination.clear();
}

bool JackMidiBackend::send(const uint8_t* bytes, std::size_t size) {
    return sendTimed(bytes, size, {SteadyPacingClock().now(), {}});
}

// On the output port's sender thread. The message goes into the buffer with its due time
// on JACK's own clock; the process cycle puts it at the frame of that time.
bool JackMidiBackend::sendTimed(const uint8_t* bytes, std::size_t size, const SendTiming& timing) {
    const std::size_t needed = sizeof(MessageHeader) + size;
    if (size == 0 || needed > kOutputBufferBytes / 2)
        return false;
    // Without a server the message goes nowhere, at once; the server is not looked
    // for again here, only when a device is listed or opened.
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    // A dead client is closed at once, so that a new client of this process (the program's
    // after a restart, or another one's) never meets it.
    closeDeadClient();
    if (!m_client)
        return false;
    const int64_t fromNow = (timing.Due - SteadyPacingClock().now()).count();
    const int64_t jackNow = int64_t(jack_get_time());
    MessageHeader header;
    header.Due = jack_time_t(std::max<int64_t>(jackNow + fromNow, 0));
    header.GapUs = uint32_t(std::clamp<int64_t>(timing.Gap.count(), 0, INT32_MAX));
    header.Length = uint32_t(size);
    header.Connection = m_connection;
    // This thread alone writes, so the room seen here stays for both parts.
    if (m_outBuffer.writeSpace() < needed) return false;
    m_outBuffer.write(&header, sizeof header);
    m_outBuffer.write(bytes, size);
    m_lastHandedUs = uint64_t(OutputQueue::cableTime(size).count());
    m_handedUs += m_lastHandedUs;
    return true;
}

// Two periods ahead, while what waits in the buffer before the message handed over last
// is less than two periods of cable time: the cycles that run take it out, so that when
// the server stalls the buffer holds no more than that, and a server whose cycles run
// late (which places messages later than they were due, a lateness that adds up while
// the cable is full) keeps a patch waiting behind no more. A dump's Program Change can
// follow it into the buffer at once. The period is read each time: a server started
// again may run another.
std::chrono::microseconds JackMidiBackend::handOverUntil(std::chrono::microseconds now) {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    if (!m_client || m_serverGone) return now; // sent now, dropped and counted at once
    const jack_nframes_t rate = jack_get_sample_rate(m_client);
    if (rate == 0) return now;
    const auto ahead = std::chrono::microseconds(
        kPeriodsAhead * int64_t(jack_get_buffer_size(m_client)) * kMicrosPerSecond / rate);
    if (int64_t(m_handedUs - m_placedUs - m_lastHandedUs) > ahead.count())
        return now - std::chrono::hours(1); // before any due time
    return now + ahead;
}

// The client learns of a new connection a moment after making it, but knew the device's
// port before: that port going away is what ends the device.
bool JackMidiBackend::outputDelivers() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    return connected() && (m_outputDestination.empty() ||
                           jack_port_by_name(m_client, m_outputDestination.c_str()));
}

// The last message has left when the buffer is empty and the process cycle has run past
// the end of its bytes on the cable by another cycle: a client that reads the port ahead
// of this one in the server's order (one that also feeds the program's input) gets the
// message a cycle late. The cycles themselves are counted, not the clock: a late server
// runs them behind time.
bool JackMidiBackend::drain(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
            if (!m_client || m_serverGone) return false; // what was handed over may not have left
            const jack_nframes_t settled = m_lastEnd.load() + 2 * jack_get_buffer_size(m_client);
            if (m_outBuffer.readSpace() == 0 &&
                !frameBefore(m_cycleStart.load(), settled))
                return true;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int JackMidiBackend::process(jack_nframes_t frames, void* self) {
    auto* backend = static_cast<JackMidiBackend*>(self);
    const jack_time_t begin = jack_get_time();
    backend->m_inCycle = true;
    backend->processInput(frames);
    backend->processOutput(frames);
    backend->m_inCycle = false;
    const auto took = uint32_t(std::min<jack_time_t>(jack_get_time() - begin, UINT32_MAX));
    if (took > backend->m_longestCycle.load(std::memory_order_relaxed))
        backend->m_longestCycle.store(took, std::memory_order_relaxed);
    return 0;
}

// Each message goes at the frame of its due time, but never sooner than the gap after
// the previous one's frame, so that the spacing holds on the wire whatever the delay
// between the sender thread and the cycle. A message due before this cycle goes at its
// start; one due after it waits in the buffer.
void JackMidiBackend::processOutput(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(m_outPort, frames);
    jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(m_client);
    m_cycleStart = cycleStart;
    const uint32_t connection = m_connection;
    const jack_nframes_t rate = jack_get_sample_rate(m_client);
    m_placement.beginCycle(cycleStart, rate);
    MessageHeader header;
    while (m_outBuffer.peek(&header, sizeof header)) {
        if (m_outBuffer.readSpace() < sizeof header + header.Length)
            break; // the sender is still writing the bytes
        if (header.Connection != connection) {
            m_outBuffer.read(nullptr, sizeof header + header.Length);
            m_placedUs += uint64_t(OutputQueue::cableTime(header.Length).count());
            continue; // meant for a connection that was closed since
        }
        // The start is kept in microseconds, so that rounding to frames never adds up
        // over a run of messages; each message goes at the first frame at or after it.
        jack_time_t start = header.Due;
        if (m_placement.placedAny()) start = std::max(start, m_lastStart + header.GapUs);
        jack_nframes_t due = jack_time_to_frames(m_client, start);
        if (jack_frames_to_time(m_client, due) < start) ++due;
        // The server's estimate of time against frames moves from cycle to cycle; the
        // frames themselves keep the gap, rounded up to whole frames. A late message
        // goes at the cycle's start, and the next keeps its distance from there.
        const jack_nframes_t frame = m_placement.place(due, header.GapUs);
        if (frame == cycleStart) start = std::max(start, jack_frames_to_time(m_client, frame));
        const jack_nframes_t offset = frame - cycleStart;
        if (offset >= frames) break;
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, offset, header.Length);
        if (!event) break; // the cycle's buffer is full: the next cycle
        // Set before the buffer empties: Drain() takes an empty buffer and a frame time
        // past this as the message having left.
        m_lastEnd = frame + framesFor(OutputQueue::cableTime(header.Length).count(), rate);
        m_placement.placed(frame);
        m_lastStart = start;
        m_outBuffer.read(nullptr, sizeof header);
        m_outBuffer.read(event, header.Length);
        m_placedUs += uint64_t(OutputQueue::cableTime(header.Length).count());
    }
    m_connectionSeen = connection;
}

void JackMidiBackend::processInput(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(m_inPort, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    const InputHandler* handler = count > 0 ? m_liveHandler.load() : nullptr;
    if (!handler)
        return;
    jack_midi_event_t event;
    for (jack_nframes_t i = 0; i < count; ++i) {
        if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0)
            (*handler)(event.buffer, event.size);
    }
}

void JackMidiBackend::shutdown(void* self) { static_cast<JackMidiBackend*>(self)->m_serverGone = true; }

// The sender thread may close a dead client, and with it the connections, meanwhile.
bool JackMidiBackend::outputConnected() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    return m_outputDestination.empty() ||
           (connected() && jack_port_connected_to(m_outPort, m_outputDestination.c_str()));
}

bool JackMidiBackend::inputConnected() {
    std::lock_guard<std::recursive_mutex> lock(m_clientMutex);
    return m_inputSource.empty() ||
           (connected() && jack_port_connected_to(m_inPort, m_inputSource.c_str()));
}

void JackMidiBackend::setDevicesChangedHandler(DevicesChangedHandler handler) {
    std::lock_guard<std::mutex> lock(m_devicesMutex);
    m_devicesChanged = std::move(handler);
}

void JackMidiBackend::portRegistered(jack_port_id_t port, int, void* self) {
    static_cast<JackMidiBackend*>(self)->portChanged(port);
}

void JackMidiBackend::portRenamed(jack_port_id_t port, const char*, const char*, void* self) {
    static_cast<JackMidiBackend*>(self)->portChanged(port);
}

// On the server's notification thread. The program's own ports and audio ports change
// no device list; a port already gone is reported, since it may have been a device.
void JackMidiBackend::portChanged(jack_port_id_t id) {
    if (const jack_port_t* port = jack_port_by_id(m_client, id)) {
        if (jack_port_is_mine(m_client, port) ||
            std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) != 0)
            return;
    }
    std::lock_guard<std::mutex> lock(m_devicesMutex);
    if (m_devicesChanged)
        m_devicesChanged();
}
