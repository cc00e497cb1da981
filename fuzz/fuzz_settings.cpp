// Loading the settings from a store that holds any texts at all: the program starts
// with valid settings (channels 1..16, on/off values as it keeps them), opens devices
// that exist, sends only valid MIDI status bytes, and what it saves loads back as the
// same settings.
//
// The input is read as a small settings file: "[Section]" starts a section (the first
// lines go to "MIDI"), "key=value" stores a key (a line without "=" is a key with an
// empty value), "<name" and ">name" add an input or output device to the MIDI system.
// Lines end at a line feed; everything else, carriage returns included, is text.
#include "FuzzCheck.h"
#include "FuzzWorld.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "midi/MidiPorts.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr int kMostDevices = 32; // per direction; more finds nothing new
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kTestNote = 60;
constexpr uint8_t kTestVelocity = 100;

struct Settings {
    int16_t AutoUpdate, SendToOne, MIDIChannelIn, MIDIChannelOut, MIDIThru, Bit99Compatible;
    QString InPort, OutPort;
    bool operator==(const Settings& o) const {
        return AutoUpdate == o.AutoUpdate && SendToOne == o.SendToOne &&
               MIDIChannelIn == o.MIDIChannelIn && MIDIChannelOut == o.MIDIChannelOut &&
               MIDIThru == o.MIDIThru && Bit99Compatible == o.Bit99Compatible &&
               InPort == o.InPort && OutPort == o.OutPort;
    }
};

// One program start on the given MIDI system: the settings loaded from the store,
// then patch 1 and a test note sent.
struct Start {
    MemoryMidiWorld world;
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;

    Start(const QStringList& inputs, const QStringList& outputs, SettingsStore& store)
        : world(inputs, outputs) {
        code.Midi = &midi;
        code.InitPatchModel();
        LoadSettings(code, midi, ports, store);
    }

    Settings settings() {
        return {code.AutoUpdate,
                code.SendToOne,
                code.MIDIChannelIn,
                code.MIDIChannelOut,
                code.MIDIThru,
                code.Bit99Compatible,
                ports.MIDIInput1.ProductName(),
                ports.MIDIOutput1.ProductName()};
    }
};

bool isOnOff(int16_t value) {
    return value == kOn || value == kOff;
}

void expectValid(Start& start, int inputs, int outputs) {
    const QuenlorCode& code = start.code;
    FUZZ_CHECK(isOnOff(code.AutoUpdate) && isOnOff(code.SendToOne) && isOnOff(code.MIDIThru));
    FUZZ_CHECK(code.Bit99Compatible == 0 || code.Bit99Compatible == 1);
    FUZZ_CHECK(code.MIDIChannelIn >= 1 && code.MIDIChannelIn <= 16);
    FUZZ_CHECK(code.MIDIChannelOut >= 1 && code.MIDIChannelOut <= 16);

    // The output is always open, on a device that exists (-1 is the program's own);
    // the input is open on one that exists, or closed when there is none.
    const int out = start.backend.openOutputDevice();
    FUZZ_CHECK(out >= -1 && out < outputs);
    const int in = start.backend.openInputDevice();
    FUZZ_CHECK(inputs == 0 ? in == MemoryMidiBackend::kClosed : (in >= 0 && in < inputs));
}

void expectValidSends(Start& start) {
    const int channel = start.code.MIDIChannelOut;
    CheckingSink check;
    start.backend.clearRecord();
    start.code.SendPatch(kFirstPatch);
    start.midi.PlayNoteOn(start.code.MIDIChannelOut, kTestNote, kTestVelocity);
    start.midi.PlayNoteOff(start.code.MIDIChannelOut, kTestNote);

    const auto sent = start.backend.sentBytes();
    FUZZ_CHECK(sent.size() == 4);
    SysExMessage dump;
    FUZZ_CHECK(sent[0].size() == DumpBytes::kDumpLength);
    dump.Length = DumpBytes::kDumpLength;
    for (std::size_t i = 0; i < sent[0].size(); ++i)
        dump.Bytes[i] = sent[0][i];
    check.SendSysEx(dump);
    const uint8_t headerBase =
        start.code.Bit99Compatible == 1 ? DumpBytes::kHeaderBit99 : DumpBytes::kHeaderBit01;
    FUZZ_CHECK(dump.Bytes[DumpBytes::kHeaderOffset] == headerBase + channel - 1);

    FUZZ_CHECK(sent[1].size() == 2);
    FUZZ_CHECK(sent[1][0] == kProgramChange + channel - 1 && sent[1][1] == 0);
    for (std::size_t i = 2; i < 4; ++i) {
        FUZZ_CHECK(sent[i].size() == 3);
        FUZZ_CHECK(sent[i][0] == kNoteOn + channel - 1);
        FUZZ_CHECK(sent[i][1] == kTestNote);
    }
    FUZZ_CHECK(sent[2][2] == kTestVelocity && sent[3][2] == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    MemorySettingsStore store;
    QStringList inputs;
    QStringList outputs;
    QString section = QStringLiteral("MIDI");

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const auto utf8 = [](std::string_view s) {
            return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
        };
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = utf8(line.substr(1, line.size() - 2));
        } else if (!line.empty() && line.front() == '<') {
            if (inputs.size() < kMostDevices) inputs << utf8(line.substr(1));
        } else if (!line.empty() && line.front() == '>') {
            if (outputs.size() < kMostDevices) outputs << utf8(line.substr(1));
        } else if (!line.empty()) {
            const std::size_t equals = line.find('=');
            const std::string_view key = line.substr(0, equals);
            const std::string_view value =
                equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
            store.writeKey(section, utf8(key), utf8(value));
        }
    }

    Start first(inputs, outputs, store);
    expectValid(first, inputs.size(), outputs.size());
    expectValidSends(first);

    // What the options dialog's OK would save loads back as the same settings.
    MemorySettingsStore saved;
    SaveSettings(first.code, first.ports, saved);
    Start again(inputs, outputs, saved);
    expectValid(again, inputs.size(), outputs.size());
    FUZZ_CHECK(again.settings() == first.settings());
    return 0;
}
