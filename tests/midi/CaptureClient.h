#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// A JACK client of the tests, "capture" unless named otherwise: records every MIDI event
// arriving at its port "input" with its frame time, and plays queued messages out of its
// port "output", a few per cycle.
class CaptureClient {
public:
    using Bytes = std::vector<uint8_t>;
    explicit CaptureClient(const char* name = "capture");
    ~CaptureClient();
    bool isOpen() const { return m_client != nullptr; }
    jack_client_t* client() const { return m_client; }
    // Whether the server has told this client of a connection from port a to port b;
    // it learns of a new connection a moment after it is made.
    bool connected(const char* a, const char* b) const {
        jack_port_t* port = jack_port_by_name(m_client, a);
        return port && jack_port_connected_to(port, b);
    }

    std::vector<Bytes> received() const;
    // The frame at which each received message arrived, in the server's frame time.
    std::vector<jack_nframes_t> receivedFrames() const;
    jack_nframes_t sampleRate() const { return jack_get_sample_rate(m_client); }
    std::size_t receivedCount() const;
    void clearReceived();
    void play(const Bytes& message);
    // The frame at which each message played so far went out, in the server's frame time.
    std::vector<jack_nframes_t> playedFrames() const;
    std::size_t waiting() const;
    // Cycles the server reported as late since the client opened.
    int xruns() const { return m_xruns; }

private:
    static int process(jack_nframes_t frames, void* self);
    static int xrun(void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_input = nullptr;
    jack_port_t* m_output = nullptr;
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_received;
    std::vector<jack_nframes_t> m_frames;
    std::deque<Bytes> m_toPlay;
    std::vector<jack_nframes_t> m_played;
    std::atomic<int> m_xruns{0};
};
