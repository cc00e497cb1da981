#include "SysExCompanion.h"

#include "CommandLine.h"
#include "CompanionHelp.h"
#include "LibraryCommand.h"
#include "PresetsCommand.h"
#include "core/QuenlorCode.h"
#include "core/SoundRules.h"
#include "core/Version.h"
#include "midi/MidiWorld.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "storage/FileCheck.h"
#include "storage/PatchRecord.h"
#include "storage/SaveFile.h"
#include "storage/SysExFile.h"

#include <QFile>
#include <algorithm>
#include <cctype>

#include <chrono>

namespace {

const char* const kProgram = "quenlor-sysex";

// Far more than one patch takes on the cable with the longest pause; reached only when
// the MIDI system stops taking messages.
constexpr std::chrono::milliseconds kSendPatience(10000);

// The patches a syx or send takes from a loaded file; false when --patch does not fit
// the file.
bool choosePatches(const CommandLine& line, FileKind kind, bool all, std::vector<int>& patches,
                   std::string& error) {
    if (kind == FileKind::Patch) {
        if (line.Patch && *line.Patch != kFirstPatch) {
            error = "a patch file holds one patch; --patch can only be 1";
            return false;
        }
        patches = {kFirstPatch};
    } else if (line.Patch) {
        patches = {*line.Patch};
    } else if (all) {
        for (int p = kFirstPatch; p <= kLastPatch; ++p)
            patches.push_back(p);
    } else {
        patches = {kFirstPatch};
    }
    return true;
}

// Files read as SysEx rather than as bank or patch files: *.syx and *.mid in any case.
bool isSysExFile(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto endsWith = [&lower](const char* tail) {
        const std::string end(tail);
        return lower.size() >= end.size() &&
               lower.compare(lower.size() - end.size(), end.size(), end) == 0;
    };
    return endsWith(".syx") || endsWith(".mid");
}

} // namespace

int SysExCompanion::usageError(const std::string& text) {
    m_world.Err << kProgram << ": " << text << "\nTry 'quenlor-sysex --help'.\n";
    return kUsage;
}

int SysExCompanion::failure(const std::string& text) {
    m_world.Err << kProgram << ": " << text << '\n';
    return kFailed;
}

int SysExCompanion::run(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<CommandLine> line = parseCommandLine(args, error);
    if (!line) return usageError(error);
    if (line->Help) {
        m_world.Out << companionHelp(line->Command);
        return kSuccess;
    }
    if (line->Version) {
        m_world.Out << kProgram << ' ' << kQuenlorVersion << '\n';
        return kSuccess;
    }
    if (line->Command == "check") return check(*line);
    if (line->Command == "syx") return syx(*line);
    if (line->Command == "send") return send(*line);
    if (line->Command == "import") return importSysEx(*line);
    if (line->Command == "ports") return ports(*line);
    if (line->Command == "library") return library(*line);
    if (line->Command == "presets") return PresetsCommand(m_world).run(*line);
    return newSound(*line);
}

int SysExCompanion::check(const CommandLine& line) {
    ParamTable table;
    BuildParameterTable(table);
    int status = kSuccess;
    for (const std::string& path : line.Files) {
        if (isSysExFile(path)) {
            if (!checkSysEx(path)) status = kFailed;
            continue;
        }
        Bank bank;
        const LoadedFile loaded = loadFile(path, bank);
        const std::vector<Finding> findings = checkValues(bank, loaded.Records, table);
        for (const Finding& finding : findings)
            m_world.Err << formatFinding(path, finding) << '\n';
        if (loaded.Failure) m_world.Err << formatFinding(path, *loaded.Failure) << '\n';

        m_world.Out << path << ": ";
        if (!loaded.loads())
            m_world.Out << "does not load";
        else
            m_world.Out << "loads (" << loaded.Records
                        << (loaded.Records == 1 ? " patch)" : " patches)");
        if (!findings.empty())
            m_world.Out << ", " << findings.size() << (findings.size() == 1 ? " fault" : " faults")
                        << " in the patches read";
        m_world.Out << '\n';
        if (!loaded.loads() || !findings.empty()) status = kFailed;
    }
    return status;
}

namespace {
std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
} // namespace

// Every reason kept, then how many more there were.
void SysExCompanion::writeSkipped(const std::string& path, const SysExScan& scan) {
    const std::string reasons = skippedReasons(scan, SysExFile::kMaxKept, path + ": ");
    if (!reasons.empty()) m_world.Err << reasons << '\n';
}

// Names each skipped message by its offset; true when the file holds dumps and nothing
// was skipped.
bool SysExCompanion::checkSysEx(const std::string& path) {
    const SysExScan scan = readSysExFile(path);
    if (scan.refused()) {
        m_world.Err << path << ": " << scan.Refusal << '\n';
        m_world.Out << path << ": does not load\n";
        return false;
    }
    writeSkipped(path, scan);
    m_world.Out << path << ": " << plural(scan.DumpCount, "patch", "patches");
    if (scan.SkippedCount > 0)
        m_world.Out << ", " << plural(scan.SkippedCount, "message", "messages") << " skipped";
    m_world.Out << '\n';
    return scan.DumpCount > 0 && scan.SkippedCount == 0;
}

