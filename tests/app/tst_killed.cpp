#include "support/TestProgram.h"
#include "core/QuenlorCode.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "storage/UnsavedCopy.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

// The real program on an X server of the test's own, driven by synthetic key presses:
// a bank edited and then killed with SIGKILL is offered and restored by the next run,
// byte for byte; unsaved work survives a kill right after it was restored or replaced,
// and the value being typed survives the session's end. A row dragged with the pointer
// onto another program's list is pasted there. A program killed straight after a burst
// of changes keeps the last, and the signals that ask it to end end it at any moment.
class TestKilled : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void killedProgramsBankIsRestored();
    void replacedAndTypedWorkSurvives();
    void rowDraggedOntoAnotherProgram();
    void lastMutationSurvivesAKill();
    void signalEndsTheProgramAtAnyMoment_data();
    void signalEndsTheProgramAtAnyMoment();

private:
    QProcessEnvironment environment() const;
    // The program, its main window up and the splash gone; null when it did not come up.
    std::unique_ptr<QProcess> startProgram(const QStringList& arguments = {},
                                           QString* window = nullptr);
    QString xdotool(const QStringList& arguments, int timeoutMs = 15000);
    // With `pastSplash` false, returns as soon as the main window shows, the splash over it.
    QString waitForMainWindow(qint64 program, bool pastSplash = true);
    // The last patch dump the program sent on the JACK server, empty for none.
    QByteArray lastDump() const;
    QStringList copies() const;
    bool hasCopy(const QByteArray& bytes) const;
    // The copy of a new bank whose patch 1 has this name and LFO1 Delay.
    static QByteArray newBankCopy(const std::string& name, int16_t delay = 0);
    // From the patch list: Tab to "Normal Edit" and open patch 1; its name box has the focus.
    void openNormalEdit();
    static void kill(QProcess& process);

    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_server;
    QString m_display;
    // A JACK server of the test's own, which the programs reach, and a client reading
    // what they send; none where jackd is missing.
    std::unique_ptr<JackServer> m_jack;
    std::unique_ptr<CaptureClient> m_capture;
};

void TestKilled::initTestCase() {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        QSKIP("Xvfb and xdotool are needed to drive the real program");
    QVERIFY(m_home.isValid());
    // -displayfd 1: the server picks a free display and names it on its output.
    // -noreset: by default the server starts afresh when its last client leaves, and
    // refuses connections meanwhile; the killed program is its last client, and the
    // next one comes at once.
    m_server = std::make_unique<QProcess>();
    m_server->start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0",
                             "1920x1024x24"});
    QVERIFY(m_server->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_server->canReadLine() || m_server->state() != QProcess::Running,
                             10000);
    const QByteArray number = m_server->readLine().trimmed();
    QVERIFY2(!number.isEmpty(), "Xvfb did not start");
    m_display = ":" + QString::fromLatin1(number);
    // The display takes clients a moment after it is named on a busy machine.
    QTRY_VERIFY2_WITH_TIMEOUT(!xdotool({"getdisplaygeometry"}).isEmpty(),
                              "the X server took no client", 10000);
    if (QStandardPaths::findExecutable("jackd").isEmpty()) return;
    // The programs are killed: an asynchronous server lets each go at once.
    m_jack = std::make_unique<JackServer>(false);
    if (m_jack->Start()) m_capture = std::make_unique<CaptureClient>();
    if (!m_capture || !m_capture->isOpen())
        qWarning("no JACK server: %s", qPrintable(m_jack->error()));
}

void TestKilled::cleanupTestCase() {
    m_capture.reset();
    m_jack.reset();
    if (m_server) kill(*m_server);
}

void TestKilled::kill(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    ::kill(pid_t(process.processId()), SIGKILL);
    process.waitForFinished(5000);
}

QProcessEnvironment TestKilled::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("HOME", m_home.path());
    env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
    env.insert("XDG_STATE_HOME", m_home.filePath("state"));
    env.insert("JACK_NO_START_SERVER", "1");
    return env;
}

