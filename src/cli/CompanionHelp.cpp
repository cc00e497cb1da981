#include "CompanionHelp.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kUsage = "Usage: quenlor-sysex ";
constexpr std::string_view kFurtherForm = "       quenlor-sysex ";
// Where the overview's text of a command starts; a longer form has it on the next line.
constexpr std::size_t kSummaryColumn = 26;
constexpr std::size_t kItemIndent = 2;
constexpr std::size_t kLeastGap = 2;

// The overview, before and after its list of commands.
const char* const kOverviewStart =
    "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]...\n"
    "The Bit 01 patches of Quenlor's bank (.bbk) and patch (.b01) files, from the command line.\n"
    "\n"
    "quenlor-sysex works on the same files, dumps and MIDI ports as Quenlor, without its\n"
    "windows, for scripts and live rigs: it checks files as the program would read them,\n"
    "writes and reads SysEx files, and sends patches as the program sends them.\n"
    "\n"
    "Commands:\n";

const char* const kOverviewEnd =
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

// A command with its own help, and what the overview says of each of its forms (one for
// each line of its usage), in lines that start at kSummaryColumn.
struct Command {
    std::string_view Name;
    std::array<const char*, 3> Summaries;
    const char* Help;
};

const Command kCommands[] = {
    {"check",
     {"say whether Quenlor would load each file, and where a value\n"
      "lies outside its range or a choice has too many members set\n"
      "or too few"},
     "Usage: quenlor-sysex check FILE...\n"
     "Reads each file as Quenlor's Open Bank (or, for a .b01 file, Open Patch) reads it and\n"
     "says whether it loads. Where it would not, or where a value lies outside its parameter's\n"
     "range, a choice group has more than one member set or an oscillator's octave has none,\n"
     "it names the record, the line within the record and the parameter, e.g.\n"
     "  bank.bbk: record 12, line 40 (parameter 37): value 5 outside 0..1\n"
     "A .syx or .mid file is read as Import SysEx reads it: each message that is not a valid\n"
     "Bit 01 dump is named by its byte offset and the reason, e.g.\n"
     "  dumps.syx: offset 169: data byte 0xFD of parameter 10 has bits 0-1 set\n"
     "Exit status 0 when every file loads without a fault, 1 otherwise.\n"},
    {"syx",
     {"write the dumps Quenlor would send as a SysEx file"},
     "Usage: quenlor-sysex syx FILE [--patch N] [--channel C] [--bit99] -o OUT.syx\n"
     "Writes the dumps Quenlor would send, F0 ... F7 back to back: every patch of a bank in\n"
     "order, or the one patch of a .b01 file.\n"
     "  --patch N      only patch N (1..74) of the bank\n"
     "  --channel C    MIDI channel 1..16 in the header byte (default 1)\n"
     "  --bit99        the Bit 99 header byte instead of the Bit 01 one\n"
     "  -o, --output OUT   the file to write; - for the standard output\n"},
    {"import",
     {"write a bank file from the dumps of a .syx or .mid file"},
     "Usage: quenlor-sysex import IN.syx|IN.mid -o OUT.bbk\n"
     "Reads the Bit 01 dumps of a raw SysEx file (messages back to back) or of a Standard\n"
     "MIDI File's SysEx events into patches 1, 2, ... of a new bank, at most 74, and writes\n"
     "it as a bank file. The patches are named after the file, followed by their number when\n"
     "the file holds several; the patches not filled are cleared. Real-time bytes, such as a\n"
     "sequencer's clock, may stand inside a message and are left out. Messages that are not\n"
     "valid dumps are skipped and named on the standard error by the offset of the byte in\n"
     "the file; past the first 1024, their number is given.\n"
     "  -o, --output OUT.bbk   the bank file to write\n"},
    {"send",
     {"send one patch: its dump, then Program Change 0"},
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
     "  --midi SYSTEM  alsa or jack (default: the ALSA sequencer, else a running JACK server)\n"},
    {"ports",
     {"list the MIDI outputs and inputs by the names Quenlor keeps"},
     "Usage: quenlor-sysex ports [--outputs | --inputs] [--midi alsa|jack]\n"
     "Lists the MIDI outputs and inputs by the names the options dialog shows and the\n"
     "settings keep. The first output, Quenlor:MIDI Out, is the program's own port and the\n"
     "default output. No other port of Quenlor's clients is listed (the program's input,\n"
     "and on JACK the ports of a second program or of the companion, Quenlor-01 and on):\n"
     "they are no devices.\n"
     "  --outputs      only the output names, one a line\n"
     "  --inputs       only the input names, one a line\n"
     "  --midi SYSTEM  alsa or jack (default: the ALSA sequencer, else a running JACK server)\n"},
    {"mutate",
     {"IN's patch mutated as Sound > Mutate mutates it"},
     "Usage: quenlor-sysex mutate IN.b01 --amount PCT [--lock LIST] --seed N -o OUT.b01\n"
     "Writes IN's patch mutated as Quenlor's Sound > Mutate mutates it: each level moves by a\n"
     "normal deviate whose standard deviation is PCT % of half the number of its values, and\n"
     "each switch flips, each choice turns to another, with the probability PCT % / 2. The\n"
     "output keeps IN's name; the same seed gives the same patch on every machine.\n"
     "  --amount PCT   how far to mutate, 0..100\n"
     "  --lock LIST    parameter numbers left as they are, e.g. 19,20,24 (a member of a\n"
     "                 choice locks the whole choice)\n"
     "  --seed N       the random numbers' seed, 0..18446744073709551615\n"
     "  -o, --output OUT.b01   the patch file to write\n"},
    {"randomize",
     {"a random patch, as Sound > Randomize makes it"},
     "Usage: quenlor-sysex randomize [IN.b01] [--lock LIST] --seed N -o OUT.b01\n"
     "Writes a patch with any value for every parameter, each as likely, as Quenlor's\n"
     "Sound > Randomize makes it. Locked parameters keep IN's values, or without IN those\n"
     "of a new patch. The output keeps IN's name; the same seed gives the same patch.\n"
     "  --lock LIST    parameter numbers left as they are, e.g. 46,47,48\n"
     "  --seed N       the random numbers' seed, 0..18446744073709551615\n"
     "  -o, --output OUT.b01   the patch file to write\n"},
    {"morph",
     {"the patch between A and B that the Morph window makes"},
     "Usage: quenlor-sysex morph A.b01 B.b01 --at PCT [--lock LIST] -o OUT.b01\n"
     "Writes the patch PCT % of the way from A to B, as Quenlor's Morph window makes it:\n"
     "each level A's plus that share of the way to B's, rounded; switches and choices A's\n"
     "below 50 % and B's from 50 % on. Locked parameters keep A's values, and the output\n"
     "keeps A's name.\n"
     "  --at PCT       where between A (0) and B (100)\n"
     "  --lock LIST    parameter numbers left as they are, e.g. 19,20\n"
     "  -o, --output OUT.b01   the patch file to write\n"},
    {"library",
     {"watch folders for the patch library and scan them", "list the library's patches, one a line",
      "write the first 74 of them as a bank file"},
     "Usage: quenlor-sysex library add DIR...\n"
     "       quenlor-sysex library list [FILTER]...\n"
     "       quenlor-sysex library bank [FILTER]... -o OUT.bbk\n"
     "The patch library the program's Library window shows, in the same file and taking turns\n"
     "with the program when both write. A FILTER is one of --search, --category, --favourites\n"
     "and --missing below; the patches listed meet every FILTER given.\n"
     "  add DIR...         watch the folders and scan every watched folder for .bbk, .b01,\n"
     "                     .syx and .mid files; files that cannot be read are named on the\n"
     "                     standard error, with links followed out of the watched folders\n"
     "                     and links into the system's folders (/proc, /sys, /dev, /run),\n"
     "                     which are not followed\n"
     "  list               one patch a line, in the Library window's order, tab-separated:\n"
     "                     fingerprint, name, categories (separated by commas), copies, first "
     "file\n"
     "  bank -o OUT.bbk    the first 74 patches of the list as a bank file\n"
     "  --search TEXT      patches whose names or categories hold TEXT, in any case and with\n"
     "                     or without accents\n"
     "  --category NAME    patches of that category\n"
     "  --favourites       favourite patches only\n"
     "  --missing          only patches none of whose files is there any more\n"
     "Hidden patches are left out. A damaged library file is set aside and built again from\n"
     "the watched folders before list or bank reads it; with no watched folder known they say\n"
     "so and exit 1.\n"},
    {"presets",
     {"the file's patches as presets of the Quenlor Bit 01 plugin"},
     "Usage: quenlor-sysex presets FILE [-o DIR]\n"
     "Writes an LV2 preset bundle of the bank or patch file's patches for the \"Quenlor Bit 01\"\n"
     "plugin: one preset per patch, labelled as the patch list shows it (\"03 - Brass\"), with\n"
     "its 63 values and its name. A host lists them in the plugin's preset menu; applying one\n"
     "sends that patch. The presets' URIs depend on the file's name and the patch number alone,\n"
     "so a song that stored a preset finds it again when the bank is exported anew.\n"
     "  -o, --output DIR   the bundle folder to write; by default\n"
     "                     ~/.lv2/quenlor-NAME.lv2, NAME being the file's name without its\n"
     "                     extension\n"},
};

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

