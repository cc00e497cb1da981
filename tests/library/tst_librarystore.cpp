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
    void soundsAsSent_data();
    void soundsAsSent();
    void olderFileIsKeyedAgain();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString databasePath() const { return path(QStringLiteral("data/library.sqlite")); }
    std::optional<QTemporaryDir> m_dir;
};

namespace {
qint64 idOf(const LibraryCatalogue& catalogue, const PatchValues& values) {
    for (const LibraryEntry& entry : catalogue.Entries)
        if (entry.Fingerprint == fingerprintOf(values)) return entry.Id;
    return 0;
}

// A connection of the test's own, as another program would have.
struct OtherProgram {
    QSqlDatabase db;
    explicit OtherProgram(const QString& path) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        db.open();
    }
    ~OtherProgram() {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }
    bool exec(const QString& statement) {
        QSqlQuery query(db);
        return query.exec(statement);
    }
};

// The rowids of a leaf page of a table's b-tree, read from the page's cells.
std::set<qint64> rowsOnPage(const QByteArray& page) {
    const auto byte = [&](int at) { return int(uchar(page[at])); };
    const auto varint = [&](int& at) {
        qint64 value = 0;
        for (int i = 0; i < 9; ++i) {
            const int b = byte(at++);
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
        return value;
    };
    std::set<qint64> rows;
    const int cells = byte(3) << 8 | byte(4);
    for (int cell = 0; cell < cells; ++cell) {
        int at = byte(8 + 2 * cell) << 8 | byte(9 + 2 * cell);
        varint(at); // the payload's size
        rows.insert(varint(at));
    }
    return rows;
}
} // namespace

void TestLibraryStore::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

// One damaged page of sounds loses only the marks on it: every other favourite, hidden
// mark and category, the categories made and the collections come over, and the rows
// lost are counted.
void TestLibraryStore::damagedFileKeepsWhatCanBeRead() {
    for (int bank = 0; bank < 30; ++bank)
        writeBank(path(QStringLiteral("music/%1.bbk").arg(bank)), bank * 74,
                  QStringLiteral("P%1 ").arg(bank));
    std::set<qint64> favourites, hidden, drones;
    {
        LibraryDatabase database(databasePath());
        QCOMPARE(database.open(), QString());
        QVERIFY(LibraryEdits::addFolder(database, path("music")));
        QCOMPARE(LibraryScanner(database).scan().NewSounds, 30 * 74);
        QVERIFY(LibraryEdits::addToCollection(database, QStringLiteral("Live"),
                                              {{sound(4000), QStringLiteral("Kept"), 1}}));
        const qint64 category = LibraryEdits::addCategory(database, QStringLiteral("Drones"));
        for (qint64 id = 1; id <= 30 * 74; ++id) {
            if (id % 10 == 0) favourites.insert(id);
            if (id % 25 == 0) hidden.insert(id);
            if (id % 7 == 0) drones.insert(id);
        }
        QVERIFY(LibraryEdits::setFavourite(database, {favourites.begin(), favourites.end()}, true));
        QVERIFY(LibraryEdits::setHidden(database, {hidden.begin(), hidden.end()}, true));
        QVERIFY(
            LibraryEdits::setCategory(database, {drones.begin(), drones.end()}, category, true));
    }
    // A leaf page of sounds in the middle, garbled.
    qint64 pageSize = 0;
    qint64 pageNumber = 0;
    {
        OtherProgram reader(databasePath());
        QSqlQuery query(reader.db);
        QVERIFY(query.exec(
            "SELECT pageno, pgsize FROM dbstat WHERE name = 'sounds' AND pagetype = 'leaf'"
            " ORDER BY pageno"));
        std::vector<std::pair<qint64, qint64>> leaves;
        while (query.next())
            leaves.emplace_back(query.value(0).toLongLong(), query.value(1).toLongLong());
        QVERIFY(leaves.size() > 10);
        std::tie(pageNumber, pageSize) = leaves[leaves.size() / 2];
    }
    QFile file(databasePath());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek((pageNumber - 1) * pageSize));
    const std::set<qint64> lost = rowsOnPage(file.read(pageSize));
    QVERIFY(!lost.empty());
    QVERIFY(file.seek((pageNumber - 1) * pageSize));
    file.write(QByteArray(int(pageSize), '\xA5'));
    file.close();

    const auto kept = [&](const std::set<qint64>& marked) {
        int count = 0;
        for (const qint64 id : marked)
            count += lost.count(id) ? 0 : 1;
        return count;
    };
    const int carried = kept(favourites) + kept(hidden) + kept(drones);
    const int unread = int(lost.size()) + int(drones.size()) - kept(drones);
    LibraryDatabase database(databasePath());
    const QString said = database.open();
    QVERIFY2(said.contains(QStringLiteral(
                               "; %1 favourites, hidden marks and categories were carried over "
                               "with 1 patch of the collections, %2 could not be read; it is built "
                               "again from the watched folders")
                               .arg(carried)
                               .arg(unread)),
             qPrintable(said));
    QVERIFY(database.rebuilt());
    QCOMPARE(LibraryScanner(database).scan().Read, 30);

    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QVERIFY(catalogue);
    QCOMPARE(int(catalogue->Entries.size()), 30 * 74 + 1);
    int favouritesNow = 0, hiddenNow = 0, dronesNow = 0;
    const qint64 dronesId = catalogue->categoryId(QStringLiteral("Drones"));
    QVERIFY(dronesId != 0);
    for (const LibraryEntry& entry : catalogue->Entries) {
        favouritesNow += entry.Favourite;
        hiddenNow += entry.Hidden;
        dronesNow += std::count(entry.Categories.begin(), entry.Categories.end(), dronesId);
    }
    QCOMPARE(favouritesNow, kept(favourites));
    QCOMPARE(hiddenNow, kept(hidden));
    QCOMPARE(dronesNow, kept(drones));
    LibraryFilter live;
    for (const LibraryFile& collection : catalogue->Files)
        if (collection.Kind == LibraryFiles::kCollection) live.Source = -collection.Id;
    QCOMPARE(int(catalogue->select(live, catalogue->listOrder()).size()), 1);
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

