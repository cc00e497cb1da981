#include "SessionServer.h"
#include "core/QuenlorCode.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "storage/PatchRecord.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fstream>
#include <memory>

// The real program as a client of a stand-in session manager: what it answers to each of
// the manager's messages, the name its JACK client takes from the session, and a session
// opened again that sends the patch it was left on.
class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void answersTheManager_data();
    void answersTheManager();
    void reopenedSessionSendsItsPatch();

private:
    void startProgram();
    // Runs one of the table's actions; false when it could not be run.
    bool act(const QString& action);
    QString xdotool(const QStringList& arguments);
    QString visibleWindow();
    // The messages the program sent, its own path, process and session folder named.
    QStringList answers() const;

    QuenlorCode m_code; // its bank is the one a session's file holds
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_session;
    std::unique_ptr<SessionServer> m_server;
    std::unique_ptr<QProcess> m_program;
    qint64 m_pid = 0;
    std::unique_ptr<QProcess> m_display;
    QString m_displayName;
    std::unique_ptr<JackServer> m_jack;
    std::unique_ptr<CaptureClient> m_capture;
};

void TestSession::initTestCase() {
    if (QStandardPaths::findExecutable("jackd").isEmpty()) QSKIP("jackd is needed");
    m_jack = std::make_unique<JackServer>(false);
    QVERIFY2(m_jack->Start(), qPrintable(m_jack->error()));
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
    m_code.InitPatchModel();
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            m_code.PatchBank(n, p) = int16_t((n * 7 + p * 3) % (m_code.ParameterTable.MaxValue(p) + 1));
    // The user's own settings, which a new session copies and no session changes.
    QDir().mkpath(m_home.filePath("config/Quenlor"));
    QFile user(m_home.filePath("config/Quenlor/Quenlor.conf"));
    QVERIFY(user.open(QIODevice::WriteOnly) && user.write("[MIDI]\nMIDIOutPort=capture:input\n"));
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        return;
    m_display = std::make_unique<QProcess>();
    m_display->start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset"});
    QVERIFY(m_display->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_display->canReadLine(), 10000);
    m_displayName = ":" + QString::fromLatin1(m_display->readLine().trimmed());
    QTRY_VERIFY_WITH_TIMEOUT(!xdotool({"getdisplaygeometry"}).isEmpty(), 10000);
}

void TestSession::cleanupTestCase() {
    if (m_program) m_program->kill(), m_program->waitForFinished();
    m_capture.reset();
    m_jack.reset();
    if (m_display) m_display->kill(), m_display->waitForFinished();
}

void TestSession::init() {
    if (m_program) m_program->kill(), m_program->waitForFinished();
    m_folder = std::make_unique<QTemporaryDir>();
    m_session = m_folder->filePath("Quenlor.nBITX");
    m_server = std::make_unique<SessionServer>();
    QVERIFY(!m_server->url().isEmpty());
    m_capture->clearReceived();
}

QString TestSession::xdotool(const QStringList& arguments) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_displayName);
    tool.setProcessEnvironment(env);
    tool.start("xdotool", arguments);
    tool.waitForFinished(15000);
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// A mapped window of the program's: hidden means none.
QString TestSession::visibleWindow() {
    return xdotool({"search", "--onlyvisible", "--pid", QString::number(m_program->processId())})
        .section('\n', 0, 0);
}

void TestSession::startProgram() {
    m_program = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NSM_URL", m_server->url());
    env.insert("HOME", m_home.path());
    env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
    env.insert("XDG_STATE_HOME", m_folder->filePath("state"));
    env.insert("JACK_NO_START_SERVER", "1");
    if (m_display) {
        env.insert("DISPLAY", m_displayName);
        env.insert("QT_QPA_PLATFORM", "xcb");
    }
    m_program->setProcessEnvironment(env);
    m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program->start(QUENLOR_PROGRAM, QStringList());
    QVERIFY(m_program->waitForStarted());
    m_pid = m_program->processId();
    QTRY_VERIFY_WITH_TIMEOUT(!m_server->received().empty(), 10000);
}

