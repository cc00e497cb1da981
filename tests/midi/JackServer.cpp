#include "JackServer.h"

#include <QElapsedTimer>
#include <QThread>

#include <jack/jack.h>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

JackServer::JackServer() : m_name(QStringLiteral("quenlor-test-%1").arg(getpid())) {}

JackServer::~JackServer() { stop(); }

bool JackServer::Start() {
    m_error.clear();
    // The probes below fail until the server is up; libjack would print each failure.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
    m_process.setProgram(QStringLiteral("jackd"));
    // No real-time scheduling (CI runs without it). Synchronous, with a long client
    // timeout: on a loaded machine without real-time scheduling a client can be late,
    // and an asynchronous server would then drop that cycle's MIDI events, which is
    // the server's loss and not the program's. The dummy driver at 48 kHz with periods
    // of 256 frames, about 5 ms.
    m_process.setArguments({"--no-realtime", "--sync", "--timeout", "5000", "--name", m_name, "-d", "dummy",
                            "-r", "48000", "-p", "256"});
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // The server ends with the test program, even when that one crashes.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("jackd could not be started: %1").arg(m_process.errorString());
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        if (m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("jackd ended: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
            return false;
        }
        if (jack_client_t* probe = jack_client_open("probe", JackNoStartServer, nullptr)) {
            jack_client_close(probe);
            return true;
        }
        QThread::msleep(50);
    }
    m_error = QStringLiteral("jackd took no client within 10 s: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
    return false;
}

void JackServer::crash() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill(); // SIGKILL, by the process id QProcess started
    m_process.waitForFinished(5000);
}

void JackServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate(); // by the process id QProcess started
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}
