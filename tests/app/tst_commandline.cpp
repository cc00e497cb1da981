#include "TestProgram.h"
#include "app/Main.h"
#include "app/ProgramArguments.h"
#include "storage/TestFiles.h"

#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>

// How the desktop and the shell start the programs: the program's arguments, a file named
// on its command line, help and version without a window, the manual pages against the
// help they are made from, and the file types that lead a double click to the program.
class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void arguments_data();
    void arguments();
    void opensTheFileAfterStartUp_data();
    void opensTheFileAfterStartUp();
    void answersWithoutAWindow_data();
    void answersWithoutAWindow();
    void manualPageHoldsTheHelp_data();
    void manualPageHoldsTheHelp();
    void fileTypesLeadToTheProgram_data();
    void fileTypesLeadToTheProgram();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

// The arguments parsed, as one line: "help version file=F error=E".
QString parsed(const QStringList& args) {
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    const ProgramArguments arguments = readProgramArguments(list);
    QStringList said;
    if (arguments.Help) said << "help";
    if (arguments.Version) said << "version";
    if (arguments.File) said << "file=" + QString::fromStdString(*arguments.File);
    if (!arguments.Error.empty()) said << "error=" + QString::fromStdString(arguments.Error);
    return said.join(' ');
}

struct Ran {
    int Status = -1;
    QString Out;
    QString Err;
};

// A program run to its end on a console that has no display: any window it tried to open
// would end it with the window system's failure instead.
Ran run(const QString& program, const QStringList& args) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    process.setProcessEnvironment(environment);
    process.start(program, args);
    Ran ran;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return ran;
    }
    ran.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.Out = QString::fromUtf8(process.readAllStandardOutput());
    ran.Err = QString::fromUtf8(process.readAllStandardError());
    return ran;
}

QString programPath(const QString& name) {
    return name == "quenlor" ? QStringLiteral(QUENLOR_PROGRAM)
                             : QStringLiteral(QUENLOR_SYSEX_PROGRAM);
}

// Text with every run of blanks and line ends made one blank, and the case dropped: the
// manual page fills and adjusts its lines and writes its headings in capitals.
QString flattened(const QString& text) {
    return text.simplified().toLower();
}

} // namespace

void TestCommandLine::initTestCase() {
    // The file types are read from the package's own file alone, as a desktop that has
    // it installed reads them.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString packages = m_dir->filePath("data/mime/packages");
    QVERIFY(QDir().mkpath(packages));
    QVERIFY(QFile::copy(QStringLiteral(QUENLOR_DIST_DIR "/io.github.quenlor.quenlor.xml"),
                        packages + "/io.github.quenlor.quenlor.xml"));
    qputenv("XDG_DATA_DIRS", m_dir->filePath("data").toUtf8());
    qputenv("XDG_DATA_HOME", m_dir->filePath("home-data").toUtf8());
}

void TestCommandLine::init() {
    // Each start looks for unsaved banks in a folder of its own.
    qputenv("XDG_STATE_HOME", m_dir->filePath("state-" + QString(QTest::currentDataTag()))
                                  .toUtf8());
}

void TestCommandLine::arguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("result");
    QTest::newRow("nothing") << QStringList{} << "";
    QTest::newRow("a bank") << QStringList{"live.bbk"} << "file=live.bbk";
    QTest::newRow("--help") << QStringList{"--help"} << "help";
    QTest::newRow("-h") << QStringList{"-h"} << "help";
    QTest::newRow("--version") << QStringList{"--version"} << "version";
    QTest::newRow("help and a file") << QStringList{"--help", "a.bbk"} << "help file=a.bbk";
    QTest::newRow("-- then a dash file") << QStringList{"--", "-odd.b01"} << "file=-odd.b01";
    QTest::newRow("a lone dash is a file") << QStringList{"-"} << "file=-";
    QTest::newRow("two files") << QStringList{"a.bbk", "b.bbk"}
                               << "file=a.bbk error=only one file can be opened";
    QTest::newRow("unknown long") << QStringList{"--bank", "a.bbk"}
                                  << "error=unknown option '--bank'";
    QTest::newRow("unknown short") << QStringList{"-x"} << "error=unknown option '-x'";
    QTest::newRow("-version is Qt's, not ours")
        << QStringList{"-version"} << "error=unknown option '-version'";
    // The window system's options stay with their values, which are no file.
    QTest::newRow("toolkit value") << QStringList{"-style", "fusion", "a.bbk"} << "file=a.bbk";
    QTest::newRow("toolkit --value") << QStringList{"--platform", "xcb", "b.b01"}
                                     << "file=b.b01";
    QTest::newRow("toolkit joined value") << QStringList{"-style=fusion", "a.bbk"}
                                          << "file=a.bbk";
    QTest::newRow("toolkit flag") << QStringList{"-reverse", "a.bbk"} << "file=a.bbk";
    QTest::newRow("toolkit value missing") << QStringList{"a.bbk", "-display"}
                                           << "file=a.bbk error=option '-display' needs a value";
}

