// Saves that fail, the editors' refresh, and SysEx imported.
#include "tst_bankcommands.h"

void TestBankCommands::saveFailures_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("bank");
    const char* const places[] = {"missing folder", "read-only folder", "/dev/full",
                                  "disk fills up", "a folder as the file"};
    for (const char* place : places) {
        QTest::newRow(qPrintable(QString("bank, %1").arg(place))) << QString(place) << true;
        QTest::newRow(qPrintable(QString("patch, %1").arg(place))) << QString(place) << false;
    }
}

void TestBankCommands::saveFailures() {
    QFETCH(QString, where);
    QFETCH(bool, bank);
    QTemporaryDir dir;
    World w;
    for (int n = 1; n <= 74; ++n)
        w.host.Names[n] = "New " + std::to_string(n);
    const QByteArray old = "old bytes of the user's good bank\r\n";

    QString folder = dir.filePath("banks");
    QVERIFY(QDir().mkdir(folder));
    QString target = folder + "/live.bbk";
    if (where == "missing folder") {
        target = dir.filePath("gone/live.bbk");
    } else if (where == "/dev/full") {
        target = "/dev/full";
    } else if (where == "a folder as the file") {
        QVERIFY(QDir().mkdir(target));
    } else {
        QVERIFY(TestFiles::write(target, old));
    }
    const QStringList entriesBefore = TestFiles::entries(folder);

    bool ok = true;
    auto save = [&] {
        ok = bank ? w.commands.WriteBankFile(path(target))
                  : w.commands.WritePatchFile(1, "New", path(target));
    };
    if (where == "read-only folder") {
        QVERIFY(::chmod(folder.toLocal8Bit().constData(), 0555) == 0);
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
        const TestFiles::AsUnprivilegedUser nobody;
        if (!nobody.effective())
            QSKIP("running as root and unable to give it up: root may write into any folder");
        save();
    } else if (where == "disk fills up") {
        // Room for part of the file only: the bank fails in its first records, the patch
        // file within its values.
        const TestFiles::FileSizeLimit limit(bank ? 4096 : 100);
        QVERIFY(limit.effective());
        save();
    } else {
        save();
    }
    ::chmod(folder.toLocal8Bit().constData(), 0755);

    QVERIFY(!ok);
    QCOMPARE(w.host.Messages,
             std::vector<std::string>{"Error saving file '" + path(target) + "'."});
    if (where == "read-only folder" || where == "disk fills up")
        QCOMPARE(TestFiles::read(target), old);
    QCOMPARE(TestFiles::entries(folder), entriesBefore);
}

void TestBankCommands::refreshOnlyOpenEditors() {
    World w;
    w.host.EditorKinds[3] = 1;
    w.host.EditorKinds[9] = 2;
    w.host.EditorKinds[74] = 1;
    w.commands.RefreshAllEditors();
    QCOMPARE(w.host.Repaints, (std::vector<int>{3, 9, 74}));
    QCOMPARE(w.host.RefreshPendingAtRepaint, (std::vector<int16_t>{kOn, kOn, kOn}));
    QCOMPARE(w.code.RefreshPending, kOff);
    w.commands.RefreshEditor(5);
    QCOMPARE(w.host.Repaints.size(), 3u);
    QCOMPARE(w.code.RefreshPending, kOff);
}

namespace {
// A bank of in-range patches with one octave and at most one wave per group, all
// different, exported as SysEx on channel 5 with the Bit 99 header.
QByteArray exportedBank(World& source, const std::string& file) {
    for (int n = 1; n <= 74; ++n) {
        for (int p = 1; p <= 63; ++p)
            source.code.PatchBank(n, p) =
                int16_t((n * 13 + p * 7) % (kParameterRows[p].MaxValue + 1));
        for (const SwitchGroup& group : kSwitchGroups)
            for (int i = 0; i < group.Count; ++i)
                source.code.PatchBank(n, group.FirstMember + i) = i == n % group.Count ? 1 : 0;
    }
    source.code.MIDIChannelOut = 5;
    source.code.Bit99Compatible = 1;
    source.host.answerSave(file);
    return source.commands.exportBankAsSysEx() ? TestFiles::read(QString::fromStdString(file))
                                               : QByteArray();
}
} // namespace

