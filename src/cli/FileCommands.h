#pragma once

#include "CompanionCommand.h"

struct SysExScan;

// The companion's commands on files alone: check them, write their dumps as SysEx, and
// turn a SysEx file into a bank file.
class FileCommands : public CompanionCommand {
public:
    using CompanionCommand::CompanionCommand;

    int check(const CommandLine& line);
    int syx(const CommandLine& line);
    int importSysEx(const CommandLine& line);

private:
    bool checkSysEx(const std::string& path);
    void writeSkipped(const std::string& path, const SysExScan& scan);
};
