#include "support/TestProgram.h"
#include "app/Main.h"
#include "storage/TestFiles.h"

#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <sstream>

// How a shell or the file manager starts the programs: a file named on the command line,
// answers without a window, the manual pages made from the help, the files' types.
class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void opensTheFileAfterStartUp_data();
    void opensTheFileAfterStartUp();
    void answersWithoutAWindow_data();
    void answersWithoutAWindow();
    void manualPageHoldsTheHelp_data();
    void manualPageHoldsTheHelp();
    void manualPageNameLine_data();
    void manualPageNameLine();
    void fileManagerOpensTheFiles_data();
    void fileManagerOpensTheFiles();
};

// Exit status, output and errors of a program run with no display: a window it tried to
// open would end it with the window system's failure.
static QStringList run(const QStringList& command) {
    static const QRegularExpression display("^(?!DISPLAY=|WAYLAND_DISPLAY=|QT_QPA_PLATFORM=)");
    QProcess process;
    process.setEnvironment(QProcess::systemEnvironment().filter(display) << "QT_QPA_PLATFORM=xcb");
    process.start(command[0] == "quenlor" ? QUENLOR_PROGRAM : QUENLOR_SYSEX_PROGRAM,
                  command.mid(1));
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? QString::number(process.exitCode()) : "",
            process.readAllStandardOutput(), process.readAllStandardError()};
}

void TestCommandLine::opensTheFileAfterStartUp_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("after"); // the title, patch 1's name, the messages
    std::ostringstream file;
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        WritePatchRecord(file, variedBank(3), n, "Live " + std::to_string(n));
    const QByteArray bank = QByteArray::fromStdString(file.str());
    const QByteArray patch = bank.left(bank.indexOf("Name", 4));
    const QString title = "Quenlor 1.2.1";
    QTest::newRow("bank") << "live.bbk" << bank << QStringList{title + " - live.bbk", "Live 1", ""};
    QTest::newRow("patch") << "PAD.B01" << patch << QStringList{title, "Live 1", ""};
    // Open Bank keeps the patches read before the failure.
    QTest::newRow("damaged bank") << "cut.bbk" << bank.left(9000)
                                  << QStringList{title, "Live 1", "Unable to open file 'cut.bbk'."};
    QTest::newRow("damaged patch")
        << "cut.b01" << patch.left(200) << QStringList{title, "", "Unable to open file 'cut.b01'."};
    QTest::newRow("damaged patch")
        << "cut.b01" << patch.left(200) << QStringList{title, "", "Unable to open file 'cut.b01'."};
    QTest::newRow("missing") << "gone.bbk" << QByteArray()
                             << QStringList{title, "", "Unable to open file 'gone.bbk'."};
}

void TestCommandLine::opensTheFileAfterStartUp() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    QVERIFY(content.isEmpty() || TestFiles::write(dir.filePath(name), content));
    qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
    // Named as a shell names it, relative to the current folder; opened after the splash
    // as one step of the history, and the program goes on.
    const QString home = QDir::currentPath();
    QDir::setCurrent(dir.path());
    TestProgram p;
    QVERIFY(Main(p.window, p.desktop, name.toStdString()));
    QDir::setCurrent(home);
    const QString messages = p.desktop.Messages.join('\n').replace(dir.path() + '/', "");
    QCOMPARE((QStringList{p.window.windowTitle(), p.list().PatchName(1), messages}), after);
    QCOMPARE(p.window.mnu_Undo->isEnabled(), !after[1].isEmpty());
    // The instrument hears one patch: patch 1 as the list now holds it (the file's, or
    // the new bank's when nothing could be read), never the new bank's before the file's.
    p.code.preparePatchDump(1);
    const std::vector<uint8_t> patch1(p.code.PatchDump.data(),
                                      p.code.PatchDump.data() + p.code.PatchDump.size());
    QCOMPARE(p.dumps(), 1);
    QCOMPARE(p.sent().front(), patch1);
}

void TestCommandLine::answersWithoutAWindow_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QStringList>("ran"); // exit status, output, errors
    const auto usage = [](const QString& error) {
        return QStringList{"2", "", "quenlor: " + error + "\nTry 'quenlor --help'.\n"};
    };
    QTest::newRow("version") << QStringList{"quenlor", "--version"}
                             << QStringList{"0", "quenlor 1.2.1\n", ""};
    QTest::newRow("companion") << QStringList{"quenlor-sysex", "--version"}
                               << QStringList{"0", "quenlor-sysex 1.2.1\n", ""};
    QTest::newRow("unknown") << QStringList{"quenlor", "--open"}
                             << usage("unknown option '--open'");
    // The window system's options keep their values, which are no file.
    QTest::newRow("toolkit's") << QStringList{"quenlor", "-style", "fusion", "a.bbk", "-d"}
                               << usage("unknown option '-d'");
    QTest::newRow("two files") << QStringList{"quenlor", "-reverse", "a.bbk", "b.bbk"}
                               << usage("only one file can be opened");
    // No display: one line, no abort and no core file.
    const QString noDisplay = "quenlor: no display to show the windows on (%1)\n";
    QTest::newRow("no display") << QStringList{"quenlor", "live.bbk"}
                                << QStringList{"1", "", noDisplay.arg("neither DISPLAY nor "
                                                                      "WAYLAND_DISPLAY is set")};
    QTest::newRow("display not there")
        << QStringList{"quenlor", "-display", ":1234.0"}
        << QStringList{"1", "", noDisplay.arg("':1234.0' cannot be reached")};
}

