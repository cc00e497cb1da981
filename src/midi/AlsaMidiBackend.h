#pragma once

#include "MidiBackend.h"

#include <alsa/asoundlib.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The ALSA sequencer through libasound: one client "Quenlor" with the ports "MIDI Out"
// (port 0, so that `aconnect Quenlor:0 ...` reaches the output) and "MIDI In". Opening a
// device subscribes the port to it; closing removes only that subscription, so that
// connections the user made in a patchbay stay. A thread of the backend's own reads
// what arrives at "MIDI In": the received messages, and the system's announcements of
// ports that come and go.
class AlsaMidiBackend : public MidiBackend {
public:
    // nullptr when the sequencer cannot be opened.
    static std::unique_ptr<AlsaMidiBackend> open(const std::string& clientName = kClientName);
    ~AlsaMidiBackend() override;
    AlsaMidiBackend(const AlsaMidiBackend&) = delete;
    AlsaMidiBackend& operator=(const AlsaMidiBackend&) = delete;

    QString systemName() override { return QStringLiteral("ALSA"); }
    QStringList inputNames() override;
    QStringList outputNames() override;
    bool openInput(int index, InputHandler handler) override;
    void closeInput() override;
    bool openOutput(int index) override;
    void closeOutput() override;
    std::optional<QStringList> programOutputConnections() override;
    bool addOutputConnection(int index) override;
    bool outputConnected() override;
    bool inputConnected() override;
    bool send(const uint8_t* bytes, std::size_t size) override;
    void setDevicesChangedHandler(DevicesChangedHandler handler) override;

    // The sequencer's number for the program's client.
    int clientId() const { return m_clientId; }

private:
    struct Device {
        QString Name;
        snd_seq_addr_t Address;
    };

    explicit AlsaMidiBackend(snd_seq_t* seq);
    bool createPorts();
    std::vector<Device> devices(unsigned capabilities);
    bool subscribed(snd_seq_addr_t sender, snd_seq_addr_t destination);
    void readInput();
    void received(const snd_seq_event_t& event);

    snd_seq_t* m_seq;
    std::string m_clientName = kClientName;
    // libasound's handle is not safe for two threads at once: the reading thread and
    // the program's calls take turns on it.
    std::mutex m_seqMutex;
    int m_clientId = -1;
    int m_outPort = -1;
    int m_inPort = -1;
    snd_midi_event_t* m_encoder = nullptr;
    snd_midi_event_t* m_decoder = nullptr;

    bool m_inputOpen = false;
    bool m_outputOpen = false;
    snd_seq_addr_t m_inputSource{};
    snd_seq_addr_t m_outputDestination{};

    std::mutex m_handlerMutex; // the handlers are called from the reading thread
    InputHandler m_handler;
    DevicesChangedHandler m_devicesChanged;

    int m_wakePipe[2] = {-1, -1}; // written once to end the reading thread
    std::thread m_reader;
};
