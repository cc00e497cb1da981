#pragma once

#include <optional>
#include <string>

class BackgroundMDI;
class Desktop;

// Start-up after the main window has loaded: shows it, shows the splash panel over it
// for three seconds in which no event is handled (a quit signal ends them early), then
// closes the panel. The program's icon is set once both windows are up. False when the
// main window was closed meanwhile (at any point, a message about the file included):
// the program then ends instead of running. A file named on the command line is opened
// once the panel is gone, as File > Open Bank or Open Patch would open it, and its patch
// is the first the instrument hears.
bool Main(BackgroundMDI& window, Desktop& desktop,
          const std::optional<std::string>& file = std::nullopt);
