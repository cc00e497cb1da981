#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class MidiBackend;
class MidiWorld;
class SettingsStore;

// What the companion reaches outside itself; main() makes the real one, tests their own.
struct CompanionWorld {
    std::ostream& Out; // results: verdicts and port lists
    std::ostream& Err; // every message
    // Opens the MIDI system "alsa", "jack", or for "" the windowed program's own
    // choice; nullptr when the one asked for cannot be reached.
    std::function<std::unique_ptr<MidiBackend>(const std::string& system)> OpenMidi;
    // Read only: the companion never writes a setting.
    SettingsStore& Store;
    // The library's file; empty for the one the windowed program uses.
    std::string LibraryPath = {};
};

// quenlor-sysex: the program's files, dumps and MIDI ports from the command line.
class SysExCompanion {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kFailed = 1; // a check found faults, a file or send failed
    static constexpr int kUsage = 2;

    explicit SysExCompanion(CompanionWorld& world) : m_world(world) {}

    // The arguments after the program name; gives the exit status.
    int run(const std::vector<std::string>& args);

private:
    CompanionWorld& m_world;
};