void TestLibraryStore::soundsAsSent_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("same");
    // The dump carries the highest member set of a wave choice.
    QTest::newRow("two LFO 1 waves set, or the higher only") << 1 << 1 << 0 << true;
    QTest::newRow("a level beyond its range, or at its top") << 8 << 99 << 63 << true;
    QTest::newRow("two levels") << 8 << 62 << 63 << false;
    QTest::newRow("a flag set, or not") << 4 << 1 << 0 << false;
}

// Patches that differ only where the dump carries nothing are one sound.
void TestLibraryStore::soundsAsSent() {
    QFETCH(int, parameter);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(bool, same);
    PatchValues first = sound(9);
    first[3] = 1;
    PatchValues second = first;
    first[std::size_t(parameter)] = int16_t(a);
    second[std::size_t(parameter)] = int16_t(b);
    QCOMPARE(fingerprintOf(first) == fingerprintOf(second), same);
}

// A file of schema 2 (paths as text, sounds keyed by their 63 values) comes to the
// latest: two entries that are one sound as sent become one, with both copies, the
// favourite of one and the category of the other; a file whose name was kept as U+FFFD
// goes; the files are found again by their bytes.
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
    QVERIFY(kinds.exec("SELECT count(*), sum(typeof(path) = 'blob') FROM files WHERE kind = 0"));
    QVERIFY(kinds.next());
    QCOMPARE(kinds.value(0).toInt(), 2);
    QCOMPARE(kinds.value(1).toInt(), 2);
    const ScanSummary again = LibraryScanner(database).scan();
    QCOMPARE(again.Read, 0);
    QCOMPARE(again.Missing, 0);

    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QCOMPARE(int(catalogue->Entries.size()), 3); // the two sets as one, A and C
    const int merged = catalogue->indexOf(idOf(*catalogue, b));
    QVERIFY(merged >= 0);
    const LibraryEntry& entry = catalogue->Entries[std::size_t(merged)];
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
