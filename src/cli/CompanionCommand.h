#pragma once

#include "storage/PatchRecord.h"

#include <string>
#include <vector>

struct CommandLine;
struct CompanionWorld;

// What the companion's command groups share: the world they answer to and the way a
// failure is said, with the exit status it gives.
class CompanionCommand {
public:
    static constexpr const char* kProgram = "quenlor-sysex";

    explicit CompanionCommand(CompanionWorld& world) : m_world(world) {}

    // The message, a pointer to --help, and the status of a command line that is wrong.
    int usageError(const std::string& text);
    int failure(const std::string& text);

protected:
    // The patches a syx or send takes from a loaded file; false when --patch does not
    // fit the file.
    static bool choosePatches(const CommandLine& line, FileKind kind, bool all,
                              std::vector<int>& patches, std::string& error);

    CompanionWorld& m_world;
};