void TestCommandLine::arguments() {
    QFETCH(QStringList, args);
    QFETCH(QString, result);
    QCOMPARE(parsed(args), result);
}

void TestCommandLine::opensTheFileAfterStartUp_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // "missing" and "folder" make none
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("firstName");  // patch 1's name afterwards
    QTest::addColumn<bool>("failed");        // the open command's message shown

    const QString fresh = "Quenlor 1.2.1";
    QByteArray bank;
    {
        std::ostringstream file;
        const Bank values = variedBank(3);
        for (int n = kFirstPatch; n <= kLastPatch; ++n)
            WritePatchRecord(file, values, n, "Live " + std::to_string(n));
        bank = QByteArray::fromStdString(file.str());
    }
    const QByteArray patch = bank.left(bank.indexOf("Name", 4));
    QTest::newRow("bank") << "live.bbk" << bank << fresh + " - live.bbk" << "Live 1" << false;
    QTest::newRow("bank of any name") << "live.txt" << bank << fresh + " - live.txt" << "Live 1"
                                      << false;
    QTest::newRow("patch") << "pad.b01" << patch << fresh << "Live 1" << false;
    QTest::newRow("patch, capitals") << "PAD.B01" << patch << fresh << "Live 1" << false;
    // Open Bank keeps the patches read before the failure.
    QTest::newRow("bank cut short") << "short.bbk" << bank.left(bank.size() / 2) << fresh
                                    << "Live 1" << true;
    QTest::newRow("patch cut short") << "short.b01" << patch.left(100) << fresh << "" << true;
    QByteArray big = patch.left(patch.lastIndexOf("\r\n", patch.size() - 3) + 2) + " 99999\r\n";
    QTest::newRow("value too big") << "big.b01" << big << fresh << "" << true;
    QTest::newRow("missing") << "missing.bbk" << QByteArray("missing") << fresh << "" << true;
    QTest::newRow("missing patch") << "missing.b01" << QByteArray("missing") << fresh << ""
                                   << true;
    QTest::newRow("folder") << "folder.bbk" << QByteArray("folder") << fresh << "" << true;
}

void TestCommandLine::opensTheFileAfterStartUp() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, title);
    QFETCH(QString, firstName);
    QFETCH(bool, failed);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (content == "folder")
        QVERIFY(QDir().mkpath(path));
    else if (content != "missing")
        QVERIFY(TestFiles::write(path, content));

    // Named as a shell passes it: relative to the current folder.
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    TestProgram p;
    const bool running = Main(p.window, p.desktop, name.toStdString());
    QDir::setCurrent(home);
    QVERIFY(running);

    QCOMPARE(p.window.windowTitle(), title);
    QCOMPARE(p.list().PatchName(1), firstName);
    const QStringList expected =
        failed ? QStringList{"Unable to open file '" + QDir(dir.path()).filePath(name) + "'."}
               : QStringList{};
    QCOMPARE(p.desktop.Messages, expected);
    // Opened after the splash, never through a dialog; the program goes on either way.
    QCOMPARE(p.desktop.Pauses, QList<int>{3000});
    QVERIFY(p.desktop.OpenSetups.isEmpty());
    QVERIFY(p.window.isVisible());
    if (!failed && title != "Quenlor 1.2.1")
        QCOMPARE(p.window.BankFilePath, QDir(dir.path()).filePath(name));
    // A step of the history, as the menu's command is.
    QCOMPARE(p.window.mnu_Undo->isEnabled(), !firstName.isEmpty());
}

