#include "SendCommands.h"

#include "CommandLine.h"
#include "SysExCompanion.h"
#include "core/QuenlorCode.h"
#include "midi/MidiWorld.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "storage/FileCheck.h"

#include <chrono>

namespace {
// Far more than one patch takes on the cable with the longest pause; reached only when
// the MIDI system stops taking messages.
constexpr std::chrono::milliseconds kSendPatience(10000);
} // namespace

int SendCommands::send(const CommandLine& line) {
    const std::string& path = line.Files.front();
    std::unique_ptr<MidiBackend> backend = m_world.OpenMidi(line.Midi);
    if (!backend)
        return failure(line.Midi == "jack" ? "no JACK server is running"
                                           : "the ALSA sequencer cannot be reached");

    QuenlorCode code;
    MidiWorld world(std::move(backend));
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    // The same start-up order as the windowed program: settings and ports, then the
    // patch model.
    LoadSettings(code, midi, ports, m_world.Store);
    code.InitPatchModel();

    const LoadedFile loaded = loadFile(path, code.PatchBank);
    std::vector<int> patches;
    std::string error;
    if (!choosePatches(line, loaded.Kind, false, patches, error)) return usageError(error);
    if (loaded.Failure) return failure(formatFinding(path, *loaded.Failure));

    if (line.Channel) code.MIDIChannelOut = static_cast<int16_t>(*line.Channel);
    if (line.Bit99) code.Bit99Compatible = 1;
    if (line.Pause) {
        code.PauseAfterPatch = static_cast<int16_t>(*line.Pause);
        applyTiming(code, ports);
    }
    // The companion's own output port reaches nothing once it has ended, so only a device
    // counts as an output here: the one named, or for the program's own output, those
    // that the running program's output is connected to.
    MIDIOutput& out = ports.MIDIOutput1;
    const QString programsOutput = MidiBackend::defaultOutputName();
    const QString stored = storedOutputName(m_world.Store);
    std::string sentTo;
    if (line.Port ? QString::fromStdString(*line.Port) == programsOutput
                  : stored.isEmpty() || stored == programsOutput) {
        const int status = openProgramsDevices(world, sentTo);
        if (status != SysExCompanion::kSuccess) return status;
    } else {
        if (line.Port) midi.OpenMidiOut(QString::fromStdString(*line.Port));
        if (out.DeviceID() == MIDIOutput::kDefaultDevice || !out.isOpen()) {
            if (line.Port)
                return failure("no MIDI output named '" + *line.Port +
                               "' (quenlor-sysex ports lists them)");
            return failure("the output in the settings, '" + stored.toStdString() +
                           "', is not there; choose one with --port NAME");
        }
    }

    code.Midi = &midi;
    code.SendPatch(patches.front());
    // The program's client, and with it what it has not sent yet, goes when the
    // companion ends.
    const bool left = out.waitUntilSent(kSendPatience);
    // A server that stalled or went away, or a full queue, took a part or nothing.
    const bool dump = out.sentMessages(OutputKind::PatchDump) > 0;
    const bool program = out.sentMessages(OutputKind::PatchProgram) > 0;
    if (!dump && !program)
        return failure("nothing was sent: neither the patch dump nor its Program Change");
    if (!dump) return failure("the patch dump was not sent, only its Program Change");
    if (!program) return failure("the Program Change after the patch dump was not sent");
    if (!left) return failure("the MIDI system took the patch only in part");
    if (!sentTo.empty())
        m_world.Out << "sent to " << sentTo << ", which " << programsOutput.toStdString()
                    << " is connected to\n";
    return SysExCompanion::kSuccess;
}

// Opens the devices the running program's output is connected to; `sentTo` names them.
int SendCommands::openProgramsDevices(MidiWorld& world, std::string& sentTo) {
    const std::string programsOutput = MidiBackend::defaultOutputName().toStdString();
    const char* const nameOne = "name a device with --port NAME (quenlor-sysex ports lists them)";
    const std::optional<QStringList> devices = world.system().programOutputConnections();
    if (!devices)
        return failure("Quenlor is not running, so its own output, " + programsOutput +
                       ", reaches no device; start Quenlor, or " + nameOne);
    if (devices->isEmpty())
        return failure("Quenlor's own output, " + programsOutput +
                       ", is connected to no device; connect it to one, or " + nameOne);
    MIDIOutput& out = world.ports().MIDIOutput1;
    world.midi().OpenMidiOut(devices->front());
    bool opened = out.isOpen() && out.DeviceID() != MIDIOutput::kDefaultDevice;
    for (qsizetype i = 1; opened && i < devices->size(); ++i) {
        const std::optional<int16_t> id = out.findDevice(devices->at(i), MidiPort::NameMatch::FirstWins);
        opened = id && world.system().addOutputConnection(*id);
    }
    if (!opened)
        return failure("the devices " + programsOutput + " is connected to, " +
                       devices->join(QStringLiteral(", ")).toStdString() + ", cannot be opened");
    sentTo = devices->join(QStringLiteral(", ")).toStdString();
    return SysExCompanion::kSuccess;
}

int SendCommands::ports(const CommandLine& line) {
    std::unique_ptr<MidiBackend> backend = m_world.OpenMidi(line.Midi);
    if (!backend)
        return failure(line.Midi == "jack" ? "no JACK server is running"
                                           : "the ALSA sequencer cannot be reached");
    MidiWorld world(std::move(backend));
    // The lists exactly as the options dialog fills them, but for the input's "(none)",
    // which is no port.
    const QStringList outputs = world.ports().MIDIOutput1.productNames();
    const QStringList inputs = world.ports().MIDIInput1.productNames().mid(1);

    const auto list = [this](const QStringList& names, const char* indent) {
        for (const QString& name : names)
            m_world.Out << indent << name.toStdString() << '\n';
    };
    if (line.OutputsOnly) {
        list(outputs, "");
    } else if (line.InputsOnly) {
        list(inputs, "");
    } else {
        m_world.Out << "MIDI system: " << world.system().systemName().toStdString() << "\nOutputs:\n";
        list(outputs, "  ");
        m_world.Out << "Inputs:\n";
        list(inputs, "  ");
    }
    m_world.Out.flush();
    return m_world.Out.good() ? SysExCompanion::kSuccess : failure("the standard output cannot be written");
}
