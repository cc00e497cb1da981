#pragma once

#include "MidiBackend.h"

#include <memory>
#include <vector>

class RtMidiIn;
class RtMidiOut;

// The ALSA sequencer through RtMidi: one input and one output client, both named
// "Quenlor", whose ports the device lists leave out.
class AlsaMidiBackend : public MidiBackend {
public:
    // nullptr when the sequencer cannot be opened.
    static std::unique_ptr<AlsaMidiBackend> Open();
    ~AlsaMidiBackend() override;

    QString SystemName() override { return QStringLiteral("ALSA"); }
    QStringList InputNames() override;
    QStringList OutputNames() override;
    bool OpenInput(int index, InputHandler handler) override;
    void CloseInput() override;
    bool OpenOutput(int index) override;
    void CloseOutput() override;
    void Send(const uint8_t* bytes, std::size_t size) override;

private:
    AlsaMidiBackend(std::unique_ptr<RtMidiIn> in, std::unique_ptr<RtMidiOut> out);
    static void inputCallback(double timeStamp, std::vector<unsigned char>* message, void* self);

    std::unique_ptr<RtMidiIn> m_in;
    std::unique_ptr<RtMidiOut> m_out;
    InputHandler m_handler;
    bool m_inputOpen = false;
    bool m_outputOpen = false;
};

// "client:port 128:0" as RtMidi names an ALSA port, without the client and port
// numbers, which change from run to run.
QString AlsaPortName(const std::string& rtMidiName);
