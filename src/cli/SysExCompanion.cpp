#include "SysExCompanion.h"

#include "CommandLine.h"
#include "CompanionHelp.h"
#include "FileCommands.h"
#include "LibraryCommand.h"
#include "PresetsCommand.h"
#include "SendCommands.h"
#include "SoundCommand.h"
#include "core/Version.h"

namespace {

using Command = int (*)(CompanionWorld& world, const CommandLine& line);

// A command carried out by a member of its group.
template <typename Group, int (Group::*Member)(const CommandLine&)>
int runIn(CompanionWorld& world, const CommandLine& line) {
    return (Group(world).*Member)(line);
}

// Each command and the group that carries it out.
const struct {
    const char* Name;
    Command Run;
} kCommands[] = {
    {"check", runIn<FileCommands, &FileCommands::check>},
    {"syx", runIn<FileCommands, &FileCommands::syx>},
    {"send", runIn<SendCommands, &SendCommands::send>},
    {"import", runIn<FileCommands, &FileCommands::importSysEx>},
    {"ports", runIn<SendCommands, &SendCommands::ports>},
    {"library", runIn<LibraryCommand, &LibraryCommand::run>},
    {"presets", runIn<PresetsCommand, &PresetsCommand::run>},
};

} // namespace

int SysExCompanion::run(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<CommandLine> line = parseCommandLine(args, error);
    if (!line) return CompanionCommand(m_world).usageError(error);
    if (line->Help) {
        m_world.Out << companionHelp(line->Command);
        return kSuccess;
    }
    if (line->Version) {
        m_world.Out << CompanionCommand::kProgram << ' ' << kQuenlorVersion << '\n';
        return kSuccess;
    }
    for (const auto& command : kCommands)
        if (line->Command == command.Name) return command.Run(m_world, *line);
    // mutate, randomize and morph
    return SoundCommand(m_world).run(*line);
}
