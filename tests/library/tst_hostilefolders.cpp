#include "LibraryTestFiles.h"

#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace LibraryTestFiles;

// What a watched folder can hold that is no patch file: FIFOs, names that are not UTF-8,
// links into the system's folders, out of the watched folder, and in loops. A scan ends
// on each, reads every file as itself, and says where links led.
class TestHostileFolders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void scan_data();
    void scan();

private:
    QByteArray path(const QByteArray& name) const {
        return QFile::encodeName(m_dir->path()) + '/' + name;
    }
    std::optional<QTemporaryDir> m_dir;
    std::vector<QByteArray> m_raw; // files Qt cannot name, removed by their bytes
};

namespace {
// What a scan gave, read on the thread that ran it.
struct Outcome {
    ScanSummary Summary;
    QStringList Files;    // the files recorded, as shown, below the test's folder
    QStringList Names;    // the sounds' names as shown, sorted
    QStringList Problems; // "file: reason"
};

void symlinkAt(const QByteArray& target, const QByteArray& at) {
    QVERIFY(::symlink(target, at) == 0);
}
void fifo(const QByteArray& at) {
    QVERIFY(::mkfifo(at, 0600) == 0);
}
// At the path's own bytes, which need not be text.
void writeRaw(const QByteArray& at, const QByteArray& bytes) {
    const int fd = ::open(at.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), std::size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}
} // namespace

void TestHostileFolders::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

void TestHostileFolders::cleanup() {
    for (const QByteArray& file : m_raw)
        ::unlink(file.constData());
    m_raw.clear();
}

void TestHostileFolders::scan_data() {
    QTest::addColumn<QString>("hostile");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("problems");
    QTest::addColumn<QString>("report"); // after the counts of the summary

    QTest::newRow("a FIFO named like a bank")
        << "fifo" << QStringList{"music/a.b01"} << QStringList{"A"} << QStringList{} << "";
    QStringList thirty;
    for (int n = 0; n < 30; ++n)
        if (n != 29) thirty << QStringLiteral("music/%1.b01").arg(n, 2, 10, QLatin1Char('0'));
    QTest::newRow("a FIFO where a file was, during the scan")
        << "replaced" << (thirty << "music/29.b01") << QStringList{}
        << QStringList{"29.b01: not a regular file"} << "";
    QTest::newRow("Latin-1 names")
        << "latin1"
        << QStringList{QString::fromLatin1("music/caf\xE8.syx"),
                       QString::fromLatin1("music/caf\xE9.syx")}
        << QStringList{QString::fromLatin1("caf\xE8"), QString::fromLatin1("caf\xE9")}
        << QStringList{} << "";
    // A link to /dev/null not named like a file of patches is no concern of a scan.
    QTest::newRow("links into system folders")
        << "system" << QStringList{"music/a.b01"} << QStringList{"A"} << QStringList{}
        << "; 6 links into system folders were not followed: %1/music/cwd \u2192 /proc/self/cwd "
           "(and 5 more)";
    QTest::newRow("a link loop") << "loop" << QStringList{"music/a.b01", "music/sub/b.b01"}
                                 << QStringList{"A", "B"} << QStringList{} << "";
    QTest::newRow("two links to one folder outside")
        << "outside" << QStringList{"music/a.b01", "music/x/o.b01"} << QStringList{"A", "O"}
        << QStringList{}
        << "; a link leads out of the watched folders: %1/music/x \u2192 %1/outside";
    QTest::newRow("a link to a folder inside")
        << "inside" << QStringList{"music/real/a.b01"} << QStringList{"A"} << QStringList{} << "";
    QTest::newRow("a link to a file outside")
        << "file" << QStringList{"music/a.b01", "music/l.b01"} << QStringList{"A", "O"}
        << QStringList{}
        << "; a link leads out of the watched folders: %1/music/l.b01 \u2192 %1/outside/o.b01";
}

