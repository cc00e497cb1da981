#pragma once

#include "CompanionCommand.h"

class MidiWorld;

// The companion's commands on the MIDI system: send a patch to the instrument as the
// program does, and list the ports.
class SendCommands : public CompanionCommand {
public:
    using CompanionCommand::CompanionCommand;

    int send(const CommandLine& line);
    int ports(const CommandLine& line);

private:
    int openProgramsDevices(MidiWorld& world, std::string& sentTo);
};