bool TestSession::act(const QString& action) {
    const std::size_t before = m_server->received().size();
    const auto answered = [&] {
        const bool any = QTest::qWaitFor([&] { return m_server->received().size() > before; }, 10000);
        QTest::qWait(300); // whatever else the action says
        return any;
    };
    if (action == "silent") return true;
    // A file in the folder's place: no folder can be made there.
    if (action == "no folder") return QDir().mkpath(m_folder->path()) && QFile(m_session).open(QIODevice::WriteOnly);
    if (action == "gone device") {
        QDir().mkpath(m_session);
        QFile settings(m_session + "/settings.conf");
        return settings.open(QIODevice::WriteOnly) && settings.write("[MIDI]\nMIDIOutPort=Gone:in\n");
    }
    if (action == "bank" || action == "damaged") {
        QDir().mkpath(m_session);
        std::ofstream file((m_session + "/bank.bbk").toStdString(), std::ios::binary);
        for (int n = kFirstPatch; n <= kLastPatch; ++n)
            WritePatchRecord(file, m_code.PatchBank, n, "Session " + std::to_string(n));
        file.close();
        return action == "bank" || QFile::resize(m_session + "/bank.bbk", 9000);
    }
    if (action == "open")
        return m_server->send("/nsm/client/open", {m_session, "Quenlor", "Quenlor.nBITX"}), answered();
    if (action == "save") return m_server->send("/nsm/client/save"), answered();
    if (action == "show") return m_server->send("/nsm/client/show_optional_gui"), answered();
    if (action == "hide") return m_server->send("/nsm/client/hide_optional_gui"), answered();
    // The bank's place taken by a folder: the save cannot be written.
    if (action == "block") return QFile::remove(m_session + "/bank.bbk"), QDir().mkpath(m_session + "/bank.bbk");
    if (action == "term") {
        ::kill(pid_t(m_program->processId()), SIGTERM);
        return m_program->waitForFinished(10000) && m_program->exitCode() == 0;
    }
    if (action.startsWith("key ")) {
        QString window;
        if (!QTest::qWaitFor([&] { return !(window = visibleWindow()).isEmpty(); }, 10000))
            return false;
        xdotool({"windowfocus", "--sync", window, "key", action.mid(4)});
        return answered();
    }
    return false;
}

QStringList TestSession::answers() const {
    QStringList all;
    for (const QStringList& message : m_server->received())
        all << message.join(' ')
                   .replace(m_session, "<session>")
                   .replace(QUENLOR_PROGRAM, "<program>")
                   .replace(QString::number(m_pid), "<pid>");
    return all;
}

void TestSession::answersTheManager_data() {
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("answers"); // after the announce
    QTest::addColumn<bool>("shown");          // at the end, when an X server shows it
    const QString opened = "/reply /nsm/client/open Opened the session's bank";
    const QString created = "/reply /nsm/client/open New session: the bank is saved with the session";
    const QString saved = "/reply /nsm/client/save Saved";
    const QString savedNote = "/nsm/client/message 1 Saved with the session";
    const QString shown = "/nsm/client/gui_is_shown", hidden = "/nsm/client/gui_is_hidden";
    const QString dirty = "/nsm/client/is_dirty", clean = "/nsm/client/is_clean";
    // Without an answer the program starts as outside a session, its window shown.
    QTest::newRow("no answer") << QStringList{"silent"} << QStringList{} << true;
    QTest::newRow("announce") << QStringList{} << QStringList{hidden} << false;
    QTest::newRow("open new") << QStringList{"open"} << QStringList{hidden, created} << false;
    QTest::newRow("open existing") << QStringList{"bank", "open"} << QStringList{hidden, opened} << false;
    QTest::newRow("open damaged")
        << QStringList{"damaged", "open"}
        << QStringList{hidden, "/error /nsm/client/open -9 The session's bank '<session>/bank.bbk' "
                       "cannot be read"} << false;
    QTest::newRow("open where no folder can be")
        << QStringList{"no folder", "open"}
        << QStringList{hidden, "/error /nsm/client/open -10 '<session>' is not a folder"} << false;
    QTest::newRow("device missing")
        << QStringList{"gone device", "open"}
        << QStringList{hidden, created, "/nsm/client/message 2 The MIDI Out device 'Gone:in' is missing"}
        << false;
    QTest::newRow("save") << QStringList{"bank", "open", "save"}
                          << QStringList{hidden, opened, savedNote, saved} << false;
    const QString cannot = "Cannot save the session's bank '<session>/bank.bbk'";
    QTest::newRow("save cannot be written")
        << QStringList{"bank", "open", "block", "save"}
        << QStringList{hidden, opened, "/nsm/client/message 2 " + cannot, "/error /nsm/client/save -1 " + cannot}
        << false;
    QTest::newRow("show and hide") << QStringList{"open", "show", "hide", "show"}
                                   << QStringList{hidden, created, shown, hidden, shown} << true;
    QTest::newRow("quit hides") << QStringList{"bank", "open", "show", "key ctrl+q"}
                                << QStringList{hidden, opened, shown, hidden} << false;
    QTest::newRow("dirty, undone") << QStringList{"bank", "open", "show", "key ctrl+n", "key ctrl+z"}
                                   << QStringList{hidden, opened, shown, dirty, clean} << true;
    QTest::newRow("dirty, saved") << QStringList{"bank", "open", "show", "key ctrl+n", "save"}
                                  << QStringList{hidden, opened, shown, dirty, clean, savedNote, saved}
                                  << true;
    QTest::newRow("terminated") << QStringList{"bank", "open", "show", "key ctrl+n", "term"}
                                << QStringList{hidden, opened, shown, dirty} << false;
}

