#pragma once

#include <string>

// Watches the application object reach the window system. A display that cannot be
// reached (a DISPLAY naming no running server) ends the program with one line saying so
// and exit status 1, where the toolkit would abort and leave a core file. What the
// toolkit says meanwhile is held back, and said once the display is reached.
class ReachingDisplay {
public:
    // `display`: the display named, for the line.
    explicit ReachingDisplay(std::string display);
    ~ReachingDisplay();
    ReachingDisplay(const ReachingDisplay&) = delete;
    ReachingDisplay& operator=(const ReachingDisplay&) = delete;

    // The application object is up: the toolkit's messages go where they went before.
    void reached();
};
