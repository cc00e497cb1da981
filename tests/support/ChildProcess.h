#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// A program a test runs, started with posix_spawn (a ThreadSanitizer build cannot run
// QProcess's way of starting one), its standard output and error kept in files. A child
// still running when the object goes is killed.
class ChildProcess {
public:
    ~ChildProcess();
    // `command` is the program (looked up in PATH) and its arguments, after any number
    // of "NAME=value" entries that set its environment, as env(1) takes them.
    bool start(const QStringList& command);
    bool running();
    // Waits at most `ms` for the end; false when it still runs.
    bool waitForFinished(int ms);
    void signal(int number); // by the child's process id
    int exitCode() const { return m_exitCode; } // -1 unless it ended by itself
    QByteArray output(const char* name) const; // "out" or "err"

private:
    QTemporaryDir m_dir;
    pid_t m_pid = -1;
    int m_exitCode = -1;
};
