#pragma once

class BackgroundMDI;
class Desktop;

// Start-up after the main window has loaded: shows it, shows the splash panel over it
// for three seconds in which no event is handled, then closes the panel. False when the
// main window was closed meanwhile: the program then ends instead of running.
bool Main(BackgroundMDI& window, Desktop& desktop);