std::unique_ptr<QProcess> TestKilled::startProgram(const QStringList& arguments, QString* window) {
    auto program = std::make_unique<QProcess>();
    program->setProcessEnvironment(environment());
    program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program->start(QUENLOR_PROGRAM, arguments);
    const QString shown =
        program->waitForStarted() ? waitForMainWindow(program->processId()) : QString();
    if (window) *window = shown;
    if (!shown.isEmpty()) return program;
    kill(*program);
    return nullptr;
}

QString TestKilled::xdotool(const QStringList& arguments, int timeoutMs) {
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(timeoutMs)) kill(tool);
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// Finds the program's main window once the splash is gone (keys pressed during the
// splash are thrown away) and gives it the keyboard.
QString TestKilled::waitForMainWindow(qint64 program, bool pastSplash) {
    QString window;
    QDeadlineTimer deadline(20000);
    while (window.isEmpty() && !deadline.hasExpired()) {
        window = xdotool({"search", "--all", "--onlyvisible", "--pid", QString::number(program),
                          "--name", "^Quenlor 1\\.2\\.1"});
        if (window.isEmpty()) QTest::qWait(200);
    }
    window = window.section('\n', 0, 0);
    if (window.isEmpty() || !pastSplash) return window;
    // The splash stays for three seconds after the window shows.
    QTest::qWait(4000);
    xdotool({"windowfocus", "--sync", window});
    return window;
}

QByteArray TestKilled::lastDump() const {
    const std::vector<CaptureClient::Bytes> received = m_capture->received();
    for (auto message = received.rbegin(); message != received.rend(); ++message)
        if (!message->empty() && message->front() == 0xF0)
            return QByteArray(reinterpret_cast<const char*>(message->data()),
                              qsizetype(message->size()));
    return {};
}

QStringList TestKilled::copies() const {
    return QDir(m_home.filePath("state/Quenlor"))
        .entryList({"unsaved-*.bbk"}, QDir::Files, QDir::Name);
}

bool TestKilled::hasCopy(const QByteArray& bytes) const {
    const QDir folder(m_home.filePath("state/Quenlor"));
    for (const QString& copy : copies()) {
        QFile file(folder.filePath(copy));
        if (file.open(QIODevice::ReadOnly) && file.readAll() == bytes) return true;
    }
    return false;
}

QByteArray TestKilled::newBankCopy(const std::string& name, int16_t delay) {
    QuenlorCode code;
    code.InitPatchModel();
    code.PatchBank(1, 8) = delay;
    std::array<std::string, kPatchSlots> names;
    names[1] = name;
    return QByteArray::fromStdString(UnsavedCopy::encode(code.PatchBank, names, ""));
}

void TestKilled::openNormalEdit() {
    xdotool({"key", "--delay", "100", "Tab", "space"});
    QTest::qWait(1000);
}

void TestKilled::killedProgramsBankIsRestored() {
    const QByteArray left = newBankCopy("Killed");
    std::unique_ptr<QProcess> first = startProgram();
    QVERIFY(first);
    // Rename patch 1 in the name box, which has the focus in a new editor.
    openNormalEdit();
    xdotool({"type", "--delay", "50", "Killed"});
    QTRY_VERIFY_WITH_TIMEOUT(copies().size() == 1 && hasCopy(left), 5000);
    kill(*first);

    // Restored, and killed at once: the bank is on the disk all the same.
    std::unique_ptr<QProcess> second = startProgram();
    QVERIFY(second);
    xdotool({"key", "--delay", "200", "alt+f", "r", "1"});
    QTest::qWait(300);
    kill(*second);
    QVERIFY(hasCopy(left));

    std::unique_ptr<QProcess> third = startProgram();
    QVERIFY(third);
    const QStringList before = copies();
    xdotool({"key", "--delay", "200", "alt+f", "r", "1"});
    // Restored: the old copy is gone, and the bank, still unsaved, is in this program's
    // own copy, the same bytes.
    QTRY_VERIFY_WITH_TIMEOUT(copies().size() == 1 && !before.contains(copies()[0]) && hasCopy(left),
                             5000);
    kill(*third);
}

