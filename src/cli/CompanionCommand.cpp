#include "CompanionCommand.h"

#include "CommandLine.h"
#include "SysExCompanion.h"
#include "core/PatchBank.h"

int CompanionCommand::usageError(const std::string& text) {
    m_world.Err << kProgram << ": " << text << "\nTry 'quenlor-sysex --help'.\n";
    return SysExCompanion::kUsage;
}

int CompanionCommand::failure(const std::string& text) {
    m_world.Err << kProgram << ": " << text << '\n';
    return SysExCompanion::kFailed;
}

bool CompanionCommand::choosePatches(const CommandLine& line, FileKind kind, bool all,
                                     std::vector<int>& patches, std::string& error) {
    if (kind == FileKind::Patch) {
        if (line.Patch && *line.Patch != kFirstPatch) {
            error = "a patch file holds one patch; --patch can only be 1";
            return false;
        }
        patches = {kFirstPatch};
    } else if (line.Patch) {
        patches = {*line.Patch};
    } else if (all) {
        for (int p = kFirstPatch; p <= kLastPatch; ++p)
            patches.push_back(p);
    } else {
        patches = {kFirstPatch};
    }
    return true;
}
