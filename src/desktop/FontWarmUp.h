#pragma once

#include <thread>

// Reads the system's font configuration on a thread of its own while the program
// connects to the window system. Reading it (fontconfig parsing its configuration
// files and font caches) takes several milliseconds, and the first window cannot be laid
// out without it; done beside the connection, the window is ready that much sooner.
// wait() returns once it is read, and must come before the first font is asked for, so
// that the window's thread does not read it a second time meanwhile.
class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void wait();

private:
    std::thread m_reader;
};