// New Bank with unsaved changes, killed right after: the replaced bank is on the disk.
// Then "12" typed into the LFO1 Delay box without Enter, and the desktop session ends
// (SIGTERM): the program ends cleanly, and the value is in the copy it leaves.
void TestKilled::replacedAndTypedWorkSurvives() {
    std::unique_ptr<QProcess> first = startProgram();
    QVERIFY(first);
    openNormalEdit();
    xdotool({"type", "--delay", "50", "Replaced"});
    QTRY_VERIFY_WITH_TIMEOUT(hasCopy(newBankCopy("Replaced")), 5000);
    xdotool({"key", "ctrl+n"});
    QTest::qWait(300);
    kill(*first);
    QVERIFY(hasCopy(newBankCopy("Replaced")));

    std::unique_ptr<QProcess> second = startProgram();
    QVERIFY(second);
    openNormalEdit();
    // From the name box past the list and the four check boxes of LFO1.
    xdotool({"key", "--delay", "100", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "1", "2"});
    QTest::qWait(300);
    ::kill(pid_t(second->processId()), SIGTERM);
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(hasCopy(newBankCopy("", 12)));
}

// Each program opens a bank file of its own, and saves it after the drag: the sending
// program's keeps its 74 records as they were, the other's takes the dragged patch into
// one of them.
void TestKilled::rowDraggedOntoAnotherProgram() {
    QList<QByteArray> banks;
    QStringList windows;
    std::vector<std::unique_ptr<QProcess>> programs;
    for (int seed : {3, 5}) {
        const QString file = m_home.filePath(QString::number(seed) + ".bbk");
        writeRecords(file, variedBank(seed), kFirstPatch, kLastPatch, QString::number(seed) + "/");
        QFile bank(file);
        QVERIFY(bank.open(QIODevice::ReadOnly));
        banks << bank.readAll();
        windows << QString();
        programs.push_back(startProgram({file}, &windows.back()));
        QVERIFY(programs.back());
        xdotool({"windowmove", windows.back(), QString::number(960 * (seed == 5)), "0"});
        // Read in: Save Bank writes it anew.
        QTRY_VERIFY(xdotool({"getwindowname", windows.back()}).endsWith(".bbk"));
        QVERIFY(bank.remove());
    }
    // From a row near the top of the first list to one further down in the second.
    QStringList drag{"mousemove", "--sync", "60", "180", "mousedown", "1"};
    for (int step = 1; step <= 20; ++step)
        drag += {"sleep", "0.05", "mousemove", QString::number(60 + 48 * step),
                 QString::number(180 + 3 * step)};
    xdotool(drag + QStringList{"sleep", "0.3", "mouseup", "1"});
    QTest::qWait(500);
    for (const QString& window : windows)
        xdotool({"windowfocus", "--sync", window, "key", "ctrl+s"});
    // The records, split at the N of "Name": nothing else in these banks holds an N.
    QList<QList<QByteArray>> saved;
    for (const char* name : {"3.bbk", "5.bbk"}) {
        QFile bank(m_home.filePath(name));
        QTRY_VERIFY(bank.exists());
        QVERIFY(bank.open(QIODevice::ReadOnly));
        saved << bank.readAll().split('N');
    }
    QCOMPARE(saved[0], banks[0].split('N'));
    const QList<QByteArray> kept = banks[1].split('N');
    const QSet<QByteArray> taken =
        QSet(saved[1].begin(), saved[1].end()) - QSet(kept.begin(), kept.end());
    QCOMPARE(taken.size(), 1);
    QVERIFY(saved[0].contains(*taken.begin()));
    for (auto& program : programs)
        kill(*program);
}