void TestHostileFolders::scan() {
    QFETCH(QString, hostile);
    QFETCH(QStringList, files);
    QFETCH(QStringList, names);
    QFETCH(QStringList, problems);
    QFETCH(QString, report);
    const QByteArray music = path("music");
    QVERIFY(QDir().mkpath(QFile::decodeName(music)));
    const auto record = [](const QByteArray& at, int n, const char* name) {
        writeRecords(QFile::decodeName(at), {{n, QLatin1String(name)}});
    };
    if (hostile != "replaced" && hostile != "latin1")
        record(music + (hostile == "inside" ? "/real/a.b01" : "/a.b01"), 1, "A");
    if (hostile == "fifo") {
        fifo(music + "/pipe.bbk");
    } else if (hostile == "replaced") {
        for (int n = 0; n < 30; ++n)
            record(music + QStringLiteral("/%1.b01").arg(n, 2, 10, QLatin1Char('0')).toLatin1(), n,
                   "");
    } else if (hostile == "latin1") {
        // Two names that one U+FFFD would make one: é and è in Latin-1.
        m_raw = {music + "/caf\xE9.syx", music + "/caf\xE8.syx"};
        writeRaw(m_raw[0], dumps({5}));
        writeRaw(m_raw[1], dumps({6}));
    } else if (hostile == "system") {
        symlinkAt("/proc/self/cwd", music + "/cwd");
        for (const char* tree : {"/proc", "/sys", "/dev", "/run"})
            symlinkAt(tree, music + "/" + QByteArray(tree + 1));
        symlinkAt("/dev/zero", music + "/zero.syx");
        symlinkAt("/dev/null", music + "/null.txt"); // no file of patches: not even named
    } else if (hostile == "loop") {
        record(music + "/sub/b.b01", 2, "B");
        symlinkAt("..", music + "/sub/loop");
        symlinkAt(music, music + "/sub/again");
    } else if (hostile == "outside" || hostile == "file") {
        record(path("outside/o.b01"), 3, "O");
        if (hostile == "file") {
            symlinkAt(path("outside/o.b01"), music + "/l.b01");
        } else {
            symlinkAt("../outside", music + "/x");
            symlinkAt(path("outside"), music + "/y");
        }
    } else if (hostile == "inside") {
        symlinkAt("real", music + "/a-link"); // met before the folder itself, by name
    }

    // The scan runs on a thread of its own, its database with it; one that waits for a
    // FIFO's writer is set free by one, and fails the test.
    Outcome outcome;
    std::atomic<bool> done{false};
    const QString databasePath = m_dir->filePath("data/library.sqlite");
    std::thread scanner([&] {
        LibraryDatabase database(databasePath);
        database.open();
        LibraryEdits::addFolder(database, music);
        LibraryScanner scan(database);
        scan.setProgress([&](int done, int) {
            if (hostile == "replaced" && done == LibraryScanner::kBatch) {
                ::unlink(music + "/29.b01");
                ::mkfifo(music + "/29.b01", 0600);
            }
        });
        outcome.Summary = scan.scan();
        QString error;
        if (const auto catalogue = LibraryCatalogue::load(database, error)) {
            const QString root = m_dir->path() + '/';
            for (const LibraryFile& file : catalogue->Files)
                outcome.Files << QString(file.Path).remove(0, int(root.size()));
            for (const LibraryEntry& entry : catalogue->Entries)
                outcome.Names << entry.Shown;
            for (const auto& [where, why] : catalogue->problems())
                outcome.Problems << QFileInfo(where).fileName() + ": " + why;
        }
        done = true;
    });
    QDeadlineTimer patience(20000);
    while (!done && !patience.hasExpired())
        QTest::qWait(20);
    const bool waited = !done;
    if (waited) {
        const int writer = ::open(music + "/29.b01", O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    scanner.join();
    QVERIFY2(!waited, "the scan waited for a FIFO's writer");

    outcome.Files.sort();
    outcome.Names.sort();
    names.sort();
    QCOMPARE(outcome.Files, files);
    if (hostile != "replaced") QCOMPARE(outcome.Names, names);
    QCOMPARE(outcome.Problems, problems);
    const QString counts = outcome.Summary.text().section(';', 0, 0);
    QCOMPARE(outcome.Summary.text().mid(counts.size()),
             report.contains("%1") ? report.arg(m_dir->path()) : report);
}

QTEST_GUILESS_MAIN(TestHostileFolders)
#include "tst_hostilefolders.moc"
