#include "CaptureClient.h"

#include <jack/midiport.h>

#include <cstring>

CaptureClient::CaptureClient(const char* name) {
    m_client = jack_client_open(name, jack_options_t(JackNoStartServer | JackUseExactName), nullptr);
    if (!m_client)
        return;
    m_input = jack_port_register(m_client, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_output = jack_port_register(m_client, "output", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(m_client, &CaptureClient::process, this);
    jack_set_xrun_callback(m_client, &CaptureClient::xrun, this);
    jack_activate(m_client);
}

CaptureClient::~CaptureClient() {
    if (m_client)
        jack_client_close(m_client);
}

int CaptureClient::process(jack_nframes_t frames, void* self) {
    auto* c = static_cast<CaptureClient*>(self);
    void* in = jack_port_get_buffer(c->m_input, frames);
    void* out = jack_port_get_buffer(c->m_output, frames);
    jack_midi_clear_buffer(out);
    std::lock_guard<std::mutex> lock(c->m_mutex);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    jack_midi_event_t event;
    const jack_nframes_t cycleStart = jack_last_frame_time(c->m_client);
    for (jack_nframes_t i = 0; i < count; ++i)
        if (jack_midi_event_get(&event, in, i) == 0) {
            c->m_received.emplace_back(event.buffer, event.buffer + event.size);
            c->m_frames.push_back(cycleStart + event.time);
        }
    // Spread over the cycle, as messages from a cable would be.
    constexpr std::size_t kMostPerCycle = 64;
    const std::size_t n = std::min(c->m_toPlay.size(), kMostPerCycle);
    for (std::size_t i = 0; i < n; ++i) {
        const Bytes& m = c->m_toPlay.front();
        const jack_nframes_t time = jack_nframes_t(i * frames / kMostPerCycle);
        if (jack_midi_event_write(out, time, m.data(), m.size()) != 0)
            break;
        c->m_toPlay.pop_front();
        c->m_played.push_back(cycleStart + time);
    }
    return 0;
}

int CaptureClient::xrun(void* self) {
    ++static_cast<CaptureClient*>(self)->m_xruns;
    return 0;
}

std::vector<CaptureClient::Bytes> CaptureClient::received() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::size_t CaptureClient::receivedCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received.size();
}

std::vector<jack_nframes_t> CaptureClient::receivedFrames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

void CaptureClient::clearReceived() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.clear();
    m_frames.clear();
}

void CaptureClient::play(const Bytes& message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_toPlay.push_back(message);
}

std::vector<jack_nframes_t> CaptureClient::playedFrames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_played;
}

std::size_t CaptureClient::waiting() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_toPlay.size();
}
