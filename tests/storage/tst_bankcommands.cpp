// New, Open and Save Bank.
#include "tst_bankcommands.h"

void TestBankCommands::newBankSavesKnownBytes() {
    QTemporaryDir dir;
    World w;
    w.code.PatchBank(3, 10) = 40;
    w.host.Names[3] = "Old";
    w.host.Title = "old.bbk";
    w.host.Path = path(dir.filePath("old.bbk"));

    w.commands.NewBank();
    QCOMPARE(w.host.Calls,
             (std::vector<std::string>{"FillPatchList", "clearBankFile", "SetMainCaption "}));
    QCOMPARE(w.host.Caption, std::string("Quenlor 1.2.1"));
    QCOMPARE(w.sends(), 0);
    QVERIFY(isCleared(w.code, 3));

    const QString file = dir.filePath("new.bbk");
    w.host.answerSave(path(file));
    w.commands.SaveBank();
    QCOMPARE(w.host.SaveSetups.size(), 1u);
    const QByteArray saved = TestFiles::read(file);
    QCOMPARE(saved.size(), 19684);
    QVERIFY(saved.startsWith(QByteArray::fromHex("4E616D650D0A0D0A446174610D0A20300D0A")));
    QCOMPARE(saved, clearedRecord().repeated(74));
    QVERIFY(w.host.Messages.empty());
}

void TestBankCommands::saveBankAsksOnlyWithoutAFile() {
    QTemporaryDir dir;
    World w;
    const QString a = dir.filePath("a.bbk");
    const QString b = dir.filePath("b.bbk");

    // After start-up: no file yet, so Save Bank asks.
    w.host.answerSave(path(a));
    w.commands.SaveBank();
    QCOMPARE(w.host.SaveSetups.size(), 1u);
    QCOMPARE(w.host.Caption, std::string("Quenlor 1.2.1 - a.bbk"));
    QVERIFY(QFile::exists(a));

    // Now it has one: no dialog, the same file, the title untouched.
    w.code.PatchBank(1, 8) = 9;
    w.host.Calls.clear();
    w.commands.SaveBank();
    QCOMPARE(w.host.SaveSetups.size(), 1u);
    QVERIFY(w.host.Calls.empty());
    QVERIFY(TestFiles::read(a).contains("\r\n 9\r\n"));

    // After New Bank it asks again.
    w.commands.NewBank();
    w.host.SaveAnswers.push_back(std::nullopt);
    w.commands.SaveBank();
    QCOMPARE(w.host.SaveSetups.size(), 2u);

    // After Open Bank it writes to the opened file without asking.
    QVERIFY(TestFiles::write(b, bankOf(74)));
    w.host.answerOpen(path(b));
    w.commands.OpenBank();
    w.code.PatchBank(74, 63) = 17;
    w.commands.SaveBank();
    QCOMPARE(w.host.SaveSetups.size(), 2u);
    QVERIFY(TestFiles::read(b).endsWith("\r\n 17\r\n"));
    QVERIFY(w.host.Messages.empty());
}

void TestBankCommands::cancelledDialogsChangeNothing_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("extension");
    QTest::newRow("Open Bank") << "OpenBank" << true << QString::fromStdString(kBankFilter) << "";
    QTest::newRow("Save Bank As") << "SaveBankAs" << false << QString::fromStdString(kBankFilter)
                                  << "bbk";
    QTest::newRow("Save Bank without a file")
        << "SaveBank" << false << QString::fromStdString(kBankFilter) << "bbk";
    QTest::newRow("Open Patch") << "OpenPatchFile" << true << QString::fromStdString(kPatchFilter)
                                << "";
    QTest::newRow("Save Patch As")
        << "SavePatchAs" << false << QString::fromStdString(kPatchFilter) << "b01";
}

