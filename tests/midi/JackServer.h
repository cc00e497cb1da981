#pragma once

#include <csignal>

#include "support/ChildProcess.h"

#include <QString>

// A JACK server with no sound card (the dummy driver) under a name of its own, started
// for one test program and stopped by it; JACK clients of the test program reach it
// through JACK_DEFAULT_SERVER.
class JackServer {
public:
    // Synchronous unless told otherwise (see Start()). An asynchronous server lets a
    // client killed with SIGKILL go at once, where a synchronous one stalls its cycles,
    // and every client with them, until that client has timed out again and again.
    explicit JackServer(bool synchronous = true);
    ~JackServer();
    // Starts jackd and waits until a client can connect; false with the reason in Error().
    // Can be called again after Stop() or Crash(): the new server has the same name.
    bool Start();
    void stop();
    // Ends the server as a crash does (SIGKILL to its process id), and waits for it.
    void crash();
    // Stops the server's process where it is, as an overloaded or debugged one stands
    // still (SIGSTOP), and lets it go on (SIGCONT).
    void freeze() { m_process.signal(SIGSTOP); }
    void thaw() { m_process.signal(SIGCONT); }
    QString name() const { return m_name; }
    QString error() const { return m_error; }

private:
    ChildProcess m_process;
    bool m_synchronous;
    QString m_name;
    QString m_error;
};
