// The companion's library commands.
#include "tst_companion.h"

void TestCompanion::library_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("lines"); // of the standard output; %1 is the folder
    const QString one = "bc2e3f0353e9dc17\tPad\tPad,Strings\t2\t%1/a.bbk";
    QTest::newRow("list") << QStringList{"library", "list"} << 0
                          << QStringList{one, "00421b7a357ee2ae\tSolo\t\t1\t%1/solo.b01"};
    QTest::newRow("search, any case") << QStringList{"library", "list", "--search", "PA"} << 0
                                      << QStringList{one};
    QTest::newRow("category") << QStringList{"library", "list", "--category", "strings"} << 0
                              << QStringList{one};
    QTest::newRow("favourites") << QStringList{"library", "list", "--favourites"} << 0
                                << QStringList{};
    QTest::newRow("missing") << QStringList{"library", "list", "--missing"} << 0 << QStringList{};
    QTest::newRow("unknown category") << QStringList{"library", "list", "--category", "Drone"} << 1
                                      << QStringList{};
    QTest::newRow("bank") << QStringList{"library", "bank", "--search", "o", "-o", "out.bbk"} << 0
                          << QStringList{"out.bbk: 2 patches from the library"};
    QTest::newRow("bank of nothing")
        << QStringList{"library", "bank", "--search", "zzz", "-o", "out.bbk"} << 1 << QStringList{};
}

// A folder added, then the library listed and written as a bank: the same sound in two
// files is one line with two copies, and the bank holds the matches in list order.
void TestCompanion::library() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QStringList, lines);
    const QString folder = QFileInfo(m_dir->path()).canonicalFilePath() + "/banks";
    QDir().mkpath(folder);
    const QByteArray pad = record("Pad", {{8, 40}});
    CompanionFiles::write(folder + "/a.bbk", pad + bank().mid(266));
    CompanionFiles::write(folder + "/b.bbk", record("Other name", {{8, 40}}) + bank().mid(266));
    CompanionFiles::write(folder + "/solo.b01", record("Solo", {{9, 3}}));
    {
        Run add;
        QCOMPARE(add({"library", "add", folder}), 0);
        QCOMPARE(add.output(), "3 files, 3 read, 149 patches, 3 new sounds\n");
    }
    {
        // The new patch of the banks' other 73 records is hidden, Pad has two categories.
        LibraryDatabase database(LibraryDatabase::defaultPath());
        QCOMPARE(database.open(), QString());
        QString error;
        const auto catalogue = LibraryCatalogue::load(database, error);
        const auto entry = [&](const QString& name) {
            for (const LibraryEntry& e : catalogue->Entries)
                if (e.Name == name) return e.Id;
            return qint64(0);
        };
        QVERIFY(LibraryEdits::setHidden(database, {entry("")}, true));
        for (const char* category : {"Strings", "Pad"})
            QVERIFY(LibraryEdits::setCategory(database, {entry("Pad")},
                                              catalogue->categoryId(category), true));
    }
    QDir::setCurrent(m_dir->path());
    Run run;
    QCOMPARE(run(args), status);
    const QStringList shown = run.output().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(shown, lines.replaceInStrings("%1", folder));
    if (args.contains("bank") && status == 0) {
        Bank written;
        std::vector<std::string> names;
        QCOMPARE(loadFile(path("out.bbk").toStdString(), written, &names).Records, 74);
        QCOMPARE(names[0], "Pad");
        QCOMPARE(names[1], "Solo");
        QCOMPARE(names[2], "");
        QCOMPARE(written(1, 8), 40);
        QCOMPARE(written(2, 9), 3);
    }
}

void TestCompanion::libraryRefuses_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errors");
    QTest::newRow("not a folder") << "" << QStringList{"library", "add", "/nonexistent/banks"} << 1
                                  << "quenlor-sysex: '/nonexistent/banks' is not a folder\n";
    QTest::newRow("newer library, add")
        << "newer" << QStringList{"library", "add", "."} << 1
        << "quenlor-sysex: The library was written by a newer version of Quenlor: it is shown "
           "read-only\nquenlor-sysex: the library cannot be written\n";
    QTest::newRow("newer library, list")
        << "newer" << QStringList{"library", "list"} << 0
        << "quenlor-sysex: The library was written by a newer version of Quenlor: it is shown "
           "read-only\n";
}

