#include "Settings.h"

#include "SettingsStore.h"
#include "core/NumberText.h"
#include "core/ParameterLocks.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "midi/MidiPorts.h"

#include <algorithm>
#include <optional>

namespace {
const QString kUpdate = QStringLiteral("Update");
const QString kMidi = QStringLiteral("MIDI");
const QString kSendToOne = QStringLiteral("SendToOne");
const QString kAutoUpdate = QStringLiteral("AutoUpdate");
const QString kMidiInPort = QStringLiteral("MIDIInPort");
const QString kMidiOutPort = QStringLiteral("MIDIOutPort");
const QString kMidiChannelIn = QStringLiteral("MIDIChannelIn");
const QString kMidiChannelOut = QStringLiteral("MIDIChannelOut");
const QString kMidiThru = QStringLiteral("MIDIThru");
const QString kBit99Compatible = QStringLiteral("Bit99Compatible");
const QString kTiming = QStringLiteral("Timing");
const QString kPauseAfterPatch = QStringLiteral("PauseAfterPatch");
const QString kSendNewestOnly = QStringLiteral("SendNewestOnly");
const QString kLocks = QStringLiteral("Locks");
const QString kLockedParameters = QStringLiteral("Parameters");
const QString kLibrary = QStringLiteral("Library");
const QString kPlayNoteWhenAuditioning = QStringLiteral("PlayNoteWhenAuditioning");
const QString kYes = QStringLiteral("Yes");
const QString kNo = QStringLiteral("No");

constexpr int16_t kDefaultChannel = 1;

// A stored channel as the number rule reads it; one outside 1..16 would put wrong
// status bytes on the wire and is taken as channel 1.
int16_t readChannel(const QString& text) {
    const std::optional<int16_t> number = NumberText::readInt16(text.toStdString());
    return number ? validChannel(*number) : kDefaultChannel;
}

QString yesNo(bool on) { return on ? kYes : kNo; }

QString numberText(int16_t value) {
    return QString::fromStdString(NumberText::writeNumber(value));
}
} // namespace

int16_t readPauseAfterPatch(const QString& text) {
    const std::optional<int16_t> number = NumberText::readInt16(text.toStdString());
    if (!number) return 0;
    return static_cast<int16_t>(std::clamp<int>(*number, 0, MIDIOutput::kLongestPauseMs));
}

void applyTiming(const QuenlorCode& code, MidiPorts& ports) {
    ports.MIDIOutput1.setPauseAfterPatch(code.PauseAfterPatch);
    ports.MIDIOutput1.setSendNewestOnly(code.SendNewestOnly == kOn);
}

void LoadSettings(QuenlorCode& code, MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store) {
    LoadSettingValues(code, ports, store);
    OpenStoredDevices(midi, ports, store);
}

void LoadSettingValues(QuenlorCode& code, MidiPorts& ports, SettingsStore& store) {
    code.AutoUpdate = kOff;
    code.SendToOne = kOn;
    code.MIDIChannelIn = kDefaultChannel;
    code.MIDIChannelOut = kDefaultChannel;
    code.MIDIThru = kOff;
    code.Bit99Compatible = 0;
    code.PauseAfterPatch = 0;
    code.SendNewestOnly = kOn;
    code.PlayNoteWhenAuditioning = kOff;

    for (const auto& [key, value] : store.readSection(kUpdate)) {
        if (key == kAutoUpdate && value == kYes)
            code.AutoUpdate = kOn;
        else if (key == kSendToOne && value == kNo)
            code.SendToOne = kOff;
    }

    for (const auto& [key, value] : store.readSection(kMidi)) {
        if (key == kMidiChannelIn) {
            code.MIDIChannelIn = readChannel(value);
        } else if (key == kMidiChannelOut) {
            code.MIDIChannelOut = readChannel(value);
        } else if (key == kMidiThru && value == kYes) {
            code.MIDIThru = kOn;
        } else if (key == kBit99Compatible && value == kYes) {
            code.Bit99Compatible = 1;
        }
    }

    for (const auto& [key, value] : store.readSection(kTiming)) {
        if (key == kPauseAfterPatch)
            code.PauseAfterPatch = readPauseAfterPatch(value);
        else if (key == kSendNewestOnly && value == kNo)
            code.SendNewestOnly = kOff;
    }
    applyTiming(code, ports);

    for (const auto& [key, value] : store.readSection(kLibrary))
        if (key == kPlayNoteWhenAuditioning && value == kYes)
            code.PlayNoteWhenAuditioning = kOn;
}

void OpenStoredDevices(MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store) {
    MIDIInput& in = ports.MIDIInput1;
    MIDIOutput& out = ports.MIDIOutput1;
    in.setDeviceID(in.defaultDevice());
    out.setDeviceID(out.defaultDevice());
    std::optional<QString> storedIn;
    std::optional<QString> storedOut;

    // A stored device name selects the first device of that name; the default one when
    // none has it.
    for (const auto& [key, value] : store.readSection(kMidi)) {
        if (key == kMidiInPort) {
            in.selectDevice(value, MidiPort::NameMatch::FirstWins);
            storedIn = value;
        } else if (key == kMidiOutPort) {
            out.selectDevice(value, MidiPort::NameMatch::FirstWins);
            storedOut = value;
        }
    }

    // Each port is found again by the name of the device selected above. A stored
    // device that is not there opens the default as well, but by the stored name, so
    // that the port takes the device when it appears.
    midi.OpenMidiIn(storedIn.value_or(in.ProductName()));
    midi.OpenMidiOut(storedOut.value_or(out.ProductName()));
}

QString storedOutputName(SettingsStore& store) {
    QString name;
    for (const auto& [key, value] : store.readSection(kMidi))
        if (key == kMidiOutPort)
            name = value;
    return name;
}

void SaveSettings(const QuenlorCode& code, MidiPorts& ports, SettingsStore& store) {
    store.writeKey(kUpdate, kSendToOne, yesNo(code.SendToOne == kOn));
    store.writeKey(kUpdate, kAutoUpdate, yesNo(code.AutoUpdate == kOn));
    store.writeKey(kMidi, kMidiInPort, ports.MIDIInput1.ProductName());
    store.writeKey(kMidi, kMidiOutPort, ports.MIDIOutput1.ProductName());
    store.writeKey(kMidi, kMidiChannelIn, numberText(code.MIDIChannelIn));
    store.writeKey(kMidi, kMidiChannelOut, numberText(code.MIDIChannelOut));
    store.writeKey(kMidi, kMidiThru, yesNo(code.MIDIThru == kOn));
    store.writeKey(kMidi, kBit99Compatible, yesNo(code.Bit99Compatible == 1));
    store.writeKey(kTiming, kPauseAfterPatch, numberText(code.PauseAfterPatch));
    store.writeKey(kTiming, kSendNewestOnly, yesNo(code.SendNewestOnly == kOn));
    store.writeKey(kLibrary, kPlayNoteWhenAuditioning, yesNo(code.PlayNoteWhenAuditioning == kOn));
}

ParameterLocks LoadLocks(SettingsStore& store) {
    ParameterLocks locks;
    for (const auto& [key, value] : store.readSection(kLocks))
        if (key == kLockedParameters) locks = ParameterLocks::fromTextLeniently(value.toStdString());
    return locks;
}

void SaveLocks(const ParameterLocks& locks, SettingsStore& store) {
    store.writeKey(kLocks, kLockedParameters, QString::fromStdString(locks.text()));
}