// The dumps of an exported bank read back into a bank of new patches: the values equal
// the source patches, from the target on, named after the file.
void TestBankCommands::importSysEx_data() {
    QTest::addColumn<QString>("content"); // which dumps, and what else the file holds
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("first"); // source patch of the first dump
    QTest::addColumn<int>("count"); // patches imported
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("details"); // the reasons, up to ten, and how many more
    const QString reason = "offset %1: data byte 0x81 of parameter 45 has bit 0 set";
    QTest::newRow("whole bank") << "bank" << 1 << 1 << 74 << QString() << QString();
    QTest::newRow("from patch 70") << "part" << 70 << 1 << 5
                                   << "Imported 5 patches from '%1'.\n"
                                      "68 patches did not fit after patch 74."
                                   << "";
    QTest::newRow("one dump, junk and a bad one")
        << "one" << 3 << 9 << 1
        << "Imported 1 patch from '%1'.\n1 message was skipped:\n" + reason.arg(99)
        << reason.arg(99);
    QTest::newRow("none") << "none" << 1 << 1 << 0 << "No Bit 01 patches found in '%1'."
                          << QString();
    QStringList tenReasons;
    for (int at = 15; at < 800; at += 80)
        tenReasons << reason.arg(at);
    QTest::newRow("twelve bad ones")
        << "bad" << 1 << 1 << 0 << "No Bit 01 patches found in '%1'.\n12 messages were skipped."
        << tenReasons.join('\n') + "\nand 2 more";
}

void TestBankCommands::importSysEx() {
    QFETCH(QString, content);
    QFETCH(int, target);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, message);
    QFETCH(QString, details);
    QTemporaryDir dir;
    World source;
    QByteArray file = exportedBank(source, path(dir.filePath("bank.syx")));
    QCOMPARE(file.size(), 74 * 80);
    QByteArray bad = file.mid(0, 80);
    bad[15] = 0x01; // detune byte 0x81: bit 0 set
    bad[16] = 0x08;
    if (content == "one")
        file = file.mid((first - 1) * 80, 80) + "junk" + bad;
    else if (content == "none")
        file = "no dumps here";
    else if (content != "bank")
        file = content == "part" ? file.left(73 * 80) : bad.repeated(12);
    const std::string in = path(dir.filePath("Pads.syx"));
    QVERIFY(TestFiles::write(QString::fromStdString(in), file));

    World w(true);
    w.host.Names[2] = "kept";
    w.host.answerOpen(in);
    QCOMPARE(w.commands.importSysEx(target), count > 0);
    QCOMPARE(w.host.OpenSetups.back().Filter,
             std::string("SysEx files (*.syx *.mid)|*.syx *.mid|All files|*.*"));
    QCOMPARE(w.sends(), count);
    for (int n = 1; n <= 74; ++n) {
        const bool imported = n >= target && n < target + count;
        const int from = first + n - target;
        for (int p = 1; p <= 63; ++p)
            QCOMPARE(w.code.PatchBank(n, p),
                     imported ? source.code.PatchBank(from, p) : World().code.PatchBank(n, p));
        const std::string name =
            count == 1 ? "Pads" : "Pads " + std::to_string(n - target + 1);
        QCOMPARE(w.host.Names[n], imported ? name : n == 2 ? "kept" : "");
    }
    const std::vector<std::string> messages =
        message.isEmpty() ? std::vector<std::string>{}
                          : std::vector<std::string>{message.arg(in.c_str()).toStdString()};
    QCOMPARE(w.host.Messages, messages);
    QCOMPARE(QString::fromStdString(w.host.Details), details);
}

