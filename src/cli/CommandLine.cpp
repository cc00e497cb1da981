#include "CommandLine.h"

#include "core/ParameterLocks.h"
#include "core/PatchBank.h"
#include "core/SoundRules.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace {

constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 16;
constexpr int kLongestPause = 2000;

enum Commands : unsigned {
    kCheck = 1u << 0,
    kSyx = 1u << 1,
    kSend = 1u << 2,
    kPorts = 1u << 3,
    kImport = 1u << 4,
    kMutate = 1u << 5,
    kRandomize = 1u << 6,
    kMorph = 1u << 7,
    kLibrary = 1u << 8,
    kPresets = 1u << 9,
};

enum class Option {
    Patch,
    Channel,
    Bit99,
    Port,
    Pause,
    Output,
    Amount,
    At,
    Seed,
    Lock,
    Midi,
    Outputs,
    Inputs,
    Search,
    Category,
    Favourites,
    Missing,
    Help,
    Version
};

struct OptionRow {
    std::string_view Long;
    char Short; // 0 for none
    Option Which;
    bool TakesValue;
    unsigned Commands; // the subcommands that take it
};

constexpr unsigned kSounds = kMutate | kRandomize | kMorph;
constexpr unsigned kAll = kCheck | kSyx | kSend | kPorts | kImport | kSounds | kLibrary | kPresets;

constexpr std::array<OptionRow, 19> kOptions = {{
    {"patch", 0, Option::Patch, true, kSyx | kSend},
    {"channel", 0, Option::Channel, true, kSyx | kSend},
    {"bit99", 0, Option::Bit99, false, kSyx | kSend},
    {"port", 0, Option::Port, true, kSend},
    {"pause", 0, Option::Pause, true, kSend},
    {"output", 'o', Option::Output, true, kSyx | kImport | kSounds | kLibrary | kPresets},
    {"amount", 0, Option::Amount, true, kMutate},
    {"at", 0, Option::At, true, kMorph},
    {"seed", 0, Option::Seed, true, kMutate | kRandomize},
    {"lock", 0, Option::Lock, true, kSounds},
    {"midi", 0, Option::Midi, true, kSend | kPorts},
    {"outputs", 0, Option::Outputs, false, kPorts},
    {"inputs", 0, Option::Inputs, false, kPorts},
    {"search", 0, Option::Search, true, kLibrary},
    {"category", 0, Option::Category, true, kLibrary},
    {"favourites", 0, Option::Favourites, false, kLibrary},
    {"missing", 0, Option::Missing, false, kLibrary},
    {"help", 'h', Option::Help, false, kAll},
    {"version", 0, Option::Version, false, 0},
}};

unsigned commandBit(std::string_view command) {
    if (command == "check") return kCheck;
    if (command == "syx") return kSyx;
    if (command == "send") return kSend;
    if (command == "ports") return kPorts;
    if (command == "import") return kImport;
    if (command == "mutate") return kMutate;
    if (command == "randomize") return kRandomize;
    if (command == "morph") return kMorph;
    if (command == "library") return kLibrary;
    if (command == "presets") return kPresets;
    return 0;
}

// A whole number in first..last written in decimal digits alone.
std::optional<int> numberIn(const std::string& text, int first, int last,
                            std::size_t maxDigits = 3) {
    if (text.empty() || text.size() > maxDigits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < first || value > last) return std::nullopt;
    return value;
}

