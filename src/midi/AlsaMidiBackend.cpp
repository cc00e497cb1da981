#include "AlsaMidiBackend.h"

#include "ShortMessage.h"

#include <cerrno>
#include <cstdarg>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
const char* const kClientName = MidiBackend::kClientName;
const char* const kInputPortName = MidiBackend::kInputPortName;
const char* const kOutputPortName = MidiBackend::kOutputPortName;
const char* const kSequencerDevice = "/dev/snd/seq";

// What a device must offer to be listed: others may subscribe to it, in the direction
// the program uses it.
constexpr unsigned kOutputCapabilities = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kInputCapabilities = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
// Ports that carry MIDI; timers, announcements and the like are left out.
constexpr unsigned kMidiPortTypes =
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;
// The program's ports, as patchbays show them.
constexpr unsigned kOwnPortType = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;

// The longest message decoded from a received event; System Exclusive input is not
// passed on, so a short message is the longest that matters.
constexpr std::size_t kDecodeBytes = 16;

// libasound prints its failures; the program reports none and sees them in results.
void silentError(const char*, int, const char*, int, const char*, ...) {}

// Subscribing to a port that is subscribed already (in a patchbay, say) is no failure.
bool connected(int result) {
    return result == 0 || result == -EBUSY;
}

bool isAnnouncement(const snd_seq_event_t& event) {
    switch (event.type) {
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_CLIENT_CHANGE:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_PORT_CHANGE:
        return true;
    default:
        return false;
    }
}

// The product name of a sequencer port: "client:port", without the numbers, which
// change from run to run.
QString portName(const char* client, const char* port) {
    return QString::fromUtf8(client) + ':' + QString::fromUtf8(port);
}
} // namespace

std::unique_ptr<AlsaMidiBackend> AlsaMidiBackend::open(const std::string& clientName) {
    // Checked first so that a system without the sequencer costs no library noise.
    if (access(kSequencerDevice, R_OK | W_OK) != 0) return nullptr;
    snd_lib_error_set_handler(silentError);
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return nullptr;
    std::unique_ptr<AlsaMidiBackend> backend(new AlsaMidiBackend(seq));
    backend->m_clientName = clientName;
    if (!backend->createPorts()) return nullptr;
    backend->m_reader = std::thread(&AlsaMidiBackend::readInput, backend.get());
    return backend;
}

AlsaMidiBackend::AlsaMidiBackend(snd_seq_t* seq) : m_seq(seq) {}

// The client, its two ports, the coders of events and the announcements.
bool AlsaMidiBackend::createPorts() {
    if (snd_seq_set_client_name(m_seq, m_clientName.c_str()) < 0) return false;
    m_clientId = snd_seq_client_id(m_seq);
    // The output first: it becomes port 0, the one the README's aconnect line names.
    m_outPort =
        snd_seq_create_simple_port(m_seq, kOutputPortName, kInputCapabilities, kOwnPortType);
    m_inPort = snd_seq_create_simple_port(m_seq, kInputPortName, kOutputCapabilities, kOwnPortType);
    if (m_clientId < 0 || m_outPort < 0 || m_inPort < 0) return false;
    if (snd_midi_event_new(MidiBytes::kShortMessageMax, &m_encoder) < 0 ||
        snd_midi_event_new(kDecodeBytes, &m_decoder) < 0)
        return false;
    // Every decoded message starts with its status byte: the program forwards messages
    // one by one, so running status would lose the status of all but the first.
    snd_midi_event_no_status(m_decoder, 1);
    // The system's announcements arrive at "MIDI In" like any message and are told apart
    // by their sender.
    if (snd_seq_connect_from(m_seq, m_inPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) <
        0)
        return false;
    return pipe2(m_wakePipe, O_CLOEXEC) == 0;
}

AlsaMidiBackend::~AlsaMidiBackend() {
    if (m_reader.joinable()) {
        const char stop = 0;
        (void)!write(m_wakePipe[1], &stop, 1);
        m_reader.join();
    }
    for (int fd : m_wakePipe) {
        if (fd >= 0) close(fd);
    }
    if (m_encoder) snd_midi_event_free(m_encoder);
    if (m_decoder) snd_midi_event_free(m_decoder);
    snd_seq_close(m_seq); // removes the client with its ports and subscriptions
}

// Every port of every client that is not the program's (this run's, another program's or
// the companion's, all named "Quenlor") and offers `capabilities`, in the sequencer's order.
std::vector<AlsaMidiBackend::Device> AlsaMidiBackend::devices(unsigned capabilities) {
    std::vector<Device> found;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    std::lock_guard<std::mutex> lock(m_seqMutex);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == SND_SEQ_CLIENT_SYSTEM || id == m_clientId ||
            isProgramClient(QString::fromUtf8(snd_seq_client_info_get_name(client))))
            continue;
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(m_seq, port) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(port);
            if ((caps & capabilities) != capabilities || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) ||
                !(snd_seq_port_info_get_type(port) & kMidiPortTypes))
                continue;
            found.push_back(
                {portName(snd_seq_client_info_get_name(client), snd_seq_port_info_get_name(port)),
                 *snd_seq_port_info_get_addr(port)});
        }
    }
    return found;
}

