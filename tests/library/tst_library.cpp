#include "LibraryTestFiles.h"

#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"

#include <QDirIterator>
#include <atomic>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace LibraryTestFiles;

namespace {
// A Standard MIDI File of one track holding the dumps as SysEx events.
QByteArray midiFile(const QByteArray& dumps) {
    QByteArray track;
    for (int at = 0; at + 80 <= dumps.size(); at += 80)
        track += QByteArray("\x00\xF0", 2) + char(79) + dumps.mid(at + 1, 79);
    track += QByteArray("\x00\xFF\x2F\x00", 4);
    QByteArray file("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60", 14);
    file += "MTrk";
    for (int shift = 24; shift >= 0; shift -= 8)
        file += char((track.size() >> shift) & 0xFF);
    return file + track;
}

QStringList namesOf(const LibraryCatalogue& catalogue, const std::vector<int>& rows) {
    QStringList names;
    for (const int row : rows)
        names << catalogue.Entries[std::size_t(row)].Name;
    return names;
}

qint64 folderId(LibraryDatabase& database, const QString& path) {
    QSqlQuery query(database.database());
    query.prepare(QStringLiteral("SELECT id FROM folders WHERE path = ?"));
    query.bindValue(0, QFile::encodeName(QFileInfo(path).canonicalFilePath()));
    return query.exec() && query.next() ? query.value(0).toLongLong() : 0;
}
} // namespace

// The library below the windows: scans of real folders and the queries on what they
// found, the file's bad states, and its migrations.
class TestLibrary : public QObject {
    Q_OBJECT
private slots:
    void init();
    void query_data();
    void query();
    void sortOrders_data();
    void sortOrders();
    void rescan_data();
    void rescan();
    void cancelKeepsWhatWasRead();
    void badStates_data();
    void badStates();
    void migrations();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString databasePath() const { return path(QStringLiteral("data/Quenlor/library.sqlite")); }
    // Two watched folders of banks, patch files and SysEx files with duplicates, a link
    // loop and files that cannot be read; a collection; favourites, a category, a
    // hidden patch and a file gone since its scan.
    void makeLibrary(LibraryDatabase& database);
    std::optional<QTemporaryDir> m_dir;
};

void TestLibrary::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