void TestBankCommands::cancelledDialogsChangeNothing() {
    QFETCH(QString, command);
    QFETCH(bool, opens);
    QFETCH(QString, filter);
    QFETCH(QString, extension);
    World w(true);
    const Bank before = w.code.PatchBank;
    if (command == "OpenBank")
        w.commands.OpenBank();
    else if (command == "SaveBankAs")
        w.commands.SaveBankAs();
    else if (command == "SaveBank")
        w.commands.SaveBank();
    else if (command == "OpenPatchFile")
        QVERIFY(!w.commands.OpenPatchFile(5));
    else
        w.commands.SavePatchAs(5, "Pad");

    const auto& setups = opens ? w.host.OpenSetups : w.host.SaveSetups;
    QCOMPARE(setups.size(), 1u);
    QCOMPARE(QString::fromStdString(setups[0].Filter), filter);
    QCOMPARE(QString::fromStdString(setups[0].DefaultExtension), extension);
    QCOMPARE(w.host.Calls, std::vector<std::string>{opens ? "showOpenDialog" : "showSaveDialog"});
    QVERIFY(w.code.PatchBank == before);
    QCOMPARE(w.sends(), 0);
}

void TestBankCommands::failedSaveAsStillNamesTheFile() {
    QTemporaryDir dir;
    World w;
    const std::string missing = path(dir.filePath("gone/x.bbk"));
    w.host.answerSave(missing);
    w.commands.SaveBankAs();
    QCOMPARE(w.host.Messages, std::vector<std::string>{"Error saving file '" + missing + "'."});
    QCOMPARE(w.host.Title, std::string("x.bbk"));
    QCOMPARE(w.host.Path, missing);
    QCOMPARE(w.host.Calls.back(), std::string("SetMainCaption x.bbk"));
}

void TestBankCommands::bankRoundTripKeepsEveryByte() {
    QTemporaryDir dir;
    World first;
    const std::vector<std::string> names = {
        "", "  leading", "trailing  ", "  both  ", " ", "Caf\xe9 Cr\xe8me", "\xff\xfe\x80\x81",
        std::string("nul\0inside", 10), "a\tb", "Plain"};
    for (int n = 1; n <= 74; ++n) {
        first.host.Names[n] = names[n % names.size()];
        for (int p = 1; p <= 63; ++p)
            first.code.PatchBank(n, p) = int16_t((n * 131 + p * 977) % 65536 - 32768);
    }
    first.code.PatchBank(2, 1) = -32768;
    first.code.PatchBank(2, 2) = 32767;
    const QString a = dir.filePath("a.bbk");
    QVERIFY(first.commands.WriteBankFile(path(a)));

    World second;
    second.host.answerOpen(path(a));
    second.commands.OpenBank();
    QVERIFY(second.host.Messages.empty());
    for (int n = 1; n <= 74; ++n) {
        QCOMPARE(bytes(second.host.Names[n]), bytes(first.host.Names[n]));
        for (int p = 1; p <= 63; ++p)
            QCOMPARE(second.code.PatchBank(n, p), first.code.PatchBank(n, p));
    }
    const QString b = dir.filePath("b.bbk");
    QVERIFY(second.commands.WriteBankFile(path(b)));
    QCOMPARE(TestFiles::read(b), TestFiles::read(a));
}

void TestBankCommands::openBankOrder() {
    QTemporaryDir dir;
    World w;
    w.host.EditorKinds[3] = 1;
    w.host.EditorKinds[60] = 2;
    const QString file = dir.filePath("live.bbk");
    QVERIFY(TestFiles::write(file, bankOf(74)));
    w.host.answerOpen(path(file));
    w.commands.OpenBank();

    const auto& calls = w.host.Calls;
    QCOMPARE(calls.size(), 2 + 74 * 2 + 2 + 4u);
    QCOMPARE(calls[0], std::string("showOpenDialog"));
    QCOMPARE(calls[1], std::string("ShowBusyPointer"));
    QCOMPARE(calls[2], std::string("SetStatusText Reading bank ( 1%)"));
    QCOMPARE(calls[3], std::string("SetPatchName 1"));
    QCOMPARE(calls[2 + 73 * 2 + 1], std::string("SetPatchName 74"));
    const std::vector<std::string> tail(calls.end() - 6, calls.end());
    QCOMPARE(tail, (std::vector<std::string>{"repaintEditor 3", "repaintEditor 60",
                                             "SetStatusText ", "SetMainCaption live.bbk",
                                             "selectFirstPatch", "ShowNormalPointer"}));
    QCOMPARE(w.host.RefreshPendingAtRepaint, (std::vector<int16_t>{kOn, kOn}));
    QCOMPARE(w.code.RefreshPending, kOff);

    const auto& status = w.host.StatusTexts;
    QCOMPARE(status.size(), 75u);
    QCOMPARE(status[1], std::string("Reading bank ( 2%)"));   // 2.70
    QCOMPARE(status[36], std::string("Reading bank ( 50%)"));  // patch 37
    QCOMPARE(status[72], std::string("Reading bank ( 98%)"));  // 98.65
    QCOMPARE(status[73], std::string("Reading bank ( 100%)"));
    QCOMPARE(w.host.Caption, std::string("Quenlor 1.2.1 - live.bbk"));
    QCOMPARE(w.host.Path, path(file));
    for (int n = 1; n <= 74; ++n) {
        QVERIFY(holdsRecord(w.code, n, n));
        QCOMPARE(w.host.Names[n], "Patch " + std::to_string(n));
    }
}

