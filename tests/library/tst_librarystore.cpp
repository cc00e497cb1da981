#include "LibraryTestFiles.h"

#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <set>
#include <thread>

using namespace LibraryTestFiles;

// The library's file over its life: what a damaged one still holds is carried over, a
// file another program is writing is waited for, and older files are brought up to date
// with their favourites and categories.
class TestLibraryStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void damagedFileKeepsWhatCanBeRead();
    void openingWaitsForAnotherProgramsWrite();
    void olderFileIsKeyedAgain();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString databasePath() const { return path(QStringLiteral("data/library.sqlite")); }
    std::optional<QTemporaryDir> m_dir;
};

namespace {
// A connection of the test's own, as another program would have.
struct OtherProgram {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    explicit OtherProgram(const QString& path) {
        db.setDatabaseName(path);
        db.open();
    }
    ~OtherProgram() {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }
    bool exec(const QString& statement) { return QSqlQuery(db).exec(statement); }
};
} // namespace

void TestLibraryStore::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

// One damaged page of sounds loses only the marks on it: every other favourite, hidden
// mark and category, the categories made and the collections come over, and the rows
// lost are counted.
void TestLibraryStore::damagedFileKeepsWhatCanBeRead() {
    constexpr int kSounds = 30 * 74;
    for (int bank = 0; bank < 30; ++bank)
        writeBank(path(QStringLiteral("music/%1.bbk").arg(bank)), bank * 74, QStringLiteral("P "));
    std::vector<qint64> favourites, hidden, drones;
    for (qint64 id = 1; id <= kSounds; ++id) {
        if (id % 10 == 0) favourites.push_back(id);
        if (id % 25 == 0) hidden.push_back(id);
        if (id % 7 == 0) drones.push_back(id);
    }
    {
        LibraryDatabase database(databasePath());
        QCOMPARE(database.open(), QString());
        QVERIFY(LibraryEdits::addFolder(database, path("music")));
        QCOMPARE(LibraryScanner(database).scan().NewSounds, kSounds);
        QVERIFY(LibraryEdits::addToCollection(database, "Live", {{sound(4000), "Kept", 1}}));
        QVERIFY(LibraryEdits::setFavourite(database, favourites, true));
        QVERIFY(LibraryEdits::setHidden(database, hidden, true));
        QVERIFY(LibraryEdits::setCategory(database, drones,
                                          LibraryEdits::addCategory(database, "Drones"), true));
    }
    // A leaf page of sounds in the middle garbled; the sounds SQLite can no longer read.
    std::set<qint64> lost;
    {
        qint64 page = 0, size = 0;
        {
            OtherProgram other(databasePath());
            QSqlQuery leaves(other.db);
            QVERIFY(leaves.exec("SELECT pageno, pgsize FROM dbstat WHERE name = 'sounds' AND"
                                " pagetype = 'leaf' ORDER BY pageno LIMIT 1 OFFSET 10"));
            QVERIFY(leaves.next());
            page = leaves.value(0).toLongLong();
            size = leaves.value(1).toLongLong();
        }
        QFile file(databasePath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek((page - 1) * size));
        file.write(QByteArray(int(size), '\xA5'));
        file.close();
        OtherProgram other(databasePath());
        for (qint64 id = 1; id <= kSounds; ++id)
            if (!QSqlQuery(other.db).exec(QStringLiteral("SELECT id FROM sounds WHERE id = %1").arg(id)))
                lost.insert(id);
        QVERIFY(!lost.empty() && lost.size() < 100);
    }
    const auto kept = [&](const std::vector<qint64>& marked) {
        return int(std::count_if(marked.begin(), marked.end(), [&](qint64 id) { return !lost.count(id); }));
    };
    LibraryDatabase database(databasePath());
    const QString said = database.open();
    const QString expected = QStringLiteral("; %1 favourites, hidden marks and categories were carried "
                                            "over with 1 patch of the collections, %2 could not be read;")
                                 .arg(kept(favourites) + kept(hidden) + kept(drones))
                                 .arg(lost.size() + drones.size() - kept(drones));
    QVERIFY2(said.contains(expected), qPrintable(said));
    QCOMPARE(LibraryScanner(database).scan().Read, 30);

    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QCOMPARE(int(catalogue->Entries.size()), kSounds + 1); // the collection's too
    int marks[3] = {};
    const qint64 dronesId = catalogue->categoryId("Drones");
    for (const LibraryEntry& entry : catalogue->Entries) {
        marks[0] += entry.Favourite;
        marks[1] += entry.Hidden;
        marks[2] += int(std::count(entry.Categories.begin(), entry.Categories.end(), dronesId));
    }
    QCOMPARE(marks[0], kept(favourites));
    QCOMPARE(marks[1], kept(hidden));
    QCOMPARE(marks[2], kept(drones));
}