void TestLibrary::makeLibrary(LibraryDatabase& database) {
    QCOMPARE(database.open(), QString());
    writeBank(path("music/a.bbk"), 1, QStringLiteral("Alpha "));
    std::vector<std::pair<int, QString>> beta;
    for (int i = 1; i <= 74; ++i)
        beta.emplace_back(i <= 18 ? i : 82 + i, QStringLiteral("Beta %1").arg(i));
    writeRecords(path("music/sub/b.bbk"), beta);
    QVERIFY(QFile::link(path("music"), path("music/sub/loop")));
    writeRecords(path("music/solo.b01"), {{5, QString::fromLatin1("P\xE2" "d \xC9t\xE9")}});
    writeBytes(path("music/two.syx"), dumps({200, 201}));
    writeBytes(path("music/song.mid"), midiFile(dumps({300})));
    std::vector<std::pair<int, QString>> broken;
    for (int i = 0; i < 10; ++i)
        broken.emplace_back(400 + i, QStringLiteral("Cut %1").arg(i));
    writeRecords(path("music/broken.bbk"), broken);
    QFile big(path("music/big.syx"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(17 << 20));
    big.close();
    writeBytes(path("music/notes.txt"), "Name\r\n");
    writeRecords(path("more/gamma.b01"), {{500, QStringLiteral("Gamma")}});

    QVERIFY(LibraryEdits::addFolder(database, path("music")));
    QVERIFY(LibraryEdits::addFolder(database, path("more")));
    const ScanSummary first = LibraryScanner(database).scan();
    QCOMPARE(first.Error, QString());
    QCOMPARE(first.Files, 8);
    QCOMPARE(first.NewSounds, 74 + 56 + 2 + 1 + 10 + 1);
    QCOMPARE(first.Problems, 2);

    std::vector<FoundPatch> live(2);
    live[0] = {sound(1), QStringLiteral("Live One"), 1};
    live[1] = {sound(600), QStringLiteral("Fresh"), 2};
    QVERIFY(LibraryEdits::addToCollection(database, QStringLiteral("Live"), live));
    QVERIFY(LibraryEdits::addToCollection(database, QStringLiteral("Live"), live)); // kept once

    QString error;
    auto catalogue = LibraryCatalogue::load(database, error);
    QVERIFY(catalogue);
    const auto idOf = [&](const QString& name) {
        for (const LibraryEntry& entry : catalogue->Entries)
            if (entry.Name == name) return entry.Id;
        return qint64(0);
    };
    QVERIFY(LibraryEdits::setFavourite(database, {idOf("Alpha 1"), idOf("Alpha 2")}, true));
    QVERIFY(LibraryEdits::setCategory(database, {idOf("Alpha 3"), idOf("Beta 19")},
                                      catalogue->categoryId(QStringLiteral("bass")), true));
    QVERIFY(LibraryEdits::setHidden(database, {idOf("Alpha 4")}, true));
    QVERIFY(QFile::remove(path("music/song.mid")));
    QCOMPARE(LibraryScanner(database).scan().Missing, 1);
}

void TestLibrary::query_data() {
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("source"); // a folder, or a collection's name
    QTest::addColumn<int>("flags");      // 1 favourites, 2 hidden too, 4 missing only
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<int>("copies"); // of the first

    QTest::newRow("all but the hidden, by name")
        << "" << "" << "" << 0 << 144 << QStringList{"Alpha 1", "Alpha 10"} << 3;
    QTest::newRow("hidden shown") << "" << "" << "" << 2 << 145 << QStringList{"Alpha 1"} << 3;
    QTest::newRow("part of a name, any case")
        << "ALPHA 7" << "" << "" << 0 << 6 << QStringList{"Alpha 7", "Alpha 70"} << 2;
    QTest::newRow("another copy's name")
        << "beta 5" << "" << "" << 0 << 11 << QStringList{"Alpha 5", "Beta 50"} << 3;
    QTest::newRow("without accents") << "pad ete" << "" << "" << 0 << 1 << QStringList{"Alpha 5"} << 3;
    QTest::newRow("with accents") << QString::fromUtf8("PÂD ÉTÉ") << "" << "" << 0 << 1
                                  << QStringList{"Alpha 5"} << 3;
    QTest::newRow("category") << "" << "Bass" << "" << 0 << 2 << QStringList{"Alpha 3", "Beta 19"} << 2;
    QTest::newRow("category searched") << "bas" << "" << "" << 0 << 2 << QStringList{"Alpha 3"} << 2;
    QTest::newRow("favourites") << "" << "" << "" << 1 << 2 << QStringList{"Alpha 1", "Alpha 2"} << 3;
    QTest::newRow("missing") << "" << "" << "" << 4 << 1 << QStringList{"song"} << 0;
    QTest::newRow("a SysEx file's dumps") << "two" << "" << "" << 0 << 2
                                          << QStringList{"two 1", "two 2"} << 1;
    QTest::newRow("the rest of a cut bank") << "cut" << "" << "" << 0 << 10
                                            << QStringList{"Cut 0"} << 1;
    QTest::newRow("one folder") << "" << "" << "more" << 0 << 1 << QStringList{"Gamma"} << 1;
    QTest::newRow("a collection")
        << "" << "" << "Live" << 0 << 2 << QStringList{"Alpha 1", "Fresh"} << 3;
    QTest::newRow("no match") << "zzz" << "" << "" << 0 << 0 << QStringList{} << 0;
}

void TestLibrary::query() {
    QFETCH(QString, search);
    QFETCH(QString, category);
    QFETCH(QString, source);
    QFETCH(int, flags);
    QFETCH(int, count);
    QFETCH(QStringList, first);
    QFETCH(int, copies);
    LibraryDatabase database(databasePath());
    makeLibrary(database);
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QVERIFY2(catalogue, qPrintable(error));

    LibraryFilter filter;
    filter.Search = search;
    filter.Category = category.isEmpty() ? 0 : catalogue->categoryId(category);
    filter.FavouritesOnly = flags & 1;
    filter.ShowHidden = flags & 2;
    filter.MissingOnly = flags & 4;
    if (source == QLatin1String("Live")) {
        for (const LibraryFile& file : catalogue->Files)
            if (file.Path == source) filter.Source = -file.Id;
    } else if (!source.isEmpty()) {
        filter.Source = folderId(database, path(source));
    }
    const std::vector<int> rows = catalogue->select(filter, catalogue->listOrder());
    QCOMPARE(int(rows.size()), count);
    QCOMPARE(namesOf(*catalogue, rows).mid(0, int(first.size())), first);
    if (!rows.empty()) QCOMPARE(catalogue->Entries[std::size_t(rows.front())].Present, copies);

    // The files that could not be read are listed with the checker's reasons.
    QStringList problems;
    for (const auto& [where, why] : catalogue->problems())
        problems << QFileInfo(where).fileName() + ": " + why;
    QCOMPARE(problems, (QStringList{
                           "big.syx: larger than 16 MiB, which no file of patches needs",
                           "broken.bbk: record 11, line 1: the file ends before this line"}));
}

void TestLibrary::sortOrders_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("first");
    using Key = LibraryCatalogue::SortKey;
    QTest::newRow("name, descending") << int(Key::Name) << false << QStringList{"two 2", "two 1"};
    QTest::newRow("most copies first")
        << int(Key::Copies) << true << QStringList{"Alpha 1", "Alpha 5", "Alpha 10"};
    QTest::newRow("favourites first") << int(Key::Favourite) << true << QStringList{"Alpha 1", "Alpha 2"};
    QTest::newRow("categorised first") << int(Key::Categories) << true << QStringList{"Alpha 3", "Beta 19"};
    // By the file's name first: a.bbk before the folder "more"'s gamma.b01.
    QTest::newRow("by file") << int(Key::File) << true << QStringList{"Alpha 1", "Alpha 10"};
    QTest::newRow("by file, descending")
        << int(Key::File) << false << QStringList{"two 2", "two 1"};
    // Sound 40's neighbours differ by one step of one level; ties stay by name.
    QTest::newRow("likeness") << int(Key::Similarity) << true
                              << QStringList{"Alpha 40", "Alpha 39", "Alpha 41"};
}

