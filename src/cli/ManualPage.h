#pragma once

#include <string>
#include <utility>
#include <vector>

// A program's manual page, made from its own --help so that the two cannot differ.
//
// The help is read as the programs write it: the usage line (and its indented
// continuations), a one-line summary, then paragraphs and "Heading:" sections. In them a
// line indented by two blanks or more and holding a gap of two blanks is an item,
// "  TERM  text", its text going on in lines indented as far; a line indented by two
// blanks with deeper lines after it is an item whose text starts on the next line; any
// other indented line is an example, shown as it stands. Each command of a program with
// commands gets a subsection with its own help, read the same way, after the section
// "Commands:".
struct ManualPageSource {
    std::string Name; // "quenlor-sysex"
    std::string Version;
    std::string Date; // of the release, as 2026-12-08
    std::string Help;
    std::vector<std::pair<std::string, std::string>> Commands; // each command and its help
};

// The page in the man macros of roff, section 1.
std::string manualPage(const ManualPageSource& source);

// The commands a help lists under "Commands:": the first word of each item there.
std::vector<std::string> listedCommands(const std::string& help);
