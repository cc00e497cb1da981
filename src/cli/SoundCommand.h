#pragma once

#include "CompanionCommand.h"

// The companion's new patches from old ones: mutate, randomize and morph, as the Sound
// menu makes them.
class SoundCommand : public CompanionCommand {
public:
    using CompanionCommand::CompanionCommand;

    int run(const CommandLine& line);
};