void TestLibrary::sortOrders() {
    QFETCH(int, key);
    QFETCH(bool, ascending);
    QFETCH(QStringList, first);
    LibraryDatabase database(databasePath());
    makeLibrary(database);
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    const PatchValues reference = sound(40);
    const std::vector<int> order =
        catalogue->sorted(LibraryCatalogue::SortKey(key), ascending, &reference);
    QCOMPARE(int(order.size()), 145);
    QCOMPARE(namesOf(*catalogue, order).mid(0, int(first.size())), first);
}

void TestLibrary::rescan_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("read");
    QTest::addColumn<int>("gone");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("missing");
    QTest::addColumn<QString>("folderProblem");
    QTest::newRow("nothing") << "" << 0 << 0 << 145 << 1 << "";
    QTest::newRow("a bank rewritten") << "rewrite" << 1 << 0 << 145 + 74 << 1 + 56 << "";
    QTest::newRow("a time changed") << "touch" << 1 << 0 << 145 << 1 << "";
    QTest::newRow("a file deleted") << "delete" << 0 << 1 << 145 << 3 << "";
    QTest::newRow("a folder's disk gone")
        << "unmount" << 0 << 1 << 145 << 2 << "the folder is not there (is its disk connected?)";
}

// A rescan reads only what changed, and what is gone stays, shown as missing.
void TestLibrary::rescan() {
    QFETCH(QString, change);
    QFETCH(int, read);
    QFETCH(int, gone);
    QFETCH(int, entries);
    QFETCH(int, missing);
    QFETCH(QString, folderProblem);
    LibraryDatabase database(databasePath());
    makeLibrary(database);
    if (change == QLatin1String("rewrite")) {
        writeBank(path("music/a.bbk"), 700, QStringLiteral("New "));
    } else if (change == QLatin1String("touch")) {
        QFile file(path("music/a.bbk"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    } else if (change == QLatin1String("delete")) {
        QVERIFY(QFile::remove(path("music/two.syx")));
    } else if (change == QLatin1String("unmount")) {
        QVERIFY(QDir().rename(path("more"), path("elsewhere")));
    }
    const ScanSummary summary = LibraryScanner(database).scan();
    QCOMPARE(summary.Read, read);
    QCOMPARE(summary.Missing, gone);
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QVERIFY(catalogue);
    QCOMPARE(int(catalogue->Entries.size()), entries);
    LibraryFilter onlyMissing;
    onlyMissing.MissingOnly = true;
    onlyMissing.ShowHidden = true;
    QCOMPARE(int(catalogue->select(onlyMissing, catalogue->listOrder()).size()), missing);
    QCOMPARE(catalogue->Folders.back().Problem, folderProblem);
}

// A cancelled scan keeps the batches it wrote; the next scan reads only the rest.
void TestLibrary::cancelKeepsWhatWasRead() {
    for (int n = 0; n < 60; ++n)
        writeRecords(path(QStringLiteral("many/%1.b01").arg(n, 2, 10, QLatin1Char('0'))),
                     {{n, QStringLiteral("Patch %1").arg(n)}});
    LibraryDatabase database(databasePath());
    QCOMPARE(database.open(), QString());
    QVERIFY(LibraryEdits::addFolder(database, path("many")));
    std::atomic<bool> cancel{false};
    LibraryScanner scanner(database);
    scanner.setCancel(&cancel);
    QList<int> progress;
    scanner.setProgress([&](int done, int total) {
        progress << done << total;
        cancel = true;
    });
    const ScanSummary first = scanner.scan();
    QVERIFY(first.Cancelled);
    QCOMPARE(progress, (QList<int>{LibraryScanner::kBatch, 60}));
    QCOMPARE(first.Read, LibraryScanner::kBatch);
    const ScanSummary rest = LibraryScanner(database).scan();
    QVERIFY(!rest.Cancelled);
    QCOMPARE(rest.Read, 60 - LibraryScanner::kBatch);
    QCOMPARE(rest.Missing, 0);
    QString error;
    QCOMPARE(int(LibraryCatalogue::load(database, error)->Entries.size()), 60);
}

void TestLibrary::badStates_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("notice");
    QTest::newRow("not a database") << "text" << int(LibraryDatabase::Mode::Writable)
                                    << "The library file was damaged: it was set aside as";
    QTest::newRow("damaged") << "garbled" << int(LibraryDatabase::Mode::Writable)
                             << "The library file was damaged: it was set aside as";
    QTest::newRow("newer schema") << "newer" << int(LibraryDatabase::Mode::ReadOnly)
                                  << "The library was written by a newer version of Quenlor";
    QTest::newRow("folder not writable") << "unwritable" << int(LibraryDatabase::Mode::ThisRunOnly)
                                         << "cannot be written: the library is kept for this run only";
}

// Each bad state gives one line and loses nothing: a damaged file is kept aside and the
// library is built again from the watched folders; a newer one is only read.
void TestLibrary::badStates() {
    QFETCH(QString, state);
    QFETCH(int, mode);
    QFETCH(QString, notice);
    writeBank(path("music/a.bbk"), 1, QStringLiteral("Alpha "));
    QString file = databasePath();
    {
        LibraryDatabase database(file);
        QCOMPARE(database.open(), QString());
        QVERIFY(LibraryEdits::addFolder(database, path("music")));
        QCOMPARE(LibraryScanner(database).scan().NewSounds, 74);
        if (state == QLatin1String("newer"))
            QVERIFY(database.exec(QStringLiteral("PRAGMA user_version = 99")));
    }
    QByteArray before;
    if (state == QLatin1String("text")) {
        writeBytes(file, "Name\r\nnot a library\r\n");
    } else if (state == QLatin1String("garbled")) {
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        QVERIFY(damaged.size() > 8192);
        damaged.seek(4096);
        damaged.write(QByteArray(int(damaged.size()) - 4096, '\xA5'));
    } else if (state == QLatin1String("unwritable")) {
        // A folder that cannot be made: its parent is a file.
        writeBytes(path("blocked"), "x");
        QVERIFY(QFile::copy(file, path("copy.sqlite")));
        file = path("blocked/Quenlor/library.sqlite");
    }
    if (state == QLatin1String("text") || state == QLatin1String("garbled")) {
        QFile original(file);
        QVERIFY(original.open(QIODevice::ReadOnly));
        before = original.readAll();
    }

    LibraryDatabase database(file);
    const QString said = database.open();
    QVERIFY2(said.contains(notice), qPrintable(said));
    QCOMPARE(int(database.mode()), mode);
    if (!before.isEmpty()) {
        // The damaged file is kept as it was, beside the new one.
        const QStringList aside =
            QDir(QFileInfo(file).absolutePath()).entryList({"library.sqlite.damaged-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QFile kept(QFileInfo(file).absolutePath() + "/" + aside.front());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), before);
        QVERIFY(database.rebuilt());
        QCOMPARE(LibraryScanner(database).scan().NewSounds, 74);
    }
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QVERIFY(catalogue);
    QCOMPARE(int(catalogue->Entries.size()), state == QLatin1String("unwritable") ? 0 : 74);
    const bool writable = mode != int(LibraryDatabase::Mode::ReadOnly);
    QCOMPARE(LibraryEdits::addCategory(database, QStringLiteral("Drones")) != 0, writable);
}

// A file of every earlier version opens at the latest, its contents kept; two programs
// migrating at once migrate once.
void TestLibrary::migrations() {
    {
        LibraryDatabase fresh(databasePath());
        QCOMPARE(fresh.open(), QString());
        QCOMPARE(fresh.schemaVersion(), LibraryDatabase::kSchemaVersion);
        QString error;
        const auto catalogue = LibraryCatalogue::load(fresh, error);
        QStringList categories;
        for (const LibraryCategory& category : catalogue->Categories)
            categories << category.Name;
        QCOMPARE(categories, (QStringList{"Bass", "Lead", "Pad", "Strings", "Brass", "Keys",
                                          "Organ", "Bell", "Sound Effect", "Percussion",
                                          "Sequence", "Other"}));
        // As the first version left a file: no categories yet, a folder and a sound.
        QVERIFY(fresh.exec(QStringLiteral("DELETE FROM categories")));
        QVERIFY(LibraryEdits::addToCollection(fresh, QStringLiteral("Kept"),
                                              {{sound(7), QStringLiteral("Seven"), 1}}));
        QVERIFY(fresh.exec(QStringLiteral("PRAGMA user_version = 1")));
    }
    LibraryDatabase first(databasePath());
    LibraryDatabase second(databasePath());
    QCOMPARE(first.open(), QString());
    QCOMPARE(second.open(), QString());
    QCOMPARE(first.schemaVersion(), LibraryDatabase::kSchemaVersion);
    QString error;
    const auto catalogue = LibraryCatalogue::load(second, error);
    QCOMPARE(int(catalogue->Categories.size()), 12);
    QCOMPARE(int(catalogue->Entries.size()), 1);
    QCOMPARE(catalogue->Entries.front().Name, QStringLiteral("Seven"));
    QCOMPARE(catalogue->Entries.front().Fingerprint, fingerprintOf(sound(7)));
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
