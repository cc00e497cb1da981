#include "AlsaMidiBackend.h"

#include <QRegularExpression>

#include <rtmidi/RtMidi.h>

#include <unistd.h>

namespace {
const char* const kClientName = "Quenlor";
const char* const kInputPortName = "MIDI In";
const char* const kOutputPortName = "MIDI Out";
const char* const kSequencerDevice = "/dev/snd/seq";

// RtMidi reports through this instead of printing or throwing: the program reports
// no MIDI failures of its own, and a failed open is seen in the result.
void ignoreError(RtMidiError::Type, const std::string&, void*) {}

bool isOwnPort(const QString& name) { return name.startsWith(QLatin1String(kClientName) + ':'); }

// The indexes RtMidi uses for the ports the program lists.
std::vector<unsigned> listedPorts(RtMidi& rt, QStringList* names) {
    std::vector<unsigned> ports;
    const unsigned count = rt.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        const QString name = AlsaPortName(rt.getPortName(i));
        if (name.isEmpty() || isOwnPort(name))
            continue;
        ports.push_back(i);
        if (names)
            names->append(name);
    }
    return ports;
}
} // namespace

QString AlsaPortName(const std::string& rtMidiName) {
    static const QRegularExpression numbers(QStringLiteral(" \\d+:\\d+$"));
    QString name = QString::fromStdString(rtMidiName);
    name.remove(numbers);
    return name;
}

std::unique_ptr<AlsaMidiBackend> AlsaMidiBackend::Open() {
    // Checked first so that a system without the sequencer costs no library noise.
    if (access(kSequencerDevice, R_OK | W_OK) != 0)
        return nullptr;
    try {
        auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName);
        auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
        if (in->getCurrentApi() != RtMidi::LINUX_ALSA || out->getCurrentApi() != RtMidi::LINUX_ALSA)
            return nullptr;
        in->setErrorCallback(ignoreError);
        out->setErrorCallback(ignoreError);
        // System Exclusive input is not passed on; clock and active sensing are.
        in->ignoreTypes(true, false, false);
        return std::unique_ptr<AlsaMidiBackend>(new AlsaMidiBackend(std::move(in), std::move(out)));
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

AlsaMidiBackend::AlsaMidiBackend(std::unique_ptr<RtMidiIn> in, std::unique_ptr<RtMidiOut> out)
    : m_in(std::move(in)), m_out(std::move(out)) {
    // The default output exists from the start, so that patchbays can connect to it.
    m_out->openVirtualPort(kOutputPortName);
}

AlsaMidiBackend::~AlsaMidiBackend() { CloseInput(); }

QStringList AlsaMidiBackend::InputNames() {
    QStringList names;
    listedPorts(*m_in, &names);
    return names;
}

QStringList AlsaMidiBackend::OutputNames() {
    QStringList names;
    listedPorts(*m_out, &names);
    return names;
}

bool AlsaMidiBackend::OpenInput(int index, InputHandler handler) {
    CloseInput();
    const std::vector<unsigned> ports = listedPorts(*m_in, nullptr);
    if (index < 0 || static_cast<std::size_t>(index) >= ports.size())
        return false;
    m_handler = std::move(handler);
    try {
        m_in->setCallback(&AlsaMidiBackend::inputCallback, this);
        m_in->openPort(ports[static_cast<std::size_t>(index)], kInputPortName);
    } catch (const RtMidiError&) {
        return false;
    }
    m_inputOpen = m_in->isPortOpen();
    return m_inputOpen;
}

void AlsaMidiBackend::CloseInput() {
    if (!m_inputOpen)
        return;
    // Closing stops RtMidi's input thread, so the handler is not called afterwards.
    m_in->closePort();
    m_in->cancelCallback();
    m_handler = nullptr;
    m_inputOpen = false;
}

bool AlsaMidiBackend::OpenOutput(int index) {
    CloseOutput();
    if (index == -1)
        return true; // the virtual port, open since start-up
    const std::vector<unsigned> ports = listedPorts(*m_out, nullptr);
    if (index < 0 || static_cast<std::size_t>(index) >= ports.size())
        return false;
    try {
        m_out->openPort(ports[static_cast<std::size_t>(index)], kOutputPortName);
    } catch (const RtMidiError&) {
        return false;
    }
    m_outputOpen = m_out->isPortOpen();
    return m_outputOpen;
}

void AlsaMidiBackend::CloseOutput() {
    if (!m_outputOpen)
        return;
    m_out->closePort();
    m_outputOpen = false;
}

void AlsaMidiBackend::Send(const uint8_t* bytes, std::size_t size) {
    try {
        m_out->sendMessage(bytes, size);
    } catch (const RtMidiError&) {
    }
}

void AlsaMidiBackend::inputCallback(double, std::vector<unsigned char>* message, void* self) {
    auto* backend = static_cast<AlsaMidiBackend*>(self);
    if (message && !message->empty() && backend->m_handler)
        backend->m_handler(message->data(), message->size());
}