// Another program holds the file in a write as this one opens it, before the file is in
// WAL mode: SQLite answers the journal-mode switch "busy" at once; the opening waits its
// turn instead of falling back to a library for this run only.
void TestLibraryStore::openingWaitsForAnotherProgramsWrite() {
    QVERIFY(QDir().mkpath(path("data")));
    OtherProgram other(databasePath());
    QVERIFY(other.exec("CREATE TABLE other(x)"));
    QVERIFY(other.exec("BEGIN IMMEDIATE"));
    QVERIFY(other.exec("INSERT INTO other VALUES (1)"));
    QString said = QStringLiteral("not opened");
    LibraryDatabase::Mode mode = LibraryDatabase::Mode::Closed;
    QElapsedTimer timer;
    timer.start();
    std::thread opening([&] {
        LibraryDatabase database(databasePath());
        said = database.open();
        mode = database.mode();
    });
    QTest::qWait(400);
    QVERIFY(other.exec("COMMIT"));
    opening.join();
    QCOMPARE(said, QString());
    QCOMPARE(int(mode), int(LibraryDatabase::Mode::Writable));
    QVERIFY(timer.elapsed() >= 400);
}

// A file of schema 2 (paths as text, sounds keyed by their 63 values) comes to the
// latest: two entries that are one sound as sent (two LFO waves set, of which the dump
// carries the higher) become one, with both copies, the favourite of one and the
// category of the other; a file whose name was kept as U+FFFD goes; the files are
// found again by their bytes.
void TestLibraryStore::olderFileIsKeyedAgain() {
    PatchValues a = sound(20);
    a[1] = 1;
    a[3] = 1;
    PatchValues b = a;
    b[1] = 0;
    writeRecords(path("music/a.b01"), {{0, "A"}});
    writeRecords(path("music/c.b01"), {{30, "C"}});
    {
        LibraryDatabase database(databasePath());
        QCOMPARE(database.open(), QString());
        QVERIFY(LibraryEdits::addFolder(database, path("music")));
        QVERIFY(LibraryEdits::addToCollection(database, QStringLiteral("Set"), {{a, "A set", 1}}));
        QCOMPARE(LibraryScanner(database).scan().Read, 2);
        // As the earlier schema left it: b a sound of its own in the collection, keys of
        // the old kind, paths as text.
        QVERIFY(database.exec(QString("INSERT INTO sounds(fingerprint, parameters, name, hidden) "
                                      "VALUES (7, x'%1', 'B', 1)")
                                  .arg(QString::fromLatin1(packValues(b).toHex()))));
        QVERIFY(database.exec(
            "INSERT INTO copies(sound, file, position, name) SELECT max(sounds.id), files.id, 2,"
            " 'B set' FROM sounds, files WHERE files.kind = 1"));
        QVERIFY(database.exec("UPDATE sounds SET fingerprint = id * 1000 + 1"));
        QVERIFY(database.exec("UPDATE sounds SET favourite = 1 WHERE name = 'A set'"));
        QVERIFY(database.exec(
            "INSERT INTO sound_categories(sound, category) SELECT max(id), 1 FROM sounds"));
        QVERIFY(database.exec("UPDATE files SET path = CAST(path AS TEXT)"));
        QVERIFY(database.exec("UPDATE folders SET path = CAST(path AS TEXT)"));
        QVERIFY(database.exec(
            QString::fromUtf8(
                "INSERT INTO files(kind, path, folder) VALUES (0, '%1/caf\uFFFD.syx', 1)")
                .arg(path("music"))));
        QVERIFY(database.exec("PRAGMA user_version = 2"));
    }
    LibraryDatabase database(databasePath());
    QCOMPARE(database.open(), QString());
    QCOMPARE(database.schemaVersion(), LibraryDatabase::kSchemaVersion);
    QSqlQuery kinds(database.database());
    QVERIFY(kinds.exec("SELECT count(*) FROM files WHERE kind = 0 AND typeof(path) = 'blob'"));
    QVERIFY(kinds.next());
    QCOMPARE(kinds.value(0).toInt(), 2); // the U+FFFD row gone, the others as bytes
    const ScanSummary again = LibraryScanner(database).scan();
    QCOMPARE(again.Read + again.Missing, 0);

    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QCOMPARE(int(catalogue->Entries.size()), 3); // the two sets as one, A and C
    QCOMPARE(fingerprintOf(a), fingerprintOf(b));
    const auto merged = std::find_if(catalogue->Entries.begin(), catalogue->Entries.end(),
                                     [&](const LibraryEntry& e) { return e.Fingerprint == fingerprintOf(b); });
    QVERIFY(merged != catalogue->Entries.end());
    const LibraryEntry& entry = *merged;
    QCOMPARE(entry.Name, QStringLiteral("A set"));
    QCOMPARE(entry.CopyCount, 2);
    QVERIFY(entry.Favourite);
    QVERIFY(!entry.Hidden); // hidden only when every one of them was
    QCOMPARE(catalogue->categoriesText(entry), QStringLiteral("Bass"));
    for (const LibraryEntry& each : catalogue->Entries)
        QCOMPARE(each.Fingerprint, fingerprintOf(each.Values));
}

QTEST_GUILESS_MAIN(TestLibraryStore)
#include "tst_librarystore.moc"