// Three Mutates 0.35 s apart, and SIGKILL 0.15 s after the last, three times over: each
// next run restores what the killed one left, and the patch it sends as it restores is
// the last one the killed program sent.
void TestKilled::lastMutationSurvivesAKill() {
    if (!m_capture) QSKIP("jackd is needed to hear what the program sends");
    // With automatic update on, each Mutate sends the patch (for the tests after it too).
    QDir().mkpath(m_home.filePath("config/Quenlor"));
    QFile settings(m_home.filePath("config/Quenlor/Quenlor.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write("[Update]\nAutoUpdate=Yes\n"));
    settings.close();
    QByteArray lastSent;
    for (int run = 0; run <= 3; ++run) {
        // The program killed before is gone from the server: this one is "Quenlor".
        QTRY_VERIFY(!jack_port_by_name(m_capture->client(), "Quenlor:MIDI Out"));
        std::unique_ptr<QProcess> program = startProgram();
        QVERIFY(program);
        QTRY_VERIFY(jack_connect(m_capture->client(), "Quenlor:MIDI Out", "capture:input") == 0 ||
                    m_capture->connected("Quenlor:MIDI Out", "capture:input"));
        // Keys count once the splash has gone: a row moved to sends its patch.
        m_capture->clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT((xdotool({"key", "Down", "Up"}), !lastDump().isEmpty()), 20000);
        QTest::qWait(500);
        m_capture->clearReceived();
        if (run > 0) {
            xdotool({"key", "--delay", "200", "alt+f", "r", "1"});
            QTRY_VERIFY(!lastDump().isEmpty());
            QCOMPARE(lastDump(), lastSent);
            // The restored bank is written; what follows is a burst of its own.
            QTest::qWait(1500);
        }
        m_capture->clearReceived();
        xdotool(
            {"key", "ctrl+m", "sleep", "0.35", "key", "ctrl+m", "sleep", "0.35", "key", "ctrl+m"});
        QTest::qWait(150);
        kill(*program);
        lastSent = lastDump();
        QVERIFY2(!lastSent.isEmpty(), "no mutated patch was heard");
    }
}

void TestKilled::signalEndsTheProgramAtAnyMoment_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("file");   // named on the command line
    QTest::addColumn<QString>("keys");   // pressed in the main window
    QTest::addColumn<QString>("window"); // the window the signal comes under
    QTest::newRow("before the event loop") << SIGINT << "" << "" << "";
    QTest::newRow("the splash") << SIGTERM << "" << "" << "splash";
    QTest::newRow("a start-up file's message") << SIGHUP << "nonexist.bbk" << "" << "^Quenlor$";
    QTest::newRow("the file dialog") << SIGTERM << "" << "ctrl+o" << "^Open$";
    QTest::newRow("the Options dialog") << SIGINT << "" << "alt+f p" << "^Options$";
}

// The signal ends the program by its one way out (exit status 0), and no process is left
// behind holding the JACK client.
void TestKilled::signalEndsTheProgramAtAnyMoment() {
    QFETCH(int, signal);
    QFETCH(QString, file);
    QFETCH(QString, keys);
    QFETCH(QString, window);
    QProcess program;
    program.setProcessEnvironment(environment());
    program.setWorkingDirectory(m_home.path());
    program.start(QUENLOR_PROGRAM, file.isEmpty() ? QStringList() : QStringList{file});
    QVERIFY(program.waitForStarted());
    const QString pid = QString::number(program.processId());
    // The program catches the signal long before its windows are up.
    const auto caught = [&] {
        QFile status("/proc/" + pid + "/status");
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : "";
        const QByteArray mask = text.mid(text.indexOf("SigCgt:") + 7, 17).trimmed();
        return (mask.toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(caught(), 10000);
    if (!window.isEmpty()) {
        QVERIFY(!waitForMainWindow(program.processId(), window != "splash").isEmpty());
        if (!keys.isEmpty()) xdotool(QStringList{"key", "--delay", "200"} + keys.split(' '));
        if (window != "splash")
            QTRY_VERIFY_WITH_TIMEOUT(
                !xdotool({"search", "--onlyvisible", "--pid", pid, "--name", window}).isEmpty(),
                10000);
    }
    ::kill(pid_t(program.processId()), signal);
    QVERIFY2(program.waitForFinished(15000), "the program went on running");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    if (m_capture) QTRY_VERIFY(!jack_port_by_name(m_capture->client(), "Quenlor:MIDI Out"));
}

QTEST_GUILESS_MAIN(TestKilled)
#include "tst_killed.moc"
