#include "MemoryMidiBackend.h"

MemoryMidiBackend::MemoryMidiBackend(QStringList inputs, QStringList outputs)
    : m_inputs(std::move(inputs)), m_outputs(std::move(outputs)) {}

QStringList MemoryMidiBackend::inputNames() { return m_inputs; }
QStringList MemoryMidiBackend::outputNames() { return m_outputs; }

void MemoryMidiBackend::setDevices(QStringList inputs, QStringList outputs) {
    m_inputs = std::move(inputs);
    m_outputs = std::move(outputs);
    m_inputLost = m_inputLost || (m_input >= 0 && !m_inputs.contains(m_inputName));
    m_outputLost = m_outputLost || (m_output >= 0 && !m_outputs.contains(m_outputName));
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    if (m_devicesChanged)
        m_devicesChanged();
}

void MemoryMidiBackend::setDevicesChangedHandler(DevicesChangedHandler handler) {
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_devicesChanged = std::move(handler);
}

bool MemoryMidiBackend::openInput(int index, InputHandler handler) {
    {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        m_handler = std::move(handler);
    }
    if (index < -1 || index >= m_inputs.size())
        return false;
    m_input = index;
    m_inputName = index >= 0 ? m_inputs.at(index) : QString();
    m_inputLost = false;
    Log << QStringLiteral("in open %1").arg(index);
    return true;
}

void MemoryMidiBackend::closeInput() {
    {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        m_handler = nullptr;
    }
    m_input = kClosed;
    m_inputLost = false;
    Log << QStringLiteral("in close");
}

bool MemoryMidiBackend::openOutput(int index) {
    if (index < -1 || index >= m_outputs.size())
        return false;
    m_output = index;
    m_outputName = index >= 0 ? m_outputs.at(index) : QString();
    m_outputLost = false;
    Log << QStringLiteral("out open %1").arg(index);
    return true;
}

bool MemoryMidiBackend::addOutputConnection(int index) {
    if (index < 0 || index >= m_outputs.size())
        return false;
    Log << QStringLiteral("out also %1").arg(index);
    return true;
}

void MemoryMidiBackend::closeOutput() {
    m_output = kClosed;
    m_outputLost = false;
    Log << QStringLiteral("out close");
}

bool MemoryMidiBackend::send(const uint8_t* bytes, std::size_t size) {
    if (Gone) return false;
    Sent.push_back({m_output, Bytes(bytes, bytes + size), Clock.now()});
    return true;
}

void MemoryMidiBackend::receive(const Bytes& message) {
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    if (m_handler)
        m_handler(message.data(), message.size());
}

std::vector<MemoryMidiBackend::Bytes> MemoryMidiBackend::sentBytes() const {
    std::vector<Bytes> all;
    all.reserve(Sent.size());
    for (const SentMessage& m : Sent)
        all.push_back(m.Data);
    return all;
}

void MemoryMidiBackend::clearRecord() {
    Sent.clear();
    Log.clear();
}
