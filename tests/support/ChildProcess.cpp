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
    if (running()) {
        signal(SIGKILL);
        waitForFinished(5000);
    }
}

bool ChildProcess::start(const QString& program, const QStringList& args,
                         const QStringList& environment) {
    m_exitCode = -1;
    std::vector<QByteArray> argBytes{program.toLocal8Bit()};
    for (const QString& a : args)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<QByteArray> envBytes;
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        if (!std::any_of(environment.begin(), environment.end(),
                         [&](const QString& over) { return over.toLocal8Bit().startsWith(name); }))
            envBytes.push_back(entry);
    }
    for (const QString& over : environment)
        envBytes.push_back(over.toLocal8Bit());
    std::vector<char*> argv, envp;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    for (QByteArray& e : envBytes)
        envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const QByteArray out = m_dir.filePath("out").toLocal8Bit();
    const QByteArray err = m_dir.filePath("err").toLocal8Bit();
    posix_spawn_file_actions_addopen(&files, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int result = posix_spawnp(&m_pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (result != 0) m_pid = -1;
    return result == 0;
}

bool ChildProcess::running() {
    if (m_pid <= 0) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == 0) return true;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return false;
}

bool ChildProcess::waitForFinished(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (running()) {
        if (waited.elapsed() > ms) return false;
        QThread::msleep(5);
    }
    return true;
}

void ChildProcess::signal(int number) {
    if (m_pid > 0) ::kill(m_pid, number);
}

QByteArray ChildProcess::read(const char* name) const {
    QFile file(m_dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