int SysExCompanion::importSysEx(const CommandLine& line) {
    const std::string& path = line.Files.front();
    const SysExScan scan = readSysExFile(path);
    if (scan.refused()) return failure("cannot read '" + path + "': " + scan.Refusal);
    writeSkipped(path, scan);
    if (scan.Dumps.empty()) return failure("No Bit 01 patches found in '" + path + "'.");

    QuenlorCode code;
    code.InitPatchModel();
    std::vector<std::string> names(kPatchSlots);
    const std::size_t count = std::min<std::size_t>(scan.Dumps.size(), kLastPatch);
    for (std::size_t i = 0; i < count; ++i) {
        const int patch = kFirstPatch + static_cast<int>(i);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(patch, p) = scan.Dumps[i].Patch.Values[static_cast<std::size_t>(p)];
        // A bank file holds names as 8-bit text, the file's name as the system spells it.
        names[static_cast<std::size_t>(patch)] =
            QFile::decodeName(QByteArray::fromStdString(importedPatchName(path, i, scan.DumpCount)))
                .toLatin1()
                .toStdString();
    }
    if (scan.DumpCount > count)
        m_world.Err << path << ": " << scan.DumpCount - count << " dumps after the 74th left out\n";

    SaveFile file(*line.Output);
    bool ok = file.open();
    for (int patch = kFirstPatch; ok && patch <= kLastPatch; ++patch)
        ok = WritePatchRecord(file.stream(), code.PatchBank, patch,
                              names[static_cast<std::size_t>(patch)]);
    if (!ok || !file.commit()) return failure("cannot write '" + *line.Output + "'");
    m_world.Out << *line.Output << ": " << plural(count, "patch", "patches") << " imported\n";
    return kSuccess;
}

int SysExCompanion::syx(const CommandLine& line) {
    const std::string& path = line.Files.front();
    QuenlorCode code;
    code.InitPatchModel();
    const LoadedFile loaded = loadFile(path, code.PatchBank);
    std::vector<int> patches;
    std::string error;
    if (!choosePatches(line, loaded.Kind, true, patches, error)) return usageError(error);
    if (loaded.Failure) return failure(formatFinding(path, *loaded.Failure));
    code.MIDIChannelOut = static_cast<int16_t>(line.Channel.value_or(1));
    code.Bit99Compatible = line.Bit99 ? 1 : 0;

    std::string bytes;
    for (int patch : patches) {
        code.preparePatchDump(patch);
        bytes.append(reinterpret_cast<const char*>(code.PatchDump.data()), code.PatchDump.size());
    }
    const std::string& out = *line.Output;
    if (out == "-") {
        m_world.Out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        m_world.Out.flush();
        return m_world.Out.good() ? kSuccess : failure("the standard output cannot be written");
    }
    // An existing file is replaced only once the new one is complete.
    SaveFile file(out);
    const bool written =
        file.open() &&
        file.stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size())) &&
        file.commit();
    return written ? kSuccess : failure("cannot write '" + out + "'");
}

int SysExCompanion::send(const CommandLine& line) {
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
        if (status != kSuccess) return status;
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
    return kSuccess;
}

// Opens the devices the running program's output is connected to; `sentTo` names them.
int SysExCompanion::openProgramsDevices(MidiWorld& world, std::string& sentTo) {
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
    return kSuccess;
}

int SysExCompanion::ports(const CommandLine& line) {
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
    return m_world.Out.good() ? kSuccess : failure("the standard output cannot be written");
}

namespace {
struct SoundFile {
    PatchValues Values{};
    std::string Name;
};

// A patch file as Open Patch reads it; false with the reason when it cannot be read.
bool readSoundFile(const std::string& path, SoundFile& file, std::string& error) {
    if (kindOf(path) != FileKind::Patch) {
        error = "'" + path + "' is no patch file (.b01)";
        return false;
    }
    Bank bank;
    const LoadedFile loaded = loadFile(path, bank);
    if (loaded.Failure) {
        error = formatFinding(path, *loaded.Failure);
        return false;
    }
    file.Values = bank.values(kFirstPatch);
    file.Name = loaded.Names.front();
    return true;
}
} // namespace

int SysExCompanion::newSound(const CommandLine& line) {
    std::vector<SoundFile> files(line.Files.size());
    std::string error;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!readSoundFile(line.Files[i], files[i], error)) return failure(error);
    const ParameterLocks locks =
        line.Lock ? ParameterLocks::fromText(*line.Lock).value_or(ParameterLocks()) : ParameterLocks();
    SoundRandom random(line.Seed.value_or(0));

    QuenlorCode code;
    code.InitPatchModel();
    // Without a file, randomize starts from a new patch, which the locks keep.
    const SoundFile from = files.empty() ? SoundFile{code.PatchBank.values(kFirstPatch), {}} : files.front();
    PatchValues made;
    if (line.Command == "mutate")
        made = SoundRules::mutatePatch(from.Values, *line.Amount, locks, random);
    else if (line.Command == "randomize")
        made = SoundRules::randomizePatch(from.Values, locks, random);
    else
        made = SoundRules::morphPatches(from.Values, files[1].Values, from.Values, *line.At, locks);
    code.PatchBank.setValues(kFirstPatch, made);
    // A locked value no editor writes (a hand-made file's) becomes the one the instrument
    // plays, so that the output is a patch the program would load as it is.
    if (!files.empty())
        for (const std::string& repair :
             lockedRepairs(line.Files.front(), from.Values, made, locks, code.ParameterTable))
            m_world.Err << kProgram << ": " << repair << '\n';

    SaveFile out(*line.Output);
    const bool written = out.open() &&
                         WritePatchRecord(out.stream(), code.PatchBank, kFirstPatch, from.Name) &&
                         out.commit();
    return written ? kSuccess : failure("cannot write '" + *line.Output + "'");
}

int SysExCompanion::library(const CommandLine& line) { return LibraryCommand(m_world).run(line); }
