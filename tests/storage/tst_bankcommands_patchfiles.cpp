// Open Patch and Save Patch As.
#include "tst_bankcommands.h"

void TestBankCommands::patchFileFromOnePatchToAnother() {
    QTemporaryDir dir;
    World w(true);
    for (int p = 1; p <= 63; ++p)
        w.code.PatchBank(7, p) = valueFor(7, p);
    w.code.PatchBank(7, 12) = -5;
    w.host.Names[7] = "Pad";
    w.host.Names[20] = "Before";
    w.host.EditorKinds[20] = 1;
    w.host.Title = "live.bbk";
    const QString file = dir.filePath("pad.b01");

    w.host.answerSave(path(file));
    w.commands.SavePatchAs(7, w.host.PatchName(7));
    const QByteArray saved = TestFiles::read(file);
    QCOMPARE(saved.count("\r\n"), 66);
    QVERIFY(saved.startsWith("Name\r\nPad\r\nData\r\n"));
    QVERIFY(saved.contains("\r\n-5\r\n"));
    QCOMPARE(w.host.Title, std::string("live.bbk"));
    QCOMPARE(w.sends(), 0);

    w.host.Calls.clear();
    w.host.answerOpen(path(file));
    QVERIFY(w.commands.OpenPatchFile(20));
    for (int p = 1; p <= 63; ++p)
        QCOMPARE(w.code.PatchBank(20, p), w.code.PatchBank(7, p));
    QCOMPARE(w.host.Names[20], std::string("Pad"));
    QCOMPARE(w.host.Calls,
             (std::vector<std::string>{"showOpenDialog", "SetPatchName 20", "repaintEditor 20"}));
    QCOMPARE(w.host.RefreshPendingAtRepaint, std::vector<int16_t>{kOn});
    QCOMPARE(w.code.RefreshPending, kOff);
    QCOMPARE(w.sends(), 1);
    QVERIFY(w.host.Messages.empty());

    // A cleared patch with an empty name.
    const QString empty = dir.filePath("empty.b01");
    QVERIFY(w.commands.WritePatchFile(33, "", path(empty)));
    QCOMPARE(TestFiles::read(empty), clearedRecord());
    QCOMPARE(TestFiles::read(empty).size(), 266);
}

void TestBankCommands::unreadablePatchFile_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("damage");
    QList<QByteArray> lines = record("Pad", 3).split('\n');
    QTest::newRow("40 value lines") << lines.mid(0, 43).join('\n') + "\n" << "";
    QTest::newRow("62 value lines") << lines.mid(0, 65).join('\n') + "\n" << "";
    QTest::newRow("40000") << recordWithValue("Pad", 3, 1, " 40000") << "";
    QTest::newRow("line feeds only") << record("Pad", 3, "\n") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("NUL bytes") << QByteArray(70000, '\0') << "";
    QTest::newRow("a folder") << QByteArray() << "folder";
    QTest::newRow("a file that vanished") << QByteArray() << "vanished";
    QTest::newRow("200 MiB without line ends") << QByteArray() << "huge without line ends";
}

void TestBankCommands::unreadablePatchFile() {
    QFETCH(QByteArray, file);
    QFETCH(QString, damage);
    QTemporaryDir dir;
    World w(true);
    w.host.Names[20] = "Keep";
    w.host.EditorKinds[20] = 2;
    const Bank before = w.code.PatchBank;
    const QString patchPath = dir.filePath("bad.b01");
    if (damage.isEmpty())
        QVERIFY(TestFiles::write(patchPath, file));
    else
        makeUnreadable(damage, patchPath);
    w.host.answerOpen(path(patchPath));
    QVERIFY(!w.commands.OpenPatchFile(20));
    QCOMPARE(w.host.Messages,
             std::vector<std::string>{"Unable to open file '" + path(patchPath) + "'."});
    QVERIFY(w.code.PatchBank == before);
    QCOMPARE(w.host.Names[20], std::string("Keep"));
    QCOMPARE(w.host.Calls.size(), 2u); // the dialog and the message
    QCOMPARE(w.sends(), 0);
}

void TestBankCommands::bankFileAsPatchFile() {
    QTemporaryDir dir;
    World w;
    const QString file = dir.filePath("whole.bbk");
    QVERIFY(TestFiles::write(file, bankOf(74)));
    w.host.answerOpen(path(file));
    QVERIFY(w.commands.OpenPatchFile(40));
    QVERIFY(holdsRecord(w.code, 40, 1));
    QCOMPARE(w.host.Names[40], std::string("Patch 1"));
}