void TestBankCommands::openBankSends_data() {
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<bool>("editorReady");
    QTest::addColumn<int>("patchesSent");
    // With automatic update: each patch as it is read, then patch 1 again; the list's
    // own send of patch 1 when its first row is selected comes on top.
    QTest::newRow("automatic update on") << true << true << 75;
    QTest::newRow("automatic update off") << false << true << 0;
    QTest::newRow("automatic update on, editor filling") << true << false << 0;
}

void TestBankCommands::openBankSends() {
    QFETCH(bool, autoUpdate);
    QFETCH(bool, editorReady);
    QFETCH(int, patchesSent);
    QTemporaryDir dir;
    World w(autoUpdate);
    w.code.EditorReady = editorReady ? kOn : kOff;
    const QString file = dir.filePath("b.bbk");
    QVERIFY(TestFiles::write(file, bankOf(74)));
    w.host.answerOpen(path(file));
    w.commands.OpenBank();
    QCOMPARE(w.sink.SysEx, patchesSent);
    QCOMPARE(w.sink.ProgramChanges, patchesSent);
    QCOMPARE(w.host.FirstPatchSelections, 1);
    if (patchesSent > 0) {
        World reference;
        reference.code.PatchBank = w.code.PatchBank;
        reference.code.SendPatch(1);
        QCOMPARE(w.sink.LastDump, reference.sink.LastDump);
    }
}

void TestBankCommands::partlyReadBank_data() {
    QTest::addColumn<QByteArray>("file");
    const QByteArray ten = bankOf(10);
    QTest::newRow("10 complete records, then the file ends") << ten;
    QTest::newRow("record 11 ends part-way") << ten + record("Half", 11).left(100);
    QTest::newRow("record 11 without its last value") << ten + record("Short", 11).chopped(5);
    QTest::newRow("40000 in record 11") << ten + recordWithValue("Big", 11, 30, " 40000");
    QTest::newRow("line end lost in record 11") << ten + record("Lost", 11, "\n");
}

void TestBankCommands::partlyReadBank() {
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    World w(true);
    w.host.Title = "old.bbk";
    w.host.Path = path(dir.filePath("old.bbk"));
    for (int n = 1; n <= 74; ++n)
        w.host.Names[n] = "Old " + std::to_string(n);
    const QString bankPath = dir.filePath("broken.bbk");
    QVERIFY(TestFiles::write(bankPath, file));
    w.host.answerOpen(path(bankPath));
    w.commands.OpenBank();

    for (int n = 1; n <= 10; ++n) {
        QVERIFY(holdsRecord(w.code, n, n));
        QCOMPARE(w.host.Names[n], "Patch " + std::to_string(n));
    }
    for (int n = 11; n <= 74; ++n) {
        QVERIFY2(isCleared(w.code, n), qPrintable(QString("patch %1").arg(n)));
        QCOMPARE(w.host.Names[n], "Old " + std::to_string(n));
    }
    QCOMPARE(w.host.Messages,
             std::vector<std::string>{"Unable to open file '" + path(bankPath) + "'."});
    // The progress went as far as the failure, and ends with the reading.
    QCOMPARE(w.host.StatusTexts.size(), 12u);
    QCOMPARE(w.host.StatusTexts[10], std::string("Reading bank ( 14%)"));
    QCOMPARE(w.host.StatusTexts.back(), std::string());
    QCOMPARE(w.host.Title, std::string("old.bbk"));
    QCOMPARE(w.host.FirstPatchSelections, 0);
    QCOMPARE(w.host.BusyPointers, 1);
    QCOMPARE(w.host.NormalPointers, 1);
    QVERIFY(w.host.Repaints.empty());
    QCOMPARE(w.sends(), 10);
    // The message comes once the pointer is normal again.
    QCOMPARE(w.host.Calls.back().rfind("showMessage ", 0), 0u);
}

