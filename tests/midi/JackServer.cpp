#include "JackServer.h"

#include <QElapsedTimer>
#include <QThread>

#include <jack/jack.h>

#include <unistd.h>

JackServer::JackServer(bool synchronous)
    : m_synchronous(synchronous), m_name(QStringLiteral("quenlor-test-%1").arg(getpid())) {}

JackServer::~JackServer() { stop(); }

bool JackServer::Start() {
    m_error.clear();
    // The probes below fail until the server is up; libjack would print each failure.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
    // No real-time scheduling (CI runs without it). Synchronous, with a long client
    // timeout: on a loaded machine without real-time scheduling a client can be late,
    // and an asynchronous server would then drop that cycle's MIDI events, which is
    // the server's loss and not the program's. The dummy driver at 48 kHz with periods
    // of 256 frames, about 5 ms. The server ends with the test program, even when that
    // one crashes.
    QStringList command{"setpriv", "--pdeathsig", "TERM", "--", "jackd", "--no-realtime"};
    if (m_synchronous) command << "--sync";
    command << "--timeout" << "5000" << "--name" << m_name << "-d" << "dummy" << "-r" << "48000"
            << "-p" << "256";
    if (!m_process.start(command)) {
        m_error = QStringLiteral("jackd could not be started");
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        if (!m_process.running()) {
            m_error = QStringLiteral("jackd ended: %1")
                          .arg(QString::fromLocal8Bit(m_process.output("err")));
            return false;
        }
        if (jack_client_t* probe = jack_client_open("probe", JackNoStartServer, nullptr)) {
            jack_client_close(probe);
            return true;
        }
        QThread::msleep(50);
    }
    m_error = QStringLiteral("jackd took no client within 10 s: %1")
                  .arg(QString::fromLocal8Bit(m_process.output("err")));
    return false;
}

void JackServer::crash() {
    m_process.signal(SIGKILL);
    m_process.waitForFinished(5000);
}

void JackServer::stop() {
    if (!m_process.running())
        return;
    m_process.signal(SIGCONT); // a frozen server could not end
    m_process.signal(SIGTERM);
    if (!m_process.waitForFinished(5000)) {
        m_process.signal(SIGKILL);
        m_process.waitForFinished(2000);
    }
}
