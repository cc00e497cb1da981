#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// A JACK client of the tests, "capture": records every MIDI event arriving at its port
// "input" with its frame time, and plays queued messages out of its port "output", a few
// per cycle.
class CaptureClient {
public:
    using Bytes = std::vector<uint8_t>;
    CaptureClient();
    ~CaptureClient();
    bool IsOpen() const { return m_client != nullptr; }
    jack_client_t* Client() const { return m_client; }
    // Whether the server has told this client of a connection from port a to port b;
    // it learns of a new connection a moment after it is made.
    bool Connected(const char* a, const char* b) const {
        jack_port_t* port = jack_port_by_name(m_client, a);
        return port && jack_port_connected_to(port, b);
    }

    std::vector<Bytes> Received() const;
    // The frame at which each received message arrived, in the server's frame time.
    std::vector<jack_nframes_t> ReceivedFrames() const;
    jack_nframes_t SampleRate() const { return jack_get_sample_rate(m_client); }
    std::size_t ReceivedCount() const;
    void ClearReceived();
    void Play(const Bytes& message);
    std::size_t Waiting() const;
    // Cycles the server reported as late since the client opened.
    int Xruns() const { return m_xruns; }

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
    std::atomic<int> m_xruns{0};
};