// What the companion cannot do it says, with exit status 1; a library it may only read
// it still lists.
void TestCompanion::libraryRefuses() {
    QFETCH(QString, state);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, errors);
    if (state == "newer") {
        LibraryDatabase database(LibraryDatabase::defaultPath());
        QCOMPARE(database.open(), QString());
        QVERIFY(database.exec("PRAGMA user_version = 99"));
    }
    Run run;
    QCOMPARE(run(args), status);
    QCOMPARE(run.errors(), errors);
}

// Two companions adding folders to one library at once take turns: both succeed and the
// library holds every patch of both, undamaged.
void TestCompanion::libraryTwoProgramsAtOnce() {
    for (const QString side : {"left", "right"}) {
        QDir().mkpath(path(side));
        for (int file = 0; file < 30; ++file) {
            std::map<int, Values> changes;
            for (int r = 1; r <= 74; ++r)
                changes[r] = {{8, r % 64}, {9, file}, {10, side == "left" ? 1 : 2}};
            CompanionFiles::write(path(side + "/" + QString::number(file) + ".bbk"), bank(changes));
        }
    }
    QProcess left;
    QProcess right;
    left.start(QStringLiteral(QUENLOR_SYSEX_PROGRAM), {"library", "add", path("left")});
    right.start(QStringLiteral(QUENLOR_SYSEX_PROGRAM), {"library", "add", path("right")});
    for (QProcess* program : {&left, &right}) {
        QVERIFY(program->waitForFinished(60000));
        QCOMPARE(program->readAllStandardError(), QByteArray());
        QCOMPARE(program->exitCode(), 0);
    }
    LibraryDatabase database(LibraryDatabase::defaultPath());
    QCOMPARE(database.open(), QString()); // the file passes its check
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QCOMPARE(int(catalogue->Entries.size()), 2 * 30 * 64); // records r and r + 64 sound alike
    QCOMPARE(int(catalogue->Copies.size()), 2 * 30 * 74);
}

void TestCompanion::libraryListAfterDamage_data() {
    QTest::addColumn<bool>("foldersKnown");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("lastError");
    QTest::newRow("its folders known")
        << true << 0 << 2
        << "quenlor-sysex: built again from the watched folders: 2 files, 2 read, "
           "2 patches, 2 new sounds\n";
    QTest::newRow("no folder known") << false << 1 << 0
                                     << "quenlor-sysex: the library was not built again: no "
                                        "watched folder is known; add them again "
                                        "with 'quenlor-sysex library add DIR...'\n";
}

// A damaged library is set aside and listed only once it is built again from the
// watched folders; when it cannot be, the companion says so and fails.
void TestCompanion::libraryListAfterDamage() {
    QFETCH(bool, foldersKnown);
    QFETCH(int, status);
    QFETCH(int, lines);
    QFETCH(QString, lastError);
    QDir().mkpath(path("banks"));
    CompanionFiles::write(path("banks/a.b01"), record("One", {{8, 1}}));
    CompanionFiles::write(path("banks/b.b01"), record("Two", {{8, 2}}));
    QCOMPARE(Run()({"library", "add", path("banks")}), 0);
    const QString library = LibraryDatabase::defaultPath();
    QFile::remove(library + "-wal");
    CompanionFiles::write(library, "not a library");
    if (!foldersKnown)
        QVERIFY(QFile::remove(QFileInfo(library).absolutePath() + "/library-folders.txt"));
    Run run;
    QCOMPARE(run({"library", "list"}), status);
    QCOMPARE(int(run.output().count('\n')), lines);
    QVERIFY2(run.errors().startsWith(
                 "quenlor-sysex: The library file was damaged: it was set aside as "),
             qPrintable(run.errors()));
    QVERIFY2(run.errors().endsWith(lastError), qPrintable(run.errors()));
}