QStringList AlsaMidiBackend::inputNames() {
    QStringList names;
    for (const Device& d : devices(kInputCapabilities))
        names << d.Name;
    return names;
}

QStringList AlsaMidiBackend::outputNames() {
    QStringList names;
    for (const Device& d : devices(kOutputCapabilities))
        names << d.Name;
    return names;
}

// The handler takes what every subscriber of "MIDI In" sends, the one a patchbay made as
// well as the device's, and it does so whether or not the device can be subscribed.
bool AlsaMidiBackend::openInput(int index, InputHandler handler) {
    closeInput();
    {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        m_handler = std::move(handler);
    }
    if (index == -1) return true; // "MIDI In" alone, there since start-up
    const std::vector<Device> list = devices(kInputCapabilities);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
    const snd_seq_addr_t source = list[static_cast<std::size_t>(index)].Address;
    int result;
    {
        std::lock_guard<std::mutex> lock(m_seqMutex);
        result = snd_seq_connect_from(m_seq, m_inPort, source.client, source.port);
    }
    if (!connected(result)) return false;
    m_inputSource = source;
    m_inputOpen = true;
    return true;
}

void AlsaMidiBackend::closeInput() {
    if (m_inputOpen) {
        // Fails harmlessly when the device went away and took the subscription with it.
        std::lock_guard<std::mutex> lock(m_seqMutex);
        snd_seq_disconnect_from(m_seq, m_inPort, m_inputSource.client, m_inputSource.port);
        m_inputOpen = false;
    }
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_handler = nullptr;
}

bool AlsaMidiBackend::openOutput(int index) {
    closeOutput();
    if (index == -1) return true; // "MIDI Out" alone, there since start-up
    const std::vector<Device> list = devices(kOutputCapabilities);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
    const snd_seq_addr_t destination = list[static_cast<std::size_t>(index)].Address;
    std::lock_guard<std::mutex> lock(m_seqMutex);
    if (!connected(snd_seq_connect_to(m_seq, m_outPort, destination.client, destination.port)))
        return false;
    m_outputDestination = destination;
    m_outputOpen = true;
    return true;
}

// The port "MIDI Out" of the first other client named "Quenlor", and the ports that
// read from it.
std::optional<QStringList> AlsaMidiBackend::programOutputConnections() {
    std::vector<snd_seq_addr_t> readers;
    bool found = false;
    {
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* port;
        snd_seq_query_subscribe_t* query;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_query_subscribe_alloca(&query);
        std::lock_guard<std::mutex> lock(m_seqMutex);
        snd_seq_client_info_set_client(client, -1);
        while (!found && snd_seq_query_next_client(m_seq, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == m_clientId || QLatin1String(snd_seq_client_info_get_name(client)) !=
                                        QLatin1String(kClientName))
                continue;
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (!found && snd_seq_query_next_port(m_seq, port) >= 0) {
                if (QLatin1String(snd_seq_port_info_get_name(port)) != QLatin1String(kOutputPortName))
                    continue;
                found = true;
                snd_seq_query_subscribe_set_root(query, snd_seq_port_info_get_addr(port));
                snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
                snd_seq_query_subscribe_set_index(query, 0);
                while (snd_seq_query_port_subscribers(m_seq, query) >= 0) {
                    readers.push_back(*snd_seq_query_subscribe_get_addr(query));
                    snd_seq_query_subscribe_set_index(query,
                                                      snd_seq_query_subscribe_get_index(query) + 1);
                }
            }
        }
    }
    if (!found) return std::nullopt;
    QStringList connected;
    for (const Device& d : devices(kOutputCapabilities))
        for (const snd_seq_addr_t& reader : readers)
            if (reader.client == d.Address.client && reader.port == d.Address.port)
                connected << d.Name;
    return connected;
}

bool AlsaMidiBackend::addOutputConnection(int index) {
    const std::vector<Device> list = devices(kOutputCapabilities);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
    const snd_seq_addr_t destination = list[static_cast<std::size_t>(index)].Address;
    std::lock_guard<std::mutex> lock(m_seqMutex);
    return connected(snd_seq_connect_to(m_seq, m_outPort, destination.client, destination.port));
}

void AlsaMidiBackend::closeOutput() {
    if (!m_outputOpen) return;
    std::lock_guard<std::mutex> lock(m_seqMutex);
    snd_seq_disconnect_to(m_seq, m_outPort, m_outputDestination.client, m_outputDestination.port);
    m_outputOpen = false;
}

