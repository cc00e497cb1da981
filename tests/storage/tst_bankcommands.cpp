#include "FakeStorageHost.h"
#include "TestFiles.h"
#include "core/QuenlorCode.h"
#include "storage/BankCommands.h"

#include <QTest>
#include <sys/stat.h>

namespace {

const std::string kBankFilter = "Bit-01 banks (*.bbk)|*.bbk|All files|*.*";
const std::string kPatchFilter = "Bit-01 patches (*.b01)|*.b01|All files|*.*";

// The program as the bank commands see it: a fresh bank, the windows faked, the MIDI
// output recorded, the main window's start-up done (EditorReady on).
struct World {
    QuenlorCode code;
    FakeStorageHost host;
    RecordingSink sink;
    BankCommands commands{code, host};

    explicit World(bool autoUpdate = false) {
        code.InitPatchModel();
        code.EditorReady = kOn;
        code.AutoUpdate = autoUpdate ? kOn : kOff;
        code.Midi = &sink;
        host.RefreshPending = &code.RefreshPending;
    }
    int sends() const { return sink.SysEx; }
};

std::string path(const QString& p) { return p.toStdString(); }
QByteArray bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

// A distinct value for every patch and parameter, fitting the parameter's range.
int16_t valueFor(int seed, int parameter) { return int16_t((seed * 7 + parameter) % 64); }

QByteArray valueLine(int value) {
    return (value < 0 ? "" : " ") + QByteArray::number(value) + "\r\n";
}

// A record written by hand, independent of the writer under test.
QByteArray record(const QByteArray& name, int seed, const QByteArray& end = "\r\n") {
    QByteArray r = "Name" + end + name + end + "Data" + end;
    for (int p = 1; p <= 63; ++p)
        r += valueLine(valueFor(seed, p)).replace("\r\n", end);
    return r;
}

// The same record with the value line of one parameter replaced by `text`.
QByteArray recordWithValue(const QByteArray& name, int seed, int parameter,
                           const QByteArray& text) {
    QList<QByteArray> lines = record(name, seed).split('\n');
    lines[2 + parameter] = text + "\r";
    return lines.join('\n');
}

QByteArray clearedRecord() {
    QByteArray r = "Name\r\n\r\nData\r\n";
    for (int p = 1; p <= 63; ++p)
        r += valueLine(p == 24 || p == 35 ? 1 : 0);
    return r;
}

// A bank of `count` records, record n named "Patch n" with values valueFor(n, p).
QByteArray bankOf(int count, const QByteArray& end = "\r\n") {
    QByteArray bank;
    for (int n = 1; n <= count; ++n)
        bank += record("Patch " + QByteArray::number(n), n, end);
    return bank;
}

bool holdsRecord(const QuenlorCode& code, int patch, int seed) {
    for (int p = 1; p <= 63; ++p)
        if (code.PatchBank(patch, p) != valueFor(seed, p))
            return false;
    return true;
}

bool isCleared(const QuenlorCode& code, int patch) {
    for (int p = 1; p <= 63; ++p)
        if (code.PatchBank(patch, p) != ((p == 24 || p == 35) ? 1 : 0))
            return false;
    return true;
}

// Puts a failing file (or non-file) at `where` for the given kind of damage.
void makeUnreadable(const QString& kind, const QString& where) {
    if (kind == "folder") {
        QVERIFY(QDir().mkdir(where));
    } else if (kind == "vanished") {
        QVERIFY(TestFiles::write(where, bankOf(74)));
        QVERIFY(QFile::remove(where));
    } else if (kind == "huge without line ends") {
        // 200 MiB of NUL bytes, sparse, so the test costs no disk space.
        QFile file(where);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(200) * 1024 * 1024));
    } else {
        QFAIL(qPrintable("unknown damage " + kind));
    }
}

} // namespace

// The bank and patch commands on the windows' test doubles.
class TestBankCommands : public QObject {
    Q_OBJECT
private slots:
    void newBankSavesKnownBytes();
    void saveBankAsksOnlyWithoutAFile();
    void cancelledDialogsChangeNothing_data();
    void cancelledDialogsChangeNothing();
    void failedSaveAsStillNamesTheFile();
    void bankRoundTripKeepsEveryByte();
    void openBankOrder();
    void openBankSends_data();
    void openBankSends();
    void partlyReadBank_data();
    void partlyReadBank();
    void unreadableBank_data();
    void unreadableBank();
    void extraRecordsIgnored();
    void patchFileFromOnePatchToAnother();
    void unreadablePatchFile_data();
    void unreadablePatchFile();
    void bankFileAsPatchFile();
    void saveFailures_data();
    void saveFailures();
    void refreshOnlyOpenEditors();
    void importSysEx_data();
    void importSysEx();
};

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

QTEST_GUILESS_MAIN(TestBankCommands)
#include "tst_bankcommands.moc"