// A form without the options in brackets, which only the command's own help tells:
// "FILE [--patch N] -o OUT.syx" gives "FILE -o OUT.syx". Operands in brackets stay.
std::string withoutOptionalOptions(std::string_view form) {
    std::string out;
    for (std::size_t i = 0; i < form.size();) {
        if (form.compare(i, 2, "[-") == 0) {
            const std::size_t close = form.find(']', i);
            i = close == std::string_view::npos ? form.size() : close + 1;
            continue;
        }
        const bool blank = form[i] == ' ';
        if (!(blank && (out.empty() || out.back() == ' '))) out += form[i];
        ++i;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// The command's forms as its usage gives them: the usage line and each further
// "quenlor-sysex" line, each with its indented continuations.
std::vector<std::string> formsOf(const char* help) {
    std::vector<std::string> forms;
    for (const std::string& line : linesOf(help)) {
        if (forms.empty() && line.compare(0, kUsage.size(), kUsage) == 0)
            forms.push_back(line.substr(kUsage.size()));
        else if (!forms.empty() && line.compare(0, kFurtherForm.size(), kFurtherForm) == 0)
            forms.push_back(line.substr(kFurtherForm.size()));
        else if (!forms.empty() && line.compare(0, 1, " ") == 0)
            forms.back() += line;
        else
            break;
    }
    for (std::string& form : forms)
        form = withoutOptionalOptions(form);
    return forms;
}

// The overview's list: each form of each command and what it does.
std::string commandList() {
    std::string list;
    for (const Command& command : kCommands) {
        const std::vector<std::string> forms = formsOf(command.Help);
        for (std::size_t i = 0; i < forms.size(); ++i) {
            std::string item = std::string(kItemIndent, ' ') + forms[i];
            const char* summary = i < command.Summaries.size() ? command.Summaries[i] : nullptr;
            const std::vector<std::string> text = linesOf(summary ? summary : "");
            if (text.empty() || item.size() + kLeastGap > kSummaryColumn) {
                list += item + '\n';
                item.clear();
            }
            for (const std::string& line : text) {
                item.resize(kSummaryColumn, ' ');
                list += item + line + '\n';
                item.clear();
            }
        }
    }
    return list;
}

} // namespace

std::string companionHelp(const std::string& command) {
    for (const Command& known : kCommands)
        if (known.Name == command) return known.Help;
    return kOverviewStart + commandList() + kOverviewEnd;
}
