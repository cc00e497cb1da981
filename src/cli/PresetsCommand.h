#pragma once

struct CommandLine;
struct CompanionWorld;

// quenlor-sysex presets: a bank or patch file's patches as presets of the plugin, in a
// bundle folder a host finds (by default ~/.lv2/quenlor-<file name>.lv2).
class PresetsCommand {
public:
    explicit PresetsCommand(CompanionWorld& world) : m_world(world) {}
    // The exit status, as the companion's other commands give it.
    int run(const CommandLine& line);

private:
    CompanionWorld& m_world;
};
