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
};

// The arguments after the program name.
ProgramArguments readProgramArguments(const std::vector<std::string>& args);

// Says what the command line asked for when it is not a start: the help or the version
// on `out`, a usage error on `err`. Gives the exit status then, nothing for a start.
std::optional<int> answerProgramArguments(const ProgramArguments& arguments, std::ostream& out,
                                          std::ostream& err);

// The text of --help, which is also the manual page quenlor(1): the usage line, a
// one-line summary, then paragraphs and "Heading:" sections of "  TERM  text" items.
extern const char* const kProgramHelp;
