#include "core/QuenlorCode.h"
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
// byte for byte.
class TestKilled : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void killedProgramsBankIsRestored();

private:
    QProcessEnvironment environment() const;
    std::unique_ptr<QProcess> startProgram();
    QString xdotool(const QStringList& arguments, int timeoutMs = 15000);
    QString waitForMainWindow();
    QStringList copies() const;
    static void kill(QProcess& process);

    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_server;
    QString m_display;
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
                             "1280x1024x24"});
    QVERIFY(m_server->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_server->canReadLine() || m_server->state() != QProcess::Running,
                             10000);
    const QByteArray number = m_server->readLine().trimmed();
    QVERIFY2(!number.isEmpty(), "Xvfb did not start");
    m_display = ":" + QString::fromLatin1(number);
    // The display takes clients a moment after it is named on a busy machine.
    QTRY_VERIFY2_WITH_TIMEOUT(!xdotool({"getdisplaygeometry"}).isEmpty(),
                              "the X server took no client", 10000);
}

void TestKilled::cleanupTestCase() {
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

std::unique_ptr<QProcess> TestKilled::startProgram() {
    auto program = std::make_unique<QProcess>();
    program->setProcessEnvironment(environment());
    program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program->start(QUENLOR_PROGRAM, QStringList());
    return program;
}

QString TestKilled::xdotool(const QStringList& arguments, int timeoutMs) {
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(timeoutMs)) kill(tool);
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// Finds the main window once the splash is gone (keys pressed during the splash are
// thrown away) and gives it the keyboard.
QString TestKilled::waitForMainWindow() {
    QString window;
    QDeadlineTimer deadline(20000);
    while (window.isEmpty() && !deadline.hasExpired()) {
        window = xdotool({"search", "--onlyvisible", "--name", "^Quenlor 1\\.2\\.1"});
        if (window.isEmpty()) QTest::qWait(200);
    }
    window = window.section('\n', 0, 0);
    if (window.isEmpty()) return window;
    // The splash stays for three seconds after the window shows.
    QTest::qWait(4000);
    xdotool({"windowfocus", "--sync", window});
    return window;
}

QStringList TestKilled::copies() const {
    return QDir(m_home.filePath("state/Quenlor"))
        .entryList({"unsaved-*.bbk"}, QDir::Files, QDir::Name);
}

void TestKilled::killedProgramsBankIsRestored() {
    const QString folder = m_home.filePath("state/Quenlor");
    std::unique_ptr<QProcess> first = startProgram();
    QVERIFY(first->waitForStarted());
    QVERIFY(!waitForMainWindow().isEmpty());
    // The patch list has the focus: Tab to "Normal Edit", open it, and rename patch 1 in
    // the name box, which has the focus in a new editor.
    xdotool({"key", "--delay", "100", "Tab", "space"});
    QTest::qWait(1000);
    xdotool({"type", "--delay", "50", "Killed"});
    QByteArray left;
    QTRY_VERIFY_WITH_TIMEOUT(
        copies().size() == 1 &&
            [&] {
                QFile file(QDir(folder).filePath(copies()[0]));
                left = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                return left.contains("\r\nKilled\r\n");
            }(),
        5000);
    kill(*first);
    const QString leftName = copies().value(0);

    // What a new bank renamed so holds, exactly.
    QuenlorCode code;
    code.InitPatchModel();
    std::array<std::string, kPatchSlots> names;
    names[1] = "Killed";
    QCOMPARE(left, QByteArray::fromStdString(UnsavedCopy::encode(code.PatchBank, names, "")));

    std::unique_ptr<QProcess> second = startProgram();
    QVERIFY(second->waitForStarted());
    QVERIFY(!waitForMainWindow().isEmpty());
    xdotool({"key", "--delay", "200", "alt+f", "r"});
    // Restored: the old copy is gone, and the bank, still unsaved, is in the second
    // program's own copy, the same bytes.
    QTRY_VERIFY_WITH_TIMEOUT(copies().size() == 1 && copies()[0] != leftName, 5000);
    QByteArray kept;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QFile file(QDir(folder).filePath(copies().value(0)));
            kept = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return kept == left;
        }(),
        5000);
    kill(*second);
}

QTEST_GUILESS_MAIN(TestKilled)
#include "tst_killed.moc"
