#pragma once

#include "FakeStorageHost.h"
#include "TestFiles.h"
#include "core/QuenlorCode.h"
#include "storage/BankCommands.h"

#include <QTest>
#include <sys/stat.h>

namespace BankCommandsTesting {

inline const std::string kBankFilter = "Bit-01 banks (*.bbk)|*.bbk|All files|*.*";
inline const std::string kPatchFilter = "Bit-01 patches (*.b01)|*.b01|All files|*.*";

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

inline std::string path(const QString& p) { return p.toStdString(); }
inline QByteArray bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

// A distinct value for every patch and parameter, fitting the parameter's range.
inline int16_t valueFor(int seed, int parameter) { return int16_t((seed * 7 + parameter) % 64); }

inline QByteArray valueLine(int value) {
    return (value < 0 ? "" : " ") + QByteArray::number(value) + "\r\n";
}

// A record written by hand, independent of the writer under test.
inline QByteArray record(const QByteArray& name, int seed, const QByteArray& end = "\r\n") {
    QByteArray r = "Name" + end + name + end + "Data" + end;
    for (int p = 1; p <= 63; ++p)
        r += valueLine(valueFor(seed, p)).replace("\r\n", end);
    return r;
}

// The same record with the value line of one parameter replaced by `text`.
inline QByteArray recordWithValue(const QByteArray& name, int seed, int parameter,
                           const QByteArray& text) {
    QList<QByteArray> lines = record(name, seed).split('\n');
    lines[2 + parameter] = text + "\r";
    return lines.join('\n');
}

inline QByteArray clearedRecord() {
    QByteArray r = "Name\r\n\r\nData\r\n";
    for (int p = 1; p <= 63; ++p)
        r += valueLine(p == 24 || p == 35 ? 1 : 0);
    return r;
}

// A bank of `count` records, record n named "Patch n" with values valueFor(n, p).
inline QByteArray bankOf(int count, const QByteArray& end = "\r\n") {
    QByteArray bank;
    for (int n = 1; n <= count; ++n)
        bank += record("Patch " + QByteArray::number(n), n, end);
    return bank;
}

inline bool holdsRecord(const QuenlorCode& code, int patch, int seed) {
    for (int p = 1; p <= 63; ++p)
        if (code.PatchBank(patch, p) != valueFor(seed, p))
            return false;
    return true;
}

inline bool isCleared(const QuenlorCode& code, int patch) {
    for (int p = 1; p <= 63; ++p)
        if (code.PatchBank(patch, p) != ((p == 24 || p == 35) ? 1 : 0))
            return false;
    return true;
}

// Puts a failing file (or non-file) at `where` for the given kind of damage.
inline void makeUnreadable(const QString& kind, const QString& where) {
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

} // namespace BankCommandsTesting

using namespace BankCommandsTesting;

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
