#include "SysExCompanion.h"

#include "CommandLine.h"
#include "core/QuenlorCode.h"
#include "core/SoundRules.h"
#include "core/Version.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"
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

const char* const kHelp =
    "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]...\n"
    "The Bit 01 patches of Quenlor's bank (.bbk) and patch (.b01) files, from the command line.\n"
    "\n"
    "quenlor-sysex works on the same files, dumps and MIDI ports as Quenlor, without its\n"
    "windows, for scripts and live rigs: it checks files as the program would read them,\n"
    "writes and reads SysEx files, and sends patches as the program sends them.\n"
    "\n"
    "Commands:\n"
    "  check FILE...           say whether Quenlor would load each file, and where a value\n"
    "                          lies outside its range or a choice has too many members set\n"
    "                          or too few\n"
    "  syx FILE -o OUT.syx     write the dumps Quenlor would send as a SysEx file\n"
    "  import IN -o OUT.bbk    write a bank file from the dumps of a .syx or .mid file\n"
    "  send FILE               send one patch: its dump, then Program Change 0\n"
    "  ports                   list the MIDI outputs and inputs by the names Quenlor keeps\n"
    "  mutate IN -o OUT.b01    IN's patch mutated as Sound > Mutate mutates it\n"
    "  randomize -o OUT.b01    a random patch, as Sound > Randomize makes it\n"
    "  morph A B -o OUT.b01    the patch between A and B that the Morph window makes\n"
    "  library add DIR...      watch folders for the patch library and scan them\n"
    "  library list [FILTER]   list the library's patches, one a line\n"
    "  library bank [FILTER] -o OUT.bbk\n"
    "                          write the first 74 of them as a bank file\n"
    "\n"
    "Options:\n"
    "  -h, --help              show this help, or a command's own: quenlor-sysex send --help\n"
    "      --version           show the version\n"
    "Each command's own options are told in its help.\n"
    "\n"
    "Files:\n"
    "  ~/.config/Quenlor/Quenlor.conf\n"
    "                          Quenlor's settings, which send reads and never writes: the\n"
    "                          MIDI output, the channel, the header and the pause\n"
    "  ~/.local/share/Quenlor/library.sqlite\n"
    "                          the patch library of library add, list and bank, shared\n"
    "                          with Quenlor's Library window\n"
    "\n"
    "Environment:\n"
    "  JACK_DEFAULT_SERVER     the JACK server that send and ports use when the ALSA\n"
    "                          sequencer cannot be opened or --midi jack is given\n"
    "  XDG_CONFIG_HOME         the folder used in place of ~/.config\n"
    "  XDG_DATA_HOME           the folder used in place of ~/.local/share\n"
    "\n"
    "Exit status:\n"
    "  0                       success\n"
    "  1                       a check found a fault, or a file or a send failed\n"
    "  2                       a usage error\n"
    "Messages go to the standard error.\n"
    "\n"
    "See also:\n"
    "  quenlor(1)              the program with its windows\n";

const char* const kCheckHelp =
    "Usage: quenlor-sysex check FILE...\n"
    "Reads each file as Quenlor's Open Bank (or, for a .b01 file, Open Patch) reads it and\n"
    "says whether it loads. Where it would not, or where a value lies outside its parameter's\n"
    "range, a choice group has more than one member set or an oscillator's octave has none,\n"
    "it names the record, the line within the record and the parameter, e.g.\n"
    "  bank.bbk: record 12, line 40 (parameter 37): value 5 outside 0..1\n"
    "A .syx or .mid file is read as Import SysEx reads it: each message that is not a valid\n"
    "Bit 01 dump is named by its byte offset and the reason, e.g.\n"
    "  dumps.syx: offset 169: data byte 0xFD of parameter 10 has bits 0-1 set\n"
    "Exit status 0 when every file loads without a fault, 1 otherwise.\n";

const char* const kImportHelp =
    "Usage: quenlor-sysex import IN.syx|IN.mid -o OUT.bbk\n"
    "Reads the Bit 01 dumps of a raw SysEx file (messages back to back) or of a Standard\n"
    "MIDI File's SysEx events into patches 1, 2, ... of a new bank, at most 74, and writes\n"
    "it as a bank file. The patches are named after the file, followed by their number when\n"
    "the file holds several; the patches not filled are cleared. Real-time bytes, such as a\n"
    "sequencer's clock, may stand inside a message and are left out. Messages that are not\n"
    "valid dumps are skipped and named on the standard error by the offset of the byte in\n"
    "the file; past the first 1024, their number is given.\n"
    "  -o, --output OUT.bbk   the bank file to write\n";

const char* const kSyxHelp =
    "Usage: quenlor-sysex syx FILE [--patch N] [--channel C] [--bit99] -o OUT.syx\n"
    "Writes the dumps Quenlor would send, F0 ... F7 back to back: every patch of a bank in\n"
    "order, or the one patch of a .b01 file.\n"
    "  --patch N      only patch N (1..74) of the bank\n"
    "  --channel C    MIDI channel 1..16 in the header byte (default 1)\n"
    "  --bit99        the Bit 99 header byte instead of the Bit 01 one\n"
    "  -o, --output OUT   the file to write; - for the standard output\n";