void TestCommandLine::answersWithoutAWindow() {
    QFETCH(QStringList, command);
    QFETCH(QStringList, ran);
    QCOMPARE(run(command), ran);
}

void TestCommandLine::manualPageHoldsTheHelp_data() {
    QTest::addColumn<QStringList>("command");
    QTest::newRow("quenlor") << QStringList{"quenlor"};
    QTest::newRow("quenlor-sysex") << QStringList{"quenlor-sysex"};
    // Each command the companion lists, by its own help.
    const QString list = run({"quenlor-sysex", "--help"})[1].section("\nCommands:\n", 1);
    static const QRegularExpression command("^  ([a-z][a-z0-9-]*)",
                                            QRegularExpression::MultilineOption);
    for (auto match = command.globalMatch(list.section("\n\n", 0, 0)); match.hasNext();) {
        const QString name = match.next().captured(1);
        QTest::newRow(qPrintable(name)) << QStringList{"quenlor-sysex", name};
    }
}

// A manual page as man shows it, on lines long enough to hold any line of the help.
static QString shownPage(const QString& program) {
    QProcess groff;
    groff.start("groff", {"-man", "-Tascii", "-rHY=0", "-rLL=250n", "-P-cbou",
                          QUENLOR_MAN_DIR "/" + program + ".1"});
    if (!groff.waitForFinished(30000) || groff.exitCode() != 0) return {};
    return groff.readAllStandardOutput();
}

// Every line of the help, told without a window, stands in the page as man shows it (the
// usage line as the synopsis, a heading in capitals).
void TestCommandLine::manualPageHoldsTheHelp() {
    QFETCH(QStringList, command);
    const QString page = shownPage(command[0]).simplified().toLower();
    QVERIFY2(!page.isEmpty(), "groff cannot read the page");
    QVERIFY(page.contains(command[0] + " 1.2.1"));
    const QStringList help = run(command + QStringList{"--help"});
    QCOMPARE(help[0] + help[2], QString("0"));
    for (QString line : help[1].split('\n', Qt::SkipEmptyParts)) {
        line.remove(QRegularExpression("^Usage: |:$"));
        QVERIFY2(page.contains(line.simplified().toLower()),
                 qPrintable("not in the page: " + line));
    }
}

void TestCommandLine::manualPageNameLine_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("name");
    QTest::newRow("quenlor")
        << "quenlor" << "quenlor - edit, store and send the patches of a Bit 01 synthesizer";
    QTest::newRow("quenlor-sysex") << "quenlor-sysex"
                                   << "quenlor-sysex - the Bit 01 patches of Quenlor's bank (.bbk) "
                                      "and patch (.b01) files, from the command line";
}

// The NAME line, which whatis and apropos list, as manual pages write it: the program, then
// what it is in a phrase from a small letter, with no full stop; and each of the
// companion's commands has one subsection, however many forms the overview lists.
void TestCommandLine::manualPageNameLine() {
    QFETCH(QString, program);
    QFETCH(QString, name);
    const QString page = shownPage(program);
    QCOMPARE(page.section("\nNAME\n", 1).section("\n\n", 0, 0).simplified(), name);
    for (const QString& command : {"check", "library", "randomize"})
        QCOMPARE(page.count(QRegularExpression("\n   " + command + "\n")),
                 program == "quenlor" ? 0 : 1);
}

void TestCommandLine::fileManagerOpensTheFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("type");
    QTest::newRow("bank") << "LIVE.BBK"
                          << "application/x-quenlor-bank";
    QTest::newRow("patch") << "pad.b01"
                           << "application/x-quenlor-patch";
}

// The package's file types, as a desktop with them installed reads them, lead from the
// file's name to its type, and the desktop entry from the type to the program.
void TestCommandLine::fileManagerOpensTheFiles() {
    QFETCH(QString, file);
    QFETCH(QString, type);
    QTemporaryDir data;
    QVERIFY(QDir().mkpath(data.filePath("mime/packages")));
    QVERIFY(QFile::copy(QUENLOR_DIST_DIR "/io.github.quenlor.quenlor.xml",
                        data.filePath("mime/packages/quenlor.xml")));
    qputenv("XDG_DATA_DIRS", data.path().toUtf8());
    QCOMPARE(QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension).name(), type);
    const QString entry = TestFiles::read(QUENLOR_DIST_DIR "/io.github.quenlor.quenlor.desktop");
    QVERIFY(entry.contains(QRegularExpression("\nMimeType=([^\n]*;)?" + type + ";")));
    QVERIFY(entry.contains("\nExec=quenlor %f\n")); // the file manager hands over the path
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