// The announce comes first, then, once the manager has answered, the window's state
// (hidden); each message of the manager has its answer, and each change of state is said
// once. The user's own settings stay as they were.
void TestSession::answersTheManager() {
    QFETCH(QStringList, actions);
    QFETCH(QStringList, answers);
    QFETCH(bool, shown);
    if (!m_display && actions.join(' ').contains("key")) QSKIP("Xvfb and xdotool are needed");
    QFile user(m_home.filePath("config/Quenlor/Quenlor.conf"));
    QVERIFY(user.open(QIODevice::ReadOnly));
    const QByteArray userSettings = user.readAll();
    m_server->setAnswering(!actions.contains("silent"));
    startProgram();
    // A manager that does not answer is waited for a second and a half, the splash three.
    if (actions.contains("silent")) QTest::qWait(6000);
    for (const QString& action : actions)
        QVERIFY2(act(action), qPrintable(action));
    if (!actions.contains("term")) QTest::qWait(300);
    const QStringList expected =
        QStringList{"/nsm/server/announce Quenlor :dirty:message:optional-gui: <program> 1 1 <pid>"} +
        answers;
    QCOMPARE(this->answers(), expected);
    if (m_display && m_program->state() == QProcess::Running)
        QTRY_COMPARE_WITH_TIMEOUT(!visibleWindow().isEmpty(), shown, 10000);
    // A session that cannot be opened ends the program before it reaches MIDI, and a
    // damaged bank is left alone.
    if (actions.contains("damaged") || actions.contains("no folder")) {
        QTRY_COMPARE_WITH_TIMEOUT(m_program->state(), QProcess::NotRunning, 10000);
        QCOMPARE(m_program->exitCode(), 1);
    }
    if (actions.contains("damaged")) QCOMPARE(QFileInfo(m_session + "/bank.bbk").size(), 9000);
    // The bank New Bank emptied is the one saved.
    if (actions.contains("save") && actions.contains("key ctrl+n"))
        QCOMPARE(QFileInfo(m_session + "/bank.bbk").size(), 19684);
    // Ended with unsaved changes, the program keeps their copy; a session it could not
    // open leaves none.
    if (m_program->state() == QProcess::NotRunning) {
        const QStringList copies =
            QDir(m_folder->filePath("state/Quenlor")).entryList({"unsaved-*.bbk"}, QDir::Files);
        QCOMPARE(copies.size(), actions.contains("term") ? 1 : 0);
    }
    if (actions.contains("open") && m_program->exitCode() != 1)
        QVERIFY(QFileInfo::exists(m_session + "/settings.conf"));
    user.seek(0);
    QCOMPARE(user.readAll(), userSettings);
}

// Left on patch 5 with its output to the capture client: opened again, the program's
// JACK client takes the session's name only once the session is open, and the
// instrument hears patch 5 alone.
void TestSession::reopenedSessionSendsItsPatch() {
    QVERIFY(act("bank"));
    QFile settings(m_session + "/settings.conf");
    QVERIFY(settings.open(QIODevice::WriteOnly) &&
            settings.write("[MIDI]\nMIDIOutPort=capture:input\n[Session]\nSelectedPatch=5\n"));
    settings.close();
    startProgram();
    QTest::qWait(500);
    QVERIFY(!jack_port_by_name(m_capture->client(), "Quenlor.nBITX:MIDI Out"));
    QVERIFY(!jack_port_by_name(m_capture->client(), "Quenlor:MIDI Out"));
    QVERIFY(act("open"));
    QVERIFY(jack_port_by_name(m_capture->client(), "Quenlor.nBITX:MIDI Out"));

    m_code.preparePatchDump(5);
    const CaptureClient::Bytes dump(m_code.PatchDump.data(), m_code.PatchDump.data() + 80);
    QTRY_VERIFY_WITH_TIMEOUT(m_capture->receivedCount() >= 2, 10000);
    QTest::qWait(500);
    std::vector<CaptureClient::Bytes> dumps;
    for (const CaptureClient::Bytes& message : m_capture->received())
        if (!message.empty() && message[0] == 0xF0) dumps.push_back(message);
    QCOMPARE(dumps, std::vector<CaptureClient::Bytes>{dump});
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