const char* const kSendHelp =
    "Usage: quenlor-sysex send FILE [--patch N] [--channel C] [--bit99] [--port NAME]\n"
    "                          [--pause MS] [--midi alsa|jack]\n"
    "Sends one patch as Quenlor sends it: its dump, then Program Change 0, at the speed\n"
    "of a MIDI cable, and ends once the last byte has left and the pause after the patch\n"
    "has passed, so that sends one after another keep the pause. The output, the\n"
    "channel, the header and the pause come from Quenlor's settings unless given here.\n"
    "When the output is Quenlor's own, Quenlor:MIDI Out (the default), the patch goes to\n"
    "the devices that the running program's output is connected to, and send says which;\n"
    "with the program not running, or its output connected to nothing, send fails.\n"
    "  --patch N      patch N (1..74) of the bank (default 1)\n"
    "  --channel C    MIDI channel 1..16\n"
    "  --bit99        the Bit 99 header byte\n"
    "  --port NAME    the output of that name, as quenlor-sysex ports lists it\n"
    "  --pause MS     the pause after the patch, 0..2000 milliseconds\n"
    "  --midi SYSTEM  alsa or jack (default: the ALSA sequencer, else a running JACK server)\n";

const char* const kPortsHelp =
    "Usage: quenlor-sysex ports [--outputs | --inputs] [--midi alsa|jack]\n"
    "Lists the MIDI outputs and inputs by the names the options dialog shows and the\n"
    "settings keep. The first output, Quenlor:MIDI Out, is the program's own port and the\n"
    "default output. No other port of Quenlor's clients is listed (the program's input,\n"
    "and on JACK the ports of a second program or of the companion, Quenlor-01 and on):\n"
    "they are no devices.\n"
    "  --outputs      only the output names, one a line\n"
    "  --inputs       only the input names, one a line\n"
    "  --midi SYSTEM  alsa or jack (default: the ALSA sequencer, else a running JACK server)\n";

const char* const kMutateHelp =
    "Usage: quenlor-sysex mutate IN.b01 --amount PCT [--lock LIST] --seed N -o OUT.b01\n"
    "Writes IN's patch mutated as Quenlor's Sound > Mutate mutates it: each level moves by a\n"
    "normal deviate whose standard deviation is PCT % of half the number of its values, and\n"
    "each switch flips, each choice turns to another, with the probability PCT % / 2. The\n"
    "output keeps IN's name; the same seed gives the same patch on every machine.\n"
    "  --amount PCT   how far to mutate, 0..100\n"
    "  --lock LIST    parameter numbers left as they are, e.g. 19,20,24 (a member of a\n"
    "                 choice locks the whole choice)\n"
    "  --seed N       the random numbers' seed, 0..18446744073709551615\n"
    "  -o, --output OUT.b01   the patch file to write\n";

const char* const kRandomizeHelp =
    "Usage: quenlor-sysex randomize [IN.b01] [--lock LIST] --seed N -o OUT.b01\n"
    "Writes a patch with any value for every parameter, each as likely, as Quenlor's\n"
    "Sound > Randomize makes it. Locked parameters keep IN's values, or without IN those\n"
    "of a new patch. The output keeps IN's name; the same seed gives the same patch.\n"
    "  --lock LIST    parameter numbers left as they are, e.g. 46,47,48\n"
    "  --seed N       the random numbers' seed, 0..18446744073709551615\n"
    "  -o, --output OUT.b01   the patch file to write\n";

const char* const kMorphHelp =
    "Usage: quenlor-sysex morph A.b01 B.b01 --at PCT [--lock LIST] -o OUT.b01\n"
    "Writes the patch PCT % of the way from A to B, as Quenlor's Morph window makes it:\n"
    "each level A's plus that share of the way to B's, rounded; switches and choices A's\n"
    "below 50 % and B's from 50 % on. Locked parameters keep A's values, and the output\n"
    "keeps A's name.\n"
    "  --at PCT       where between A (0) and B (100)\n"
    "  --lock LIST    parameter numbers left as they are, e.g. 19,20\n"
    "  -o, --output OUT.b01   the patch file to write\n";
const char* const kLibraryHelp =
    "Usage: quenlor-sysex library add DIR...\n"
    "       quenlor-sysex library list [--search TEXT] [--category NAME] [--favourites] [--missing]\n"
    "       quenlor-sysex library bank [the same filters] -o OUT.bbk\n"
    "The patch library the program's Library window shows, in the same file and taking turns\n"
    "with the program when both write.\n"
    "  add DIR...         watch the folders and scan every watched folder for .bbk, .b01,\n"
    "                     .syx and .mid files; files that cannot be read are named on the\n"
    "                     standard error\n"
    "  list               one patch a line, in the Library window's order, tab-separated:\n"
    "                     fingerprint, name, categories (separated by commas), copies, first file\n"
    "  bank -o OUT.bbk    the first 74 patches of the list as a bank file\n"
    "  --search TEXT      patches whose names or categories hold TEXT, in any case and with\n"
    "                     or without accents\n"
    "  --category NAME    patches of that category\n"
    "  --favourites       favourite patches only\n"
    "  --missing          only patches none of whose files is there any more\n"
    "Hidden patches are left out.\n";