// Every message goes to the subscribers of "MIDI Out": the opened device and whatever
// the user connected. It is delivered at once and the call returns when the sequencer
// has taken it. Each subscriber gets it or not on its own: one that is full loses it
// and holds up none of the others.
bool AlsaMidiBackend::send(const uint8_t* bytes, std::size_t size) {
    if (size == 0) return false;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    std::lock_guard<std::mutex> lock(m_seqMutex);
    if (bytes[0] == MidiBytes::kSystem) {
        // One event holds the whole message, so that nothing can come between its bytes.
        snd_seq_ev_set_sysex(&event, static_cast<unsigned>(size), const_cast<uint8_t*>(bytes));
    } else {
        snd_midi_event_reset_encode(m_encoder);
        if (snd_midi_event_encode(m_encoder, bytes, static_cast<long>(size), &event) <= 0 ||
            event.type == SND_SEQ_EVENT_NONE)
            return false; // not a complete message
    }
    snd_seq_ev_set_source(&event, m_outPort);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    int result = snd_seq_event_output(m_seq, &event);
    if (result >= 0) result = snd_seq_drain_output(m_seq);
    if (result == -EAGAIN) {
        // A subscriber with no room left (one that stopped reading, such as a frozen
        // patchbay monitor) makes the sequencer answer -EAGAIN, yet it has offered the
        // event to every subscriber and delivered it to all that had room: the message
        // is sent. It stays in the output buffer, from where a later drain would send
        // it a second time.
        snd_seq_drop_output_buffer(m_seq);
        return true;
    }
    if (result < 0)
        snd_seq_drop_output(m_seq); // what failed is not sent later, after newer messages
    return result >= 0;
}

// A subscription goes with either of its ports; a port that comes back later, even
// under the same numbers, starts without it.
bool AlsaMidiBackend::subscribed(snd_seq_addr_t sender, snd_seq_addr_t destination) {
    snd_seq_port_subscribe_t* subscription;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &destination);
    std::lock_guard<std::mutex> lock(m_seqMutex);
    return snd_seq_get_port_subscription(m_seq, subscription) == 0;
}

bool AlsaMidiBackend::outputConnected() {
    const snd_seq_addr_t own{static_cast<unsigned char>(m_clientId),
                             static_cast<unsigned char>(m_outPort)};
    return !m_outputOpen || subscribed(own, m_outputDestination);
}

bool AlsaMidiBackend::inputConnected() {
    const snd_seq_addr_t own{static_cast<unsigned char>(m_clientId),
                             static_cast<unsigned char>(m_inPort)};
    return !m_inputOpen || subscribed(m_inputSource, own);
}

void AlsaMidiBackend::setDevicesChangedHandler(DevicesChangedHandler handler) {
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_devicesChanged = std::move(handler);
}

// The reading thread: waits for events at "MIDI In" or for the end, and takes every event
// the sequencer holds each time it wakes.
void AlsaMidiBackend::readInput() {
    std::vector<pollfd> fds;
    {
        std::lock_guard<std::mutex> lock(m_seqMutex);
        const int count = snd_seq_poll_descriptors_count(m_seq, POLLIN);
        fds.resize(static_cast<std::size_t>(std::max(count, 0)));
        snd_seq_poll_descriptors(m_seq, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
    }
    fds.push_back({m_wakePipe[0], POLLIN, 0});
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds.back().revents) return;
        // A sequencer that failed for good would wake the thread at once, forever.
        for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
            if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL))
                return;
        }
        bool devicesChanged = false;
        {
            std::lock_guard<std::mutex> lock(m_seqMutex);
            // Reads from the sequencer once (it has something: the poll said so), then
            // takes the events read; a further read would wait.
            if (snd_seq_event_input_pending(m_seq, 1) <= 0) continue;
            do {
                snd_seq_event_t* event = nullptr;
                if (snd_seq_event_input(m_seq, &event) < 0 || !event)
                    break; // an overrun: what was lost is lost; the next wake goes on
                if (event->source.client == SND_SEQ_CLIENT_SYSTEM) {
                    if (isAnnouncement(*event) && event->data.addr.client != m_clientId)
                        devicesChanged = true;
                } else {
                    received(*event);
                }
            } while (snd_seq_event_input_pending(m_seq, 0) > 0);
        }
        if (devicesChanged) {
            std::lock_guard<std::mutex> lock(m_handlerMutex);
            if (m_devicesChanged) m_devicesChanged();
        }
    }
}

// One event from a device or a player a patchbay connected: its bytes go to the input
// handler while the input listens.
void AlsaMidiBackend::received(const snd_seq_event_t& event) {
    if (event.type == SND_SEQ_EVENT_SYSEX) return; // System Exclusive input is not passed on
    unsigned char bytes[kDecodeBytes];
    snd_midi_event_reset_decode(m_decoder);
    const long size = snd_midi_event_decode(m_decoder, bytes, sizeof bytes, &event);
    if (size <= 0) return; // not a MIDI message
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    if (m_handler) m_handler(bytes, static_cast<std::size_t>(size));
}
