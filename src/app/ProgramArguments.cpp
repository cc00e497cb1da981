#include "ProgramArguments.h"

#include "core/Version.h"

#include <algorithm>
#include <array>
#include <string_view>

const char* const kProgramHelp =
    "Usage: quenlor [OPTION]... [FILE]\n"
    "Edit, store and send the patches of a Bit 01 synthesizer.\n"
    "\n"
    "Quenlor keeps a bank of 74 patches, edits them in a grouped editor or in the\n"
    "instrument's parameter table and sends each patch over MIDI as a SysEx dump followed\n"
    "by Program Change 0. It starts with a new bank. Given a FILE, it reads the file once\n"
    "it is up: a patch file (.b01) into the patch selected in the patch list, as File >\n"
    "Open Patch does, any other file as a bank (.bbk), as File > Open Bank does. A file\n"
    "that cannot be read is named in a message, and the program goes on.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and end\n"
    "      --version  show the version and end\n"
    "  --             what follows is the FILE, even when it starts with -\n"
    "The window system's own options (-platform NAME, -style NAME, -display DISPLAY and\n"
    "the other options of Qt's applications) are passed to it.\n"
    "\n"
    "Files:\n"
    "  ~/.config/Quenlor/Quenlor.conf\n"
    "                 the choices of File > Options: MIDI devices, channels, automatic\n"
    "                 update, MIDI thru, the Bit 99 header and the timing\n"
    "  ~/.local/state/Quenlor/\n"
    "                 a copy of each bank not saved yet, offered back by File > Restore\n"
    "                 Unsaved Bank after a quit, a crash or a power cut\n"
    "  ~/.local/share/Quenlor/library.sqlite\n"
    "                 the patch library of Library > Show Library, shared with\n"
    "                 quenlor-sysex library; library-folders.txt beside it lists the\n"
    "                 watched folders\n"
    "  /usr/share/quenlor/manual/\n"
    "                 the manual that Help > Contents opens\n"
    "\n"
    "Environment:\n"
    "  DISPLAY, WAYLAND_DISPLAY\n"
    "                 the display the windows open on\n"
    "  QT_QPA_PLATFORM\n"
    "                 the window system to use, such as xcb or wayland\n"
    "  JACK_DEFAULT_SERVER\n"
    "                 the JACK server to use when the ALSA sequencer cannot be opened;\n"
    "                 Quenlor never starts a JACK server itself\n"
    "  XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_DATA_HOME\n"
    "                 the folders used in place of ~/.config, ~/.local/state and\n"
    "                 ~/.local/share\n"
    "\n"
    "Exit status:\n"
    "  0              the program ended, or showed its help or version\n"
    "  1              there is no display to show the windows on: neither DISPLAY nor\n"
    "                 WAYLAND_DISPLAY is set, or the display cannot be reached\n"
    "  2              a usage error: an unknown option, or more than one FILE\n"
    "\n"
    "See also:\n"
    "  quenlor-sysex(1)  the same files, dumps and MIDI ports from the command line\n";

namespace {

constexpr std::string_view kProgram = "quenlor";

// Qt's own options, which its application object takes out of the command line (in the
// -name and the --name form). Those that take a value take the next argument, or
// "-name=value" for the style options.
constexpr std::array<std::string_view, 16> kToolkitOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "session", "style",
    "stylesheet", "display", "name", "visual"};
constexpr std::array<std::string_view, 6> kToolkitFlags = {
    "reverse", "widgetcount", "sync", "nograb", "dograb", "testability"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

ProgramArguments readProgramArguments(const std::vector<std::string>& args) {
    ProgramArguments arguments;
    const auto fail = [&arguments](const std::string& text) {
        arguments.Error = text;
        return arguments;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (arguments.File) return fail("only one file can be opened");
            arguments.File = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            arguments.Help = true;
        } else if (arg == "--version") {
            arguments.Version = true;
        } else {
            std::string_view name(arg);
            name.remove_prefix(name.compare(0, 2, "--") == 0 ? 2 : 1);
            const std::string_view bare = name.substr(0, name.find('='));
            const bool joinedValue = bare.size() < name.size();
            if (listed(kToolkitOptionsWithValue, bare)) {
                if (!joinedValue && ++i >= args.size())
                    return fail("option '" + arg + "' needs a value");
                const std::string value =
                    joinedValue ? std::string(name.substr(bare.size() + 1)) : args[i];
                if (bare == "platform") arguments.Platform = value;
                if (bare == "display") arguments.Display = value;
            } else if (!listed(kToolkitFlags, name)) {
                return fail("unknown option '" + arg + "'");
            }
        }
    }
    return arguments;
}

namespace {
// The window systems that show their windows on a display named by the environment.
bool needsDisplay(std::string_view platform) {
    platform = platform.substr(0, platform.find(':')); // "xcb:option=value"
    return platform == "xcb" || platform.compare(0, 7, "wayland") == 0;
}
} // namespace

std::optional<std::string> missingDisplay(const ProgramArguments& arguments,
                                          std::string (*environment)(const char* name)) {
    // The platform is a list tried in turn ("wayland;xcb"); Qt's default is one that needs
    // a display.
    const std::string platforms =
        arguments.Platform ? *arguments.Platform : environment("QT_QPA_PLATFORM");
    for (std::size_t from = 0; from <= platforms.size();) {
        const std::size_t end = std::min(platforms.find(';', from), platforms.size());
        const std::string_view platform = std::string_view(platforms).substr(from, end - from);
        if (!platform.empty() && !needsDisplay(platform)) return std::nullopt;
        from = end + 1;
    }
    if ((arguments.Display && !arguments.Display->empty()) || !environment("DISPLAY").empty() ||
        !environment("WAYLAND_DISPLAY").empty())
        return std::nullopt;
    return std::string("neither DISPLAY nor WAYLAND_DISPLAY is set");
}

std::string noDisplayLine(const std::string& reason) {
    return std::string(kProgram) + ": no display to show the windows on (" + reason + ")";
}

std::optional<int> answerProgramArguments(const ProgramArguments& arguments, std::ostream& out,
                                          std::ostream& err) {
    constexpr int kSuccess = 0;
    constexpr int kUsage = 2;
    if (!arguments.Error.empty()) {
        err << kProgram << ": " << arguments.Error << "\nTry '" << kProgram << " --help'.\n";
        return kUsage;
    }
    if (arguments.Help) {
        out << kProgramHelp;
        return kSuccess;
    }
    if (arguments.Version) {
        out << kProgram << ' ' << kQuenlorVersion << '\n';
        return kSuccess;
    }
    return std::nullopt;
}