// Far more than one patch takes on the cable with the longest pause; reached only when
// the MIDI system stops taking messages.
constexpr std::chrono::milliseconds kSendPatience(10000);

const char* helpOf(const std::string& command) {
    if (command == "check") return kCheckHelp;
    if (command == "syx") return kSyxHelp;
    if (command == "send") return kSendHelp;
    if (command == "ports") return kPortsHelp;
    if (command == "import") return kImportHelp;
    if (command == "mutate") return kMutateHelp;
    if (command == "randomize") return kRandomizeHelp;
    if (command == "morph") return kMorphHelp;
    if (command == "library") return kLibraryHelp;
    return kHelp;
}

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
        m_world.Out << helpOf(line->Command);
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

namespace {
// A name as one field of a tab-separated line.
std::string field(const QString& text) {
    QString cleaned = text;
    for (QChar& c : cleaned)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return cleaned.toStdString();
}
} // namespace

int SysExCompanion::library(const CommandLine& line) {
    LibraryDatabase database(m_world.LibraryPath.empty()
                                 ? LibraryDatabase::defaultPath()
                                 : QString::fromStdString(m_world.LibraryPath));
    const QString notice = database.open();
    if (database.mode() == LibraryDatabase::Mode::Closed) return failure(notice.toStdString());
    if (!notice.isEmpty()) m_world.Err << kProgram << ": " << notice.toStdString() << '\n';
    if (line.Subcommand == "add") return libraryAdd(line, database);
    return libraryList(line, database);
}

int SysExCompanion::libraryAdd(const CommandLine& line, LibraryDatabase& database) {
    // A library for this run only would forget the folders as the companion ends.
    if (database.mode() != LibraryDatabase::Mode::Writable)
        return failure("the library cannot be written");
    int status = kSuccess;
    for (const std::string& folder : line.Files) {
        if (!LibraryEdits::addFolder(database, QString::fromStdString(folder))) {
            m_world.Err << kProgram << ": '" << folder << "' is not a folder\n";
            status = kFailed;
        }
    }
    LibraryScanner scanner(database);
    const ScanSummary summary = scanner.scan();
    if (!summary.Error.isEmpty())
        return failure("the library cannot be written: " + summary.Error.toStdString());
    QString error;
    if (const auto catalogue = LibraryCatalogue::load(database, error))
        for (const auto& [path, reason] : catalogue->problems())
            m_world.Err << path.toStdString() << ": " << reason.toStdString() << '\n';
    m_world.Out << summary.text().toStdString() << '\n';
    return status;
}

int SysExCompanion::libraryList(const CommandLine& line, LibraryDatabase& database) {
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    if (!catalogue) return failure("the library cannot be read: " + error.toStdString());
    LibraryFilter filter;
    if (line.Search) filter.Search = QString::fromStdString(*line.Search);
    if (line.Category) {
        filter.Category = catalogue->categoryId(QString::fromStdString(*line.Category));
        if (filter.Category == 0) return failure("no category '" + *line.Category + "' in the library");
    }
    filter.FavouritesOnly = line.Favourites;
    filter.MissingOnly = line.Missing;
    const std::vector<int> rows = catalogue->select(filter, catalogue->listOrder());

    if (line.Subcommand == "list") {
        for (const int row : rows) {
            const LibraryEntry& entry = catalogue->Entries[std::size_t(row)];
            const LibraryFile* file = catalogue->firstFile(entry);
            QString categories = catalogue->categoriesText(entry);
            categories.replace(QStringLiteral(", "), QStringLiteral(","));
            m_world.Out << fingerprintText(entry.Fingerprint).toStdString() << '\t'
                        << field(entry.Name) << '\t' << field(categories) << '\t' << entry.Present
                        << '\t' << (file ? field(file->Path) : std::string()) << '\n';
        }
        m_world.Out.flush();
        return m_world.Out.good() ? kSuccess : failure("the standard output cannot be written");
    }

    if (rows.empty()) return failure("no patch of the library matches");
    QuenlorCode code;
    code.InitPatchModel();
    std::vector<std::string> names(kPatchSlots);
    const std::size_t count = std::min<std::size_t>(rows.size(), kLastPatch);
    for (std::size_t i = 0; i < count; ++i) {
        const LibraryEntry& entry = catalogue->Entries[std::size_t(rows[i])];
        const int patch = kFirstPatch + int(i);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(patch, p) = entry.Values[std::size_t(p)];
        names[std::size_t(patch)] = entry.Name.toLatin1().toStdString();
    }
    SaveFile file(*line.Output);
    bool ok = file.open();
    for (int patch = kFirstPatch; ok && patch <= kLastPatch; ++patch)
        ok = WritePatchRecord(file.stream(), code.PatchBank, patch, names[std::size_t(patch)]);
    if (!ok || !file.commit()) return failure("cannot write '" + *line.Output + "'");
    m_world.Out << *line.Output << ": " << plural(count, "patch", "patches") << " from the library\n";
    return kSuccess;
}