void TestCommandLine::answersWithoutAWindow_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // its first line
    QTest::addColumn<QString>("err");
    QTest::newRow("quenlor --help") << "quenlor" << QStringList{"--help"} << 0
                                    << "Usage: quenlor [OPTION]... [FILE]" << "";
    QTest::newRow("quenlor -h") << "quenlor" << QStringList{"-h"} << 0
                                << "Usage: quenlor [OPTION]... [FILE]" << "";
    QTest::newRow("quenlor --version") << "quenlor" << QStringList{"--version"} << 0
                                       << "quenlor 1.2.1" << "";
    QTest::newRow("quenlor usage error")
        << "quenlor" << QStringList{"--open", "a.bbk"} << 2 << ""
        << "quenlor: unknown option '--open'\nTry 'quenlor --help'.\n";
    QTest::newRow("quenlor two files")
        << "quenlor" << QStringList{"a.bbk", "b.bbk"} << 2 << ""
        << "quenlor: only one file can be opened\nTry 'quenlor --help'.\n";
    QTest::newRow("quenlor-sysex --help") << "quenlor-sysex" << QStringList{"--help"} << 0
                                          << "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]..."
                                          << "";
    QTest::newRow("quenlor-sysex --version") << "quenlor-sysex" << QStringList{"--version"} << 0
                                             << "quenlor-sysex 1.2.1" << "";
}

void TestCommandLine::answersWithoutAWindow() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Ran ran = run(programPath(program), args);
    QCOMPARE(ran.Err, err);
    QCOMPARE(ran.Status, status);
    QCOMPARE(ran.Out.section('\n', 0, 0), out);
}

void TestCommandLine::manualPageHoldsTheHelp_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("quenlor") << "quenlor" << QStringList{"--help"};
    QTest::newRow("quenlor-sysex") << "quenlor-sysex" << QStringList{"--help"};
    // Every command the companion lists has its help in the page.
    const Ran main = run(programPath("quenlor-sysex"), {"--help"});
    const QString commands = main.Out.section("\nCommands:\n", 1).section("\n\n", 0, 0);
    static const QRegularExpression command("^  ([a-z][a-z0-9-]*)",
                                            QRegularExpression::MultilineOption);
    for (auto match = command.globalMatch(commands); match.hasNext();) {
        const QString name = match.next().captured(1);
        QTest::newRow(qPrintable("quenlor-sysex " + name))
            << "quenlor-sysex" << QStringList{name, "--help"};
    }
}

// Every line of the help stands in the page as groff shows it, in the same words.
void TestCommandLine::manualPageHoldsTheHelp() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    if (QStandardPaths::findExecutable("groff").isEmpty())
        QSKIP("groff is needed to read the manual pages");
    const Ran help = run(programPath(program), args);
    QCOMPARE(help.Status, 0);

    QProcess groff;
    // No hyphens added at line ends and no overstrikes, on lines long enough for any.
    groff.start("groff", {"-man", "-Tascii", "-rHY=0", "-rLL=250n", "-P-cbou",
                          QStringLiteral(QUENLOR_MAN_DIR "/") + program + ".1"});
    QVERIFY(groff.waitForFinished(30000));
    QCOMPARE(groff.exitCode(), 0);
    const QString page = flattened(QString::fromUtf8(groff.readAllStandardOutput()));
    QVERIFY2(page.contains(flattened(program + " 1.2.1")), "the page names another version");

    const QStringList lines = help.Out.split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() > 3);
    for (QString line : lines) {
        // The usage line is the page's synopsis, a heading is a section's capitals.
        line.remove(QRegularExpression("^Usage: "));
        line.remove(QRegularExpression(":$"));
        QVERIFY2(page.contains(flattened(line)), qPrintable("not in the page: " + line));
    }
}

void TestCommandLine::fileTypesLeadToTheProgram_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("type");
    QTest::newRow("bank") << "live.bbk" << "application/x-quenlor-bank";
    QTest::newRow("bank, capitals") << "LIVE.BBK" << "application/x-quenlor-bank";
    QTest::newRow("patch") << "pad.b01" << "application/x-quenlor-patch";
    QTest::newRow("patch, capitals") << "PAD.B01" << "application/x-quenlor-patch";
}

// The file manager finds the type by the file's name, and the program by the type.
void TestCommandLine::fileTypesLeadToTheProgram() {
    QFETCH(QString, file);
    QFETCH(QString, type);
    const QMimeType found = QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension);
    QCOMPARE(found.name(), type);
    QVERIFY(found.inherits("text/plain"));

    const QStringList entry =
        QString::fromUtf8(TestFiles::read(QStringLiteral(QUENLOR_DIST_DIR
                                                         "/io.github.quenlor.quenlor.desktop")))
            .split('\n');
    const auto value = [&entry](const QString& key) {
        for (const QString& line : entry)
            if (line.startsWith(key + '=')) return line.mid(key.size() + 1);
        return QString();
    };
    QVERIFY(value("MimeType").split(';').contains(type));
    // %f: the file manager hands the program the file's path.
    QCOMPARE(value("Exec"), QString("quenlor %f"));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
