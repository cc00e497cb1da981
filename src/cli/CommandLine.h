#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The companion's command line: a subcommand, its files and its options, in the usual
// Unix style ("--patch 3" or "--patch=3", "-o OUT", "--" ends the options).
struct CommandLine {
    // "check", "syx", "send", "ports", "import", "mutate", "randomize", "morph",
    // "library", "presets"; empty for --help or --version alone
    std::string Command;
    // For "library": "add", "list" or "bank"; its folders are the files.
    std::string Subcommand;
    std::vector<std::string> Files;
    std::optional<int> Patch;   // 1..74
    std::optional<int> Channel; // 1..16
    bool Bit99 = false;
    std::optional<std::string> Port;
    std::optional<int> Pause; // 0..2000 milliseconds
    std::optional<std::string> Output;
    std::optional<int> Amount;      // 0..100 %
    std::optional<int> At;          // 0..100 %
    std::optional<uint64_t> Seed;
    std::optional<std::string> Lock; // parameter numbers, comma-separated (checked)
    std::string Midi; // "alsa", "jack" or empty for the windowed program's own choice
    bool OutputsOnly = false;
    bool InputsOnly = false;
    // The library's filters.
    std::optional<std::string> Search;
    std::optional<std::string> Category;
    bool Favourites = false;
    bool Missing = false;
    bool Help = false;
    bool Version = false;
};

// The arguments after the program name. No value and the reason in `error` on a usage
// error: an unknown subcommand or option, an option the subcommand does not take, a
// missing or malformed value, a wrong number of files.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);
