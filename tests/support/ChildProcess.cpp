#include "ChildProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

ChildProcess::~ChildProcess() {
    signal(SIGKILL);
    waitForFinished(5000);
}

bool ChildProcess::start(const QStringList& command) {
    std::vector<QByteArray> args{"env"};
    for (const QString& a : command)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const QByteArray out = m_dir.filePath("out").toLocal8Bit();
    const QByteArray err = m_dir.filePath("err").toLocal8Bit();
    posix_spawn_file_actions_addopen(&files, 1, out.data(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.data(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    m_exitCode = -1;
    if (posix_spawnp(&m_pid, "env", &files, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return m_pid > 0;
}

bool ChildProcess::running() {
    int status = 0;
    if (m_pid <= 0 || waitpid(m_pid, &status, WNOHANG) == 0) return m_pid > 0;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return false;
}

bool ChildProcess::waitForFinished(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (running() && waited.elapsed() < ms)
        QThread::msleep(5);
    return !running();
}

void ChildProcess::signal(int number) {
    if (m_pid > 0) ::kill(m_pid, number);
}

QByteArray ChildProcess::output(const char* name) const {
    QFile file(m_dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
