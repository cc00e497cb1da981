#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// A program a test runs: started with posix_spawn, which every build of the tests can
// follow (a ThreadSanitizer build cannot run QProcess's way of starting a child), with
// its standard output and error written to files of its own. A child still running
// when the object goes is killed.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Starts `program` (looked up in PATH) with the environment of the test and the
    // "NAME=value" entries of `environment` over it.
    bool start(const QString& program, const QStringList& args,
               const QStringList& environment = {});
    bool running();
    // Waits at most `ms` for the end; false when it still runs.
    bool waitForFinished(int ms);
    // Sends a signal to the child, by its process id.
    void signal(int number);
    // The exit status; -1 unless the child ended by itself.
    int exitCode() const { return m_exitCode; }
    QByteArray standardOutput() const { return read("out"); }
    QByteArray standardError() const { return read("err"); }

private:
    QByteArray read(const char* name) const;

    QTemporaryDir m_dir;
    pid_t m_pid = -1;
    int m_exitCode = -1;
};
