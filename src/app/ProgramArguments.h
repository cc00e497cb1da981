#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What the program's command line asks: its help, its version, or a bank or patch file
// to open once the program is up. Read before anything else starts, so that help and the
// version need neither a window system nor MIDI. The window system's own options (Qt's
// -style, -platform and the like) are left to it.
struct ProgramArguments {
    bool Help = false;
    bool Version = false;
    std::optional<std::string> File; // as given, in the file system's encoding
    std::string Error;               // a usage error; the program does not start
    // The window system's -platform and -display options, when given.
    std::optional<std::string> Platform;
    std::optional<std::string> Display;
};

// The arguments after the program name.
ProgramArguments readProgramArguments(const std::vector<std::string>& args);

// Says what the command line asked for when it is not a start: the help or the version
// on `out`, a usage error on `err`. Gives the exit status then, nothing for a start.
std::optional<int> answerProgramArguments(const ProgramArguments& arguments, std::ostream& out,
                                          std::ostream& err);

// Why the windows would have nowhere to show: the window system to be used (xcb or
// Wayland, from -platform or QT_QPA_PLATFORM, by default the one of the desktop) needs a
// display, and none is named (neither DISPLAY nor WAYLAND_DISPLAY is set, nor -display
// given). Nothing when there is one, or when a window system that needs none (offscreen,
// vnc, eglfs and the like) is asked for. `environment` reads a variable, empty when unset.
std::optional<std::string> missingDisplay(const ProgramArguments& arguments,
                                          std::string (*environment)(const char* name));
// The line that says so, and the exit status then.
inline constexpr int kNoDisplayStatus = 1;
std::string noDisplayLine(const std::string& reason);

// The text of --help, which is also the manual page quenlor(1): the usage line, a
// one-line summary, then paragraphs and "Heading:" sections of "  TERM  text" items.
extern const char* const kProgramHelp;