// A seed: decimal digits alone, 0..2^64-1.
std::optional<uint64_t> seedIn(const std::string& text) {
    constexpr std::size_t kMostDigits = 20;
    if (text.empty() || text.size() > kMostDigits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    uint64_t seed = 0;
    for (const char c : text) {
        const auto digit = static_cast<uint64_t>(c - '0');
        if (seed > (UINT64_MAX - digit) / 10) return std::nullopt;
        seed = seed * 10 + digit;
    }
    return seed;
}

const OptionRow* findOption(std::string_view arg, std::string& value, bool& hasValue) {
    hasValue = false;
    if (arg.size() > 2 && arg.substr(0, 2) == "--") {
        std::string_view name = arg.substr(2);
        const auto equals = name.find('=');
        if (equals != std::string_view::npos) {
            value = std::string(name.substr(equals + 1));
            hasValue = true;
            name = name.substr(0, equals);
        }
        for (const OptionRow& row : kOptions)
            if (row.Long == name) return &row;
        return nullptr;
    }
    if (arg.size() >= 2 && arg[0] == '-') {
        for (const OptionRow& row : kOptions) {
            if (row.Short == 0 || row.Short != arg[1]) continue;
            if (arg.size() > 2) {
                if (!row.TakesValue) return nullptr;
                value = std::string(arg.substr(2));
                hasValue = true;
            }
            return &row;
        }
    }
    return nullptr;
}

} // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine line;
    unsigned command = 0;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool looksLikeOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!looksLikeOption) {
            if (command == 0) {
                command = commandBit(arg);
                if (command == 0) {
                    error = "unknown command '" + arg + "'";
                    return std::nullopt;
                }
                line.Command = arg;
            } else {
                line.Files.push_back(arg);
            }
            continue;
        }
        std::string value;
        bool hasValue = false;
        const OptionRow* row = findOption(arg, value, hasValue);
        if (!row) {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        const std::string shownName = "--" + std::string(row->Long);
        if (command == 0 && row->Which != Option::Help && row->Which != Option::Version) {
            error = "the command comes before its options";
            return std::nullopt;
        }
        if (command != 0 && !(row->Commands & command)) {
            error = line.Command + " takes no option " + shownName;
            return std::nullopt;
        }
        if (row->TakesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                error = "option " + shownName + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        } else if (!row->TakesValue && hasValue) {
            error = "option " + shownName + " takes no value";
            return std::nullopt;
        }
        switch (row->Which) {
        case Option::Patch:
            line.Patch = numberIn(value, kFirstPatch, kLastPatch);
            if (!line.Patch) {
                error = "--patch takes a patch number 1..74, not '" + value + "'";
                return std::nullopt;
            }
            break;
        case Option::Channel:
            line.Channel = numberIn(value, kFirstChannel, kLastChannel);
            if (!line.Channel) {
                error = "--channel takes a MIDI channel 1..16, not '" + value + "'";
                return std::nullopt;
            }
            break;
        case Option::Bit99:
            line.Bit99 = true;
            break;
        case Option::Port:
            line.Port = value;
            break;
        case Option::Pause:
            line.Pause = numberIn(value, 0, kLongestPause, 4);
            if (!line.Pause) {
                error = "--pause takes milliseconds 0..2000, not '" + value + "'";
                return std::nullopt;
            }
            break;
        case Option::Output:
            line.Output = value;
            break;
        case Option::Amount:
        case Option::At: {
            const std::optional<int> percent = numberIn(value, 0, SoundRules::kMostPercent);
            if (!percent) {
                error = shownName + " takes a percentage 0..100, not '" + value + "'";
                return std::nullopt;
            }
            (row->Which == Option::Amount ? line.Amount : line.At) = percent;
            break;
        }
        case Option::Seed:
            line.Seed = seedIn(value);
            if (!line.Seed) {
                error = "--seed takes a whole number 0.." + std::to_string(UINT64_MAX) + ", not '" +
                        value + "'";
                return std::nullopt;
            }
            break;
        case Option::Lock:
            if (!ParameterLocks::fromText(value)) {
                error = "--lock takes parameter numbers 1..63, comma-separated, not '" + value + "'";
                return std::nullopt;
            }
            line.Lock = value;
            break;
        case Option::Midi:
            if (value != "alsa" && value != "jack") {
                error = "--midi takes alsa or jack, not '" + value + "'";
                return std::nullopt;
            }
            line.Midi = value;
            break;
        case Option::Outputs:
            line.OutputsOnly = true;
            break;
        case Option::Inputs:
            line.InputsOnly = true;
            break;
        case Option::Search:
            line.Search = value;
            break;
        case Option::Category:
            line.Category = value;
            break;
        case Option::Favourites:
            line.Favourites = true;
            break;
        case Option::Missing:
            line.Missing = true;
            break;
        case Option::Help:
            line.Help = true;
            break;
        case Option::Version:
            line.Version = true;
            break;
        }
    }
    if (line.Help || line.Version) return line;
    if (command == 0) {
        error = "no command given";
        return std::nullopt;
    }
    const std::size_t files = line.Files.size();
    if (command == kCheck && files == 0) {
        error = "check needs at least one file";
        return std::nullopt;
    }
    if ((command == kSyx || command == kSend || command == kImport || command == kPresets) &&
        files != 1) {
        error = line.Command + " takes one file";
        return std::nullopt;
    }
    if (command == kMutate && files != 1) {
        error = "mutate takes one patch file";
        return std::nullopt;
    }
    if (command == kRandomize && files > 1) {
        error = "randomize takes one patch file at the most";
        return std::nullopt;
    }
    if (command == kMorph && files != 2) {
        error = "morph takes two patch files, A and B";
        return std::nullopt;
    }
    if ((command & kSounds) && !line.Output) {
        error = line.Command + " needs -o OUT.b01";
        return std::nullopt;
    }
    if (command == kMutate && !line.Amount) {
        error = "mutate needs --amount PCT";
        return std::nullopt;
    }
    if ((command & (kMutate | kRandomize)) && !line.Seed) {
        error = line.Command + " needs --seed N";
        return std::nullopt;
    }
    if (command == kMorph && !line.At) {
        error = "morph needs --at PCT";
        return std::nullopt;
    }
    if (command == kPorts && files != 0) {
        error = "ports takes no file";
        return std::nullopt;
    }
    if (command == kSyx && !line.Output) {
        error = "syx needs -o OUT.syx (or -o - for the standard output)";
        return std::nullopt;
    }
    if (command == kImport && !line.Output) {
        error = "import needs -o OUT.bbk";
        return std::nullopt;
    }
    if (command == kLibrary) {
        if (files == 0) {
            error = "library needs add, list or bank";
            return std::nullopt;
        }
        line.Subcommand = line.Files.front();
        line.Files.erase(line.Files.begin());
        const bool filtered = line.Search || line.Category || line.Favourites || line.Missing;
        if (line.Subcommand == "add") {
            if (line.Files.empty()) {
                error = "library add needs at least one folder";
                return std::nullopt;
            }
            if (filtered || line.Output) {
                error = "library add takes folders only";
                return std::nullopt;
            }
        } else if (line.Subcommand == "list" || line.Subcommand == "bank") {
            if (!line.Files.empty()) {
                error = "library " + line.Subcommand + " takes no folder or file";
                return std::nullopt;
            }
            if (line.Subcommand == "list" && line.Output) {
                error = "library list writes to the standard output; -o is for library bank";
                return std::nullopt;
            }
            if (line.Subcommand == "bank" && !line.Output) {
                error = "library bank needs -o OUT.bbk";
                return std::nullopt;
            }
        } else {
            error = "unknown library command '" + line.Subcommand + "' (add, list or bank)";
            return std::nullopt;
        }
    }
    if (line.OutputsOnly && line.InputsOnly) {
        error = "--outputs and --inputs exclude each other";
        return std::nullopt;
    }
    return line;
}
