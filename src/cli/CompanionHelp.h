#pragma once

#include <string>

// The companion's help: a command's own, or for any other name the overview. The
// overview lists each command by the forms of its own usage line, the options in
// brackets left out, so that the two never name different operands.
std::string companionHelp(const std::string& command);
