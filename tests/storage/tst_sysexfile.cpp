#include "core/QuenlorCode.h"
#include "storage/SysExFile.h"
#include "storage/TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <random>

using Bytes = QByteArray;

// SysEx files as the import reads them: raw messages and Standard MIDI Files, good ones
// and hostile ones, judged by the dumps found and the messages skipped with a reason.
class TestSysExFile : public QObject {
    Q_OBJECT
private slots:
    void rawFiles_data();
    void rawFiles();
    void midiFileEvents();
    void hostileInput_data();
    void hostileInput();
    void hugeFileRefusedUnread();
    void importedNames_data();
    void importedNames();
};

namespace {
// Patch n of a bank whose values depend on n, as sent on a channel with a header.
Bytes dumpOf(int n, int channel = 1, bool bit99 = false) {
    QuenlorCode code;
    code.InitPatchModel();
    std::mt19937 random(static_cast<unsigned>(n));
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (!switchGroupOf(p) && kParameterRows[p].MaxValue > 1)
            code.PatchBank(1, p) = int16_t(random() % (kParameterRows[p].MaxValue + 1));
    code.MIDIChannelOut = int16_t(channel);
    code.Bit99Compatible = bit99 ? 1 : 0;
    code.preparePatchDump(1);
    return Bytes(reinterpret_cast<const char*>(code.PatchDump.data()), 80);
}

SysExScan scan(const Bytes& bytes) {
    return scanSysEx(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}

Bytes bigEndian(uint32_t value, int count) {
    Bytes out;
    for (int i = count - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

Bytes quantity(uint32_t value) {
    Bytes out(1, char(value & 0x7F));
    while (value >>= 7)
        out.prepend(char(0x80 | (value & 0x7F)));
    return out;
}

// A format 0 file of one track holding the events (delta times included).
Bytes midiFile(const Bytes& events, int declaredTrackLength = -1) {
    const Bytes track = events + Bytes::fromHex("00FF2F00");
    return "MThd" + bigEndian(6, 4) + Bytes::fromHex("000000010060") + "MTrk" +
           bigEndian(uint32_t(declaredTrackLength < 0 ? track.size() : declaredTrackLength), 4) +
           track;
}

// A dump as a SysEx event: F0, the length, the bytes after F0.
Bytes sysExEvent(const Bytes& dump) {
    return Bytes::fromHex("00F0") + quantity(79) + dump.mid(1);
}
} // namespace

void TestSysExFile::rawFiles_data() {
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<int>("dumps");
    QTest::addColumn<int>("channel"); // of the last dump
    QTest::addColumn<bool>("bit99");
    QTest::addColumn<int>("skipped");
    Bytes many;
    for (int n = 1; n <= 80; ++n)
        many += dumpOf(n);
    QTest::newRow("one") << dumpOf(1) << 1 << 1 << false << 0;
    QTest::newRow("74") << many.left(74 * 80) << 74 << 1 << false << 0;
    QTest::newRow("80") << many << 80 << 1 << false << 0;
    QTest::newRow("Bit 99, channel 16") << dumpOf(1) + dumpOf(2, 16, true) << 2 << 16 << true << 0;
    QTest::newRow("channel 16") << dumpOf(3, 16) << 1 << 16 << false << 0;
    QTest::newRow("garbage between")
        << "junk" + dumpOf(1) + Bytes::fromHex("0090407F7E") + dumpOf(2) + "tail" << 2 << 1 << false
        << 0;
    QTest::newRow("other maker between")
        << dumpOf(1) + Bytes::fromHex("F0410010421240007F0041F7") + dumpOf(2) << 2 << 1 << false
        << 1;
    QTest::newRow("cut off by the next") << dumpOf(1).left(40) + dumpOf(2) << 1 << 1 << false << 1;
}

void TestSysExFile::rawFiles() {
    QFETCH(Bytes, file);
    QFETCH(int, dumps);
    QFETCH(int, channel);
    QFETCH(bool, bit99);
    QFETCH(int, skipped);
    const SysExScan found = scan(file);
    QVERIFY(!found.refused());
    QCOMPARE(int(found.DumpCount), dumps);
    QCOMPARE(int(found.SkippedCount), skipped);
    QCOMPARE(found.Dumps.back().Patch.Channel, channel);
    QCOMPARE(found.Dumps.back().Patch.Bit99, bit99);
    // Each dump found is the one at its offset, value for value.
    for (const FoundDump& dump : found.Dumps) {
        const Bytes source = file.mid(int(dump.Offset), 80);
        QuenlorCode code;
        code.InitPatchModel();
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(1, p) = dump.Patch.Values[size_t(p)];
        code.MIDIChannelOut = int16_t(dump.Patch.Channel);
        code.Bit99Compatible = dump.Patch.Bit99 ? 1 : 0;
        code.preparePatchDump(1);
        QCOMPARE(Bytes(reinterpret_cast<const char*>(code.PatchDump.data()), 80), source);
    }
}

// Dumps as whole events, as one split over an F0 and two F7 events, with channel events
// in running status and meta events between them.
void TestSysExFile::midiFileEvents() {
    const Bytes split = dumpOf(3);
    const Bytes events = sysExEvent(dumpOf(1)) + Bytes::fromHex("00903C40") +
                         Bytes::fromHex("103E40") + Bytes::fromHex("00FF030454657374") +
                         sysExEvent(dumpOf(2)) + Bytes::fromHex("00F0") + quantity(30) +
                         split.mid(1, 30) + "\x05\xF7" + quantity(30) + split.mid(31, 30) +
                         "\x05\xF7" + quantity(19) + split.mid(61);
    const SysExScan found = scan(midiFile(events));
    QVERIFY(found.StandardMidiFile);
    QCOMPARE(int(found.SkippedCount), 0);
    QCOMPARE(int(found.DumpCount), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY(scan(dumpOf(i + 1)).Dumps.front().Patch.Values ==
                found.Dumps[size_t(i)].Patch.Values);
}

void TestSysExFile::hostileInput_data() {
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<int>("dumps");
    QTest::addColumn<QString>("reason"); // in the first reason with its offset, or the refusal
    const Bytes good = sysExEvent(dumpOf(1));
    Bytes huge(70000, '\x01');
    huge[0] = char(0xF0);
    huge[1] = char(0x25);
    huge[huge.size() - 1] = char(0xF7);
    QTest::newRow("cut off at the end") << dumpOf(1) + dumpOf(2).left(79) << 1 << "end of the file";
    QTest::newRow("other maker") << Bytes::fromHex("F04100F7") << 0 << "another maker";
    QTest::newRow("over 64 KiB") << huge + dumpOf(1) << 1 << "64 KiB";
    QTest::newRow("bad data byte") << Bytes(dumpOf(1)).replace(5, 1, "\x03") << 0 << "parameter 12";
    QTest::newRow("wrong length") << dumpOf(1).left(60) + "\xF7" << 0 << "80 bytes";
    QTest::newRow("track longer than the file") << midiFile(good, 100000) << 1 << "claims 100000";
    QTest::newRow("track shorter than its events")
        << midiFile(good + good, 40) + good << 0 << "longer than the rest";
    QTest::newRow("running status with none")
        << midiFile(Bytes::fromHex("003C40") + good) << 0 << "status belongs";
    QTest::newRow("endless length")
        << midiFile(Bytes::fromHex("00F0FFFFFFFF01") + good) << 0 << "more than four";
    QTest::newRow("event past the track")
        << midiFile(Bytes::fromHex("00F0") + quantity(5000) + good) << 0 << "longer than the rest";
    QTest::newRow("system byte in a track")
        << midiFile(Bytes::fromHex("00F301") + good) << 0 << "cannot hold";
    QTest::newRow("header cut off") << Bytes("MThd\x00\x00", 6) << 0 << "cut off";
    QTest::newRow("header too short") << midiFile(good).replace(7, 1, "\x02") << 0 << "damaged";
    QTest::newRow("split never finished")
        << midiFile(Bytes::fromHex("00F0") + quantity(10) + dumpOf(1).mid(1, 10)) << 0
        << "never finished";
    QTest::newRow("unknown chunk skipped")
        << midiFile(good).insert(14, "XTra" + bigEndian(3, 4) + "abc") << 1 << "";
    const Bytes one = dumpOf(1);
    Bytes clocked = one; // every real-time byte, a sequencer's clock among them
    for (int byte = 0xF8; byte <= 0xFF; ++byte)
        clocked.insert(10 * (byte - 0xF7), char(byte));
    QTest::newRow("real-time bytes in a dump") << clocked + one << 2 << "";
    QTest::newRow("dump in an escape event") << midiFile(Bytes::fromHex("00F750") + one) << 1 << "";
    QTest::newRow("cut off in an escape event")
        << midiFile(Bytes::fromHex("00F728") + one.left(40)) << 0 << "end of its escape event";
    QTest::newRow("dump after End of Track")
        << midiFile(good + Bytes::fromHex("00FF2F00") + good) << 2 << "";
    QTest::newRow("zeros after End of Track")
        << midiFile(good, int(good.size()) + 11) + Bytes(7, '\0') << 1 << "";
    QTest::newRow("running status after meta")
        << midiFile(Bytes::fromHex("00903C4000FF0100003E40") + good) << 1 << "";
    QTest::newRow("empty message")
        << Bytes::fromHex("F0F7") + one << 1 << "offset 0: an empty message";
    Bytes bad = one;
    bad[9] = 0x0D; // parameter 10 in bits 2..7: the low bits must stay clear
    QTest::newRow("offset of a byte refused past lengths and a clock")
        << midiFile(Bytes::fromHex("00F004") + bad.mid(1, 4) + Bytes::fromHex("00F74C") +
                    Bytes(bad.mid(5)).insert(2, "\xF8"))
        << 0 << "offset 37: data byte 0x3D";
}

void TestSysExFile::hostileInput() {
    QFETCH(Bytes, file);
    QFETCH(int, dumps);
    QFETCH(QString, reason);
    const SysExScan found = scan(file);
    QCOMPARE(int(found.DumpCount), dumps);
    const std::string first = found.refused()         ? found.Refusal
                              : found.Skipped.empty() ? std::string()
                                                      : formatSkipped(found.Skipped.front());
    QVERIFY2(QString::fromStdString(first).contains(reason), first.c_str());
    QCOMPARE(reason.isEmpty(), first.empty());
}

// A 1 GiB file is refused by its size, without reading it.
void TestSysExFile::hugeFileRefusedUnread() {
    QTemporaryDir dir;
    const QString path = dir.filePath("huge.syx");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 30));
    }
    QElapsedTimer timer;
    timer.start();
    const SysExScan found = readSysExFile(path.toStdString());
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(found.refused());
    QVERIFY(found.Refusal.find("16 MiB") != std::string::npos);

    QVERIFY(TestFiles::write(path, dumpOf(1) + dumpOf(2)));
    QCOMPARE(int(readSysExFile(path.toStdString()).DumpCount), 2);
    QVERIFY(readSysExFile(dir.filePath("none.syx").toStdString()).refused());
}

void TestSysExFile::importedNames_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("name");
    QTest::newRow("one") << "/a/b/Brass.syx" << 0 << 1 << "Brass";
    QTest::newRow("several") << "/a/b/Brass.syx" << 11 << 74 << "Brass 12";
    QTest::newRow("two dots") << "pads.v2.mid" << 0 << 1 << "pads.v2";
    QTest::newRow("hidden file") << "/x/.syx" << 0 << 1 << ".syx";
    QTest::newRow("dotted folder") << "/x.y/pads" << 1 << 2 << "pads 2";
}

void TestSysExFile::importedNames() {
    QFETCH(QString, path);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, name);
    QCOMPARE(
        QString::fromStdString(importedPatchName(path.toStdString(), size_t(index), size_t(count))),
        name);
}

QTEST_GUILESS_MAIN(TestSysExFile)
#include "tst_sysexfile.moc"