void TestBankCommands::unreadableBank_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("damage"); // when not empty: made in the test, not from `file`
    QTest::newRow("line feeds only") << bankOf(74, "\n") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("one blank line") << QByteArray("\r\n") << "";
    QTest::newRow("65 empty lines") << QByteArray(65, '\r') << "";
    QTest::newRow("NUL bytes") << QByteArray(1 << 20, '\0') << "";
    QTest::newRow("32768 in record 1") << recordWithValue("x", 1, 1, "32768") + bankOf(73) << "";
    QTest::newRow("-32769 in record 1") << recordWithValue("x", 1, 2, "-32769") + bankOf(73) << "";
    QTest::newRow("1E400 in record 1") << recordWithValue("x", 1, 63, "1E400") + bankOf(73) << "";
    QTest::newRow("&HFFFFFFFF in record 1")
        << recordWithValue("x", 1, 40, "&HFFFFFFFF") + bankOf(73) << "";
    QTest::newRow("100 KiB name") << record(QByteArray(100 * 1024, 'n'), 1) + bankOf(73) << "";
    QTest::newRow("a folder") << QByteArray() << "folder";
    QTest::newRow("a file that vanished") << QByteArray() << "vanished";
    QTest::newRow("200 MiB without line ends") << QByteArray() << "huge without line ends";
}

void TestBankCommands::unreadableBank() {
    QFETCH(QByteArray, file);
    QFETCH(QString, damage);
    QTemporaryDir dir;
    World w(true);
    w.host.Title = "old.bbk";
    w.host.Path = path(dir.filePath("old.bbk"));
    w.host.Names[1] = "Keep";
    const Bank before = w.code.PatchBank;
    const QString bankPath = dir.filePath("bad.bbk");
    if (damage.isEmpty())
        QVERIFY(TestFiles::write(bankPath, file));
    else
        makeUnreadable(damage, bankPath);

    QElapsedTimer timer;
    timer.start();
    w.host.answerOpen(path(bankPath));
    w.commands.OpenBank();
    // A large file fails after its first 64 KiB, not after reading it all.
    QVERIFY(timer.elapsed() < 2000);

    QCOMPARE(w.host.Messages,
             std::vector<std::string>{"Unable to open file '" + path(bankPath) + "'."});
    QVERIFY(w.code.PatchBank == before);
    QCOMPARE(w.host.Names[1], std::string("Keep"));
    for (const auto& call : w.host.Calls)
        QVERIFY2(call.rfind("SetPatchName", 0) != 0 && call.rfind("SetMainCaption", 0) != 0,
                 call.c_str());
    QCOMPARE(w.host.Title, std::string("old.bbk"));
    QCOMPARE(w.host.BusyPointers, w.host.NormalPointers);
    QCOMPARE(w.sends(), 0);
}

void TestBankCommands::extraRecordsIgnored() {
    QTemporaryDir dir;
    World w;
    const QString file = dir.filePath("long.bbk");
    QVERIFY(TestFiles::write(file, bankOf(74) + record("75th", 75) + QByteArray(100000, '\x01')));
    w.host.answerOpen(path(file));
    w.commands.OpenBank();
    QVERIFY(w.host.Messages.empty());
    QVERIFY(holdsRecord(w.code, 74, 74));
    QCOMPARE(w.host.Title, std::string("long.bbk"));
}


QTEST_GUILESS_MAIN(TestBankCommands)
