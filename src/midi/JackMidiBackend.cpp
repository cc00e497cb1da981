#include "JackMidiBackend.h"

#include <jack/midiport.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {
const char* const kClientName = "Quenlor";
const char* const kInputPortName = "MIDI In";
const char* const kOutputPortName = "MIDI Out";

// Room for the messages of many process cycles: about 700 patch dumps.
constexpr std::size_t kOutputBufferBytes = 1u << 16;
// Each message in the output buffer is its length followed by its bytes.
using MessageLength = uint32_t;
// How long a send waits for room while the server is slow to take messages.
constexpr auto kSendPatience = std::chrono::milliseconds(500);

void silent(const char*) {}
} // namespace

std::unique_ptr<JackMidiBackend> JackMidiBackend::Open() {
    // libjack prints every failed attempt to reach a server; the program reports none.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
    std::unique_ptr<JackMidiBackend> backend(new JackMidiBackend);
    backend->m_outBuffer = jack_ringbuffer_create(kOutputBufferBytes);
    if (!backend->m_outBuffer || !backend->openClient())
        return nullptr;
    return backend;
}

// The client "Quenlor" with its two ports, running.
bool JackMidiBackend::openClient() {
    jack_status_t status;
    m_client = jack_client_open(kClientName, JackNoStartServer, &status);
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
    jack_ringbuffer_reset(m_outBuffer);
}

// True when the client is on a running server, opening a new one if the last went away.
bool JackMidiBackend::reachServer() {
    closeDeadClient();
    return m_client || openClient();
}

JackMidiBackend::~JackMidiBackend() {
    if (m_client)
        jack_client_close(m_client); // stops the process thread before the buffer goes
    if (m_outBuffer)
        jack_ringbuffer_free(m_outBuffer);
}

QString JackMidiBackend::ClientName() const {
    return m_client ? QString::fromUtf8(jack_get_client_name(m_client)) : QString();
}

QStringList JackMidiBackend::portNames(unsigned long flags) {
    QStringList names;
    if (!reachServer())
        return names;
    const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (!ports)
        return names;
    const QString own = ClientName() + ':';
    for (const char** p = ports; *p; ++p) {
        const QString name = QString::fromUtf8(*p);
        if (!name.startsWith(own))
            names << name;
    }
    jack_free(ports);
    return names;
}

// The program's inputs are the ports that others write to, and the other way round.
QStringList JackMidiBackend::InputNames() { return portNames(JackPortIsOutput); }
QStringList JackMidiBackend::OutputNames() { return portNames(JackPortIsInput); }

bool JackMidiBackend::OpenInput(int index, InputHandler handler) {
    CloseInput();
    const QStringList names = InputNames();
    if (index < 0 || index >= names.size())
        return false;
    const std::string source = names.at(index).toStdString();
    {
        std::lock_guard<std::mutex> lock(m_inputMutex);
        m_handler = std::move(handler);
    }
    const int result = jack_connect(m_client, source.c_str(), jack_port_name(m_inPort));
    if (result != 0 && result != EEXIST) {
        std::lock_guard<std::mutex> lock(m_inputMutex);
        m_handler = nullptr;
        return false;
    }
    m_inputSource = source;
    return true;
}

void JackMidiBackend::CloseInput() {
    closeDeadClient();
    if (!m_inputSource.empty() && m_client)
        jack_disconnect(m_client, m_inputSource.c_str(), jack_port_name(m_inPort));
    m_inputSource.clear();
    std::lock_guard<std::mutex> lock(m_inputMutex);
    m_handler = nullptr;
}

bool JackMidiBackend::OpenOutput(int index) {
    CloseOutput();
    if (index == -1) {
        reachServer(); // the virtual port alone, back on a server that was restarted
        return true;
    }
    const QStringList names = OutputNames();
    if (index < 0 || index >= names.size())
        return false;
    const std::string destination = names.at(index).toStdString();
    const int result = jack_connect(m_client, jack_port_name(m_outPort), destination.c_str());
    if (result != 0 && result != EEXIST)
        return false;
    m_outputDestination = destination;
    return true;
}

void JackMidiBackend::CloseOutput() {
    closeDeadClient();
    if (!m_outputDestination.empty() && m_client)
        jack_disconnect(m_client, jack_port_name(m_outPort), m_outputDestination.c_str());
    m_outputDestination.clear();
}

void JackMidiBackend::Send(const uint8_t* bytes, std::size_t size) {
    const MessageLength length = static_cast<MessageLength>(size);
    const std::size_t needed = sizeof length + size;
    if (size == 0 || needed > kOutputBufferBytes / 2)
        return;
    // Without a server the message goes nowhere, at once; the server is not looked
    // for again here, only when a device is listed or opened.
    closeDeadClient();
    if (!m_client)
        return;
    // A message is never dropped while the server takes messages; it is only held up
    // until the process cycle has made room.
    const auto deadline = std::chrono::steady_clock::now() + kSendPatience;
    while (jack_ringbuffer_write_space(m_outBuffer) < needed) {
        if (m_serverGone || std::chrono::steady_clock::now() > deadline)
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    jack_ringbuffer_write(m_outBuffer, reinterpret_cast<const char*>(&length), sizeof length);
    jack_ringbuffer_write(m_outBuffer, reinterpret_cast<const char*>(bytes), size);
}

int JackMidiBackend::process(jack_nframes_t frames, void* self) {
    auto* backend = static_cast<JackMidiBackend*>(self);
    backend->processInput(frames);
    backend->processOutput(frames);
    return 0;
}

void JackMidiBackend::processOutput(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(m_outPort, frames);
    jack_midi_clear_buffer(buffer);
    MessageLength length = 0;
    while (jack_ringbuffer_read_space(m_outBuffer) >= sizeof length) {
        jack_ringbuffer_peek(m_outBuffer, reinterpret_cast<char*>(&length), sizeof length);
        if (jack_ringbuffer_read_space(m_outBuffer) < sizeof length + length)
            break; // the sender is still writing the bytes
        // All events go at the start of the cycle, in order; what does not fit in this
        // cycle's buffer waits for the next one.
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, length);
        if (!event)
            break;
        jack_ringbuffer_read_advance(m_outBuffer, sizeof length);
        jack_ringbuffer_read(m_outBuffer, reinterpret_cast<char*>(event), length);
    }
}

void JackMidiBackend::processInput(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(m_inPort, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    if (count == 0)
        return;
    std::lock_guard<std::mutex> lock(m_inputMutex);
    if (!m_handler)
        return;
    jack_midi_event_t event;
    for (jack_nframes_t i = 0; i < count; ++i) {
        if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0)
            m_handler(event.buffer, event.size);
    }
}

void JackMidiBackend::shutdown(void* self) { static_cast<JackMidiBackend*>(self)->m_serverGone = true; }

bool JackMidiBackend::OutputConnected() {
    return m_outputDestination.empty() ||
           (Connected() && jack_port_connected_to(m_outPort, m_outputDestination.c_str()));
}

bool JackMidiBackend::InputConnected() {
    return m_inputSource.empty() ||
           (Connected() && jack_port_connected_to(m_inPort, m_inputSource.c_str()));
}

void JackMidiBackend::SetDevicesChangedHandler(DevicesChangedHandler handler) {
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
