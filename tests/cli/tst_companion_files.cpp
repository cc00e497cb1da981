// The companion's commands on files: check, syx and import.
#include "tst_companion.h"

void TestCompanion::check_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("status");

    const QByteArray good = bank();
    QTest::newRow("good bank") << good << "bank.bbk"
                               << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("varied bank") << variedBank() << "bank.bbk"
                                 << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("values at their limits")
        << bank(
               {{74, {{10, 63}, {31, 11}, {32, 30}, {42, 11}, {43, 30}, {4, 1}, {24, 0}, {27, 1}}}})
        << "bank.bbk"
        << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("more than 74 records") << good + record("extra", {{10, 99}}) << "bank.bbk"
                                          << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("good patch file") << record("Pad", {{10, 40}}) << "pad.b01"
                                     << "loads (1 patch)" << QStringList{} << 0;
    QTest::newRow("patch file, any case") << record("Pad") << "PAD.B01"
                                          << "loads (1 patch)" << QStringList{} << 0;

    // Record 11 of 74 cut after the value line of parameter 22 (line 25).
    QTest::newRow("truncated in a record") << good.left(10 * 266 + 14 + 22 * 4) << "bank.bbk"
                                           << "does not load"
                                           << QStringList{"bank.bbk: record 11, line 26 (parameter "
                                                          "23): the file ends before this line"}
                                           << 1;
    QTest::newRow("truncated in a value line")
        << good.left(10 * 266 + 14 + 22 * 4 + 2) << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 11, line 27 (parameter 24): the file ends before this "
                       "line"}
        << 1;
    QTest::newRow("truncated after a record")
        << good.left(73 * 266) << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 74, line 1: the file ends before this line"} << 1;
    QTest::newRow("truncated after the name")
        << good.left(6 + 2) << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 1, line 3: the file ends before this line"} << 1;
    QTest::newRow("empty file")
        << QByteArray() << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 1, line 1: the file ends before this line"} << 1;
    QTest::newRow("patch file of 40 value lines")
        << record("Pad").left(17 + 40 * 4) << "pad.b01"
        << "does not load"
        << QStringList{"pad.b01: record 1, line 44 (parameter 41): the file ends before this line"}
        << 1;
    QTest::newRow("line feeds alone")
        << QByteArray(good).replace("\r\n", "\n") << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 1, line 2: the file ends before this line "
                       "(its lines end with a line feed alone; the program needs CR LF)"}
        << 1;
    QByteArray wide = good;
    wide.replace(266 * 4 + 14, 4, "40000\r\n");
    QTest::newRow("value beyond 16 bits") << wide << "bank.bbk"
                                          << "does not load"
                                          << QStringList{"bank.bbk: record 5, line 4 (parameter "
                                                         "1): value \"40000\" does not fit 16 bits"}
                                          << 1;
    QByteArray longLine = good;
    longLine.insert(266 * 2 + 6, QByteArray(70000, 'x'));
    QTest::newRow("name line too long")
        << longLine << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 3, line 2: line longer than 65536 bytes"} << 1;
    QTest::newRow("too long at the very end")
        << good.left(73 * 266 + 6) + QByteArray(70000, 'y') << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 74, line 2: line longer than 65536 bytes"} << 1;

    QTest::newRow("out of range")
        << bank({{12, {{37, 5}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 12, line 40 (parameter 37): value 5 outside 0..1"} << 1;
    QTest::newRow("range limits plus one")
        << bank({{1, {{10, 64}, {31, 12}, {32, 31}, {43, -1}}}}) << "bank.bbk"
        << "loads (74 patches), 4 faults in the patches read"
        << QStringList{"bank.bbk: record 1, line 13 (parameter 10): value 64 outside 0..63",
                       "bank.bbk: record 1, line 34 (parameter 31): value 12 outside 0..11",
                       "bank.bbk: record 1, line 35 (parameter 32): value 31 outside 0..30",
                       "bank.bbk: record 1, line 46 (parameter 43): value -1 outside 0..30"}
        << 1;
    QTest::newRow("16-bit limits")
        << bank({{2, {{8, 32767}, {9, -32768}}}}) << "bank.bbk"
        << "loads (74 patches), 2 faults in the patches read"
        << QStringList{"bank.bbk: record 2, line 11 (parameter 8): value 32767 outside 0..63",
                       "bank.bbk: record 2, line 12 (parameter 9): value -32768 outside 0..63"}
        << 1;
    QTest::newRow("two octaves set")
        << bank({{30, {{24, 0}, {25, 1}, {27, 1}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 30, line 30 (parameter 27): choice 24..27 has more than "
                       "one member set: 25, 27"}
        << 1;
    QTest::newRow("first octave and another")
        << bank({{7, {{36, 1}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 7, line 39 (parameter 36): choice 35..38 has more than "
                       "one member set: 35, 36"}
        << 1;
    QTest::newRow("two LFO waves")
        << record("Pad", {{53, 1}, {54, 1}, {55, 1}}) << "pad.b01"
        << "loads (1 patch), 1 fault in the patches read"
        << QStringList{"pad.b01: record 1, line 58 (parameter 55): choice 53..55 has more than one "
                       "member set: 53, 54, 55"}
        << 1;
    QTest::newRow("flag of 2")
        << record("Pad", {{2, 2}}) << "pad.b01"
        << "loads (1 patch), 1 fault in the patches read"
        << QStringList{"pad.b01: record 1, line 5 (parameter 2): value 2 outside 0..1"} << 1;
    // An octave must be chosen; an LFO may have no waveform.
    QTest::newRow("no octave set")
        << bank({{5, {{24, 0}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 5, line 27 (parameter 24): choice 24..27 has no member "
                       "set; it needs one"}
        << 1;
    QTest::newRow("every value 0")
        << record("Zero", {{24, 0}, {35, 0}}) << "zero.b01"
        << "loads (1 patch), 2 faults in the patches read"
        << QStringList{"zero.b01: record 1, line 27 (parameter 24): choice 24..27 has no member "
                       "set; it needs one",
                       "zero.b01: record 1, line 38 (parameter 35): choice 35..38 has no member "
                       "set; it needs one"}
        << 1;
    QTest::newRow("no LFO waveform is no fault") << record("Pad", {{1, 0}, {53, 0}}) << "pad.b01"
                                                 << "loads (1 patch)" << QStringList{} << 0;
    // The patches read before the failure are loaded, so their faults count too.
    QTest::newRow("faults before a failure")
        << bank({{2, {{45, 64}}}}).left(5 * 266) << "bank.bbk"
        << "does not load, 1 fault in the patches read"
        << QStringList{"bank.bbk: record 2, line 48 (parameter 45): value 64 outside 0..63",
                       "bank.bbk: record 6, line 1: the file ends before this line"}
        << 1;
}

void TestCompanion::check() {
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    QFETCH(QString, verdict);
    QFETCH(QStringList, messages);
    QFETCH(int, status);
    const QString file = made(name, content);
    Run run;
    QCOMPARE(run({"check", file}), status);
    QCOMPARE(run.output(), file + ": " + verdict + "\n");
    QStringList expected;
    for (const QString& message : messages)
        expected << path(message);
    QCOMPARE(run.errors(), expected.isEmpty() ? QString() : expected.join('\n') + '\n');
    QVERIFY(run.systemsAsked.isEmpty()); // a check never opens the MIDI system
}

void TestCompanion::checkSeveralFiles() {
    const QString good = made("good.bbk", bank());
    const QString odd = made("odd.bbk", bank({{3, {{25, 1}}}}));
    const QString missing = path("missing.bbk");
    Run run;
    QCOMPARE(run({"check", good, missing, odd, good}), 1);
    QCOMPARE(run.output(), good + ": loads (74 patches)\n" + missing + ": does not load\n" + odd +
                               ": loads (74 patches), 1 fault in the patches read\n" + good +
                               ": loads (74 patches)\n");
    QCOMPARE(run.errors(), missing + ": cannot be opened: No such file or directory\n" + odd +
                               ": record 3, line 28 (parameter 25): choice 24..27 has more than "
                               "one member set: 24, 25\n");

    Run folder;
    QCOMPARE(folder({"check", m_dir->path()}), 1);
    QCOMPARE(folder.errors(), m_dir->path() + ": is a folder\n");
}

void TestCompanion::syxSameBytesAsTheProgram_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("bit99");
    QTest::newRow("patch 1, defaults") << "varied.bbk" << 1 << 0 << false;
    QTest::newRow("patch 7, channel 10, Bit 99") << "varied.bbk" << 7 << 10 << true;
    QTest::newRow("patch 74, channel 16") << "varied.bbk" << 74 << 16 << false;
    QTest::newRow("patch 37, channel 1, Bit 99") << "varied.bbk" << 37 << 1 << true;
    QTest::newRow("values outside their range") << "wild.bbk" << 2 << 5 << false;
    QTest::newRow("patch file") << "pad.b01" << 0 << 3 << false;
}

void TestCompanion::syxSameBytesAsTheProgram() {
    QFETCH(QString, file);
    QFETCH(int, patch);
    QFETCH(int, channel);
    QFETCH(bool, bit99);
    made("varied.bbk", variedBank());
    made("wild.bbk", bank({{2, {{10, 200}, {31, -4}, {45, 99}, {1, 1}, {3, 1}, {26, 1}, {7, 2}}}}));
    made("pad.b01", record("Pad", {{10, 63}, {32, 30}, {24, 0}, {26, 1}, {31, 7}, {45, 63}}));

    QStringList args{"syx", path(file), "-o", path("out.syx")};
    if (patch) args << "--patch" << QString::number(patch);
    if (channel) args << "--channel" << QString::number(channel);
    if (bit99) args << "--bit99";
    Run run;
    QCOMPARE(run(args), 0);
    QCOMPARE(run.errors(), QString());
    const std::vector<Bytes> sent =
        sentByTheProgram(path(file), patch ? patch : 1, channel ? channel : 1, bit99);
    QCOMPARE(sent.size(), std::size_t(2)); // the dump, then Program Change 0
    QCOMPARE(bytesOf(CompanionFiles::read(path("out.syx"))), sent[0]);
    QCOMPARE(sent[0].size(), std::size_t(80));
}

void TestCompanion::syxWholeBankInOrder() {
    const QString file = made("varied.bbk", variedBank());
    Run run;
    QCOMPARE(run({"syx", file, "--channel", "2", "-o", path("bank.syx")}), 0);
    const QByteArray written = CompanionFiles::read(path("bank.syx"));
    QCOMPARE(written.size(), 74 * 80);
    for (int patch = 1; patch <= 74; ++patch) {
        const Bytes dump = bytesOf(written.mid((patch - 1) * 80, 80));
        QCOMPARE(dump, sentByTheProgram(file, patch, 2, 0).at(0));
        QCOMPARE(dump[2], uint8_t(0x11));
    }
    // Every patch differs, so a dump out of place shows.
    QVERIFY(written.mid(0, 80) != written.mid(80, 80));
}

void TestCompanion::syxRefusesAFileThatDoesNotLoad() {
    const QString file = made("short.bbk", bank().left(10 * 266));
    const QString out = made("out.syx", "kept");
    Run run;
    QCOMPARE(run({"syx", file, "-o", out}), 1);
    QCOMPARE(run.errors(),
             "quenlor-sysex: " + file + ": record 11, line 1: the file ends before this line\n");
    QCOMPARE(CompanionFiles::read(out), QByteArray("kept"));

    Run noFolder;
    QCOMPARE(noFolder({"syx", made("good.bbk", bank()), "-o", path("no/such/folder.syx")}), 1);
    QCOMPARE(noFolder.errors(),
             "quenlor-sysex: cannot write '" + path("no/such/folder.syx") + "'\n");

    Run patchOfAPatchFile;
    QCOMPARE(patchOfAPatchFile({"syx", made("pad.b01", record("Pad")), "--patch", "2", "-o", out}),
             2);
    QCOMPARE(patchOfAPatchFile.errors(),
             QStringLiteral("quenlor-sysex: a patch file holds one patch; --patch can only be 1\n"
                            "Try 'quenlor-sysex --help'.\n"));
}

void TestCompanion::syxToStandardOutput() {
    const QString file = made("pad.b01", record("Pad"));
    Run run;
    QCOMPARE(run({"syx", file, "-o", "-"}), 0);
    const std::string bytes = run.out.str();
    // The new patch's dump: all zero nibbles but offset 16, the detune's marker bit.
    Bytes expected(80, 0);
    expected[0] = 0xF0;
    expected[1] = 0x25;
    expected[2] = 0x10;
    expected[3] = 0x07;
    expected[16] = 0x08;
    expected[79] = 0xF7;
    QCOMPARE(Bytes(bytes.begin(), bytes.end()), expected);
}

namespace {
// The dumps of a bank file as the companion's syx writes them.
QByteArray syxOf(const QString& bankFile, const QString& out, const QStringList& options = {}) {
    Run run;
    run(QStringList{"syx", bankFile, "-o", out} + options);
    return CompanionFiles::read(out);
}

// The bank file the import should write: the records of the source bank in order, each
// named after the imported file, and new patches after them.
QByteArray renamed(const QByteArray& source, int first, int count, const QByteArray& stem) {
    QList<QByteArray> records;
    for (int at = 0; at >= 0;) {
        const int next = source.indexOf("Name\r\n", at + 1);
        records << source.mid(at, next < 0 ? -1 : next - at);
        at = next;
    }
    QByteArray text;
    for (int r = 0; r < count; ++r) {
        const QByteArray& one = records.at(first - 1 + r);
        text += "Name\r\n" + stem + (count > 1 ? " " + QByteArray::number(r + 1) : "") +
                one.mid(one.indexOf("\r\n", 6));
    }
    for (int r = count; r < 74; ++r)
        text += record();
    return text;
}
} // namespace

void TestCompanion::exportMatchesSyx_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("bit99");
    QTest::newRow("channel 1") << 1 << false;
    QTest::newRow("channel 16, Bit 99") << 16 << true;
}

// File > Export Bank as SysEx writes the very bytes of the companion's syx, and says in
// the status bar that the names are not in them.
void TestCompanion::exportMatchesSyx() {
    QFETCH(int, channel);
    QFETCH(bool, bit99);
    const QString bankFile = made("varied.bbk", variedBank());
    QuenlorCode code;
    code.InitPatchModel();
    QVERIFY(loadFile(bankFile.toStdString(), code.PatchBank).loads());
    code.MIDIChannelOut = int16_t(channel);
    code.Bit99Compatible = bit99 ? 1 : 0;
    FakeStorageHost host;
    host.answerSave(path("window.syx").toStdString());
    QVERIFY(BankCommands(code, host).exportBankAsSysEx());
    QCOMPARE(host.SaveSetups.back().Filter,
             std::string("SysEx files (*.syx)|*.syx|All files|*.*"));
    QCOMPARE(host.StatusTexts, std::vector<std::string>{"Patch names are not part of SysEx "
                                                        "dumps; Save Bank keeps them."});
    QStringList options{"--channel", QString::number(channel)};
    if (bit99)
        options << "--bit99";
    const QByteArray fromSyx = syxOf(bankFile, path("companion.syx"), options);
    QCOMPARE(fromSyx.size(), 74 * 80);
    QCOMPARE(CompanionFiles::read(path("window.syx")), fromSyx);
}

void TestCompanion::importWritesTheBank_data() {
    QTest::addColumn<QString>("source");      // raw, raw with junk, midi
    QTest::addColumn<QStringList>("options"); // of the syx that makes the dumps
    QTest::addColumn<int>("first");           // first patch of the bank in the file
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("stem"); // of the file's name
    QTest::newRow("whole bank") << "raw" << QStringList{} << 1 << 74 << "Strings";
    QTest::newRow("Bit 99 on channel 16")
        << "raw" << QStringList{"--bit99", "--channel", "16"} << 1 << 74 << "Strings";
    QTest::newRow("one patch") << "raw" << QStringList{"--patch", "7"} << 7 << 1 << "Strings";
    QTest::newRow("junk between") << "junk" << QStringList{} << 1 << 74 << "Strings";
    QTest::newRow("MIDI file") << "midi" << QStringList{} << 1 << 74 << "Strings";
    QTest::newRow("non-ASCII file name") << "raw" << QStringList{} << 1 << 74 << "B\u00e4sse";
}

// The values saved after an import equal the source patches, named after the file.
void TestCompanion::importWritesTheBank() {
    QFETCH(QString, source);
    QFETCH(QStringList, options);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, stem);
    const QByteArray bankText = variedBank();
    QByteArray dumps = syxOf(made("varied.bbk", bankText), path("made.syx"), options);
    QCOMPARE(dumps.size(), count * 80);
    if (source == "junk")
        for (int at = dumps.size() - 80; at > 0; at -= 80)
            dumps.insert(at, QByteArray::fromHex("00904040F8") + "junk");
    const QString in = made(stem + (source == "midi" ? ".mid" : ".syx"),
                            source == "midi" ? midiFileOf(dumps) : dumps);
    Run run;
    QCOMPARE(run({"import", in, "-o", path("out.bbk")}), 0);
    QCOMPARE(run.errors(), QString());
    QCOMPARE(CompanionFiles::read(path("out.bbk")),
             renamed(bankText, first, count, stem.toLatin1()));
}

// Past the 1024 reasons kept, the import says how many more there were.
void TestCompanion::importNamesEveryReasonLeftOut() {
    const QByteArray good = syxOf(made("b.bbk", bank()), path("b.syx"), {"--patch", "1"});
    const QString in = made("many.syx", QByteArray::fromHex("F0F7").repeated(1100) + good);
    Run run;
    QCOMPARE(run({"import", in, "-o", path("out.bbk")}), 0);
    QVERIFY(run.errors().endsWith(": offset 2046: an empty message\n" + in + ": and 76 more\n"));
}

void TestCompanion::checkSysEx_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("errors");
    QByteArray bad = syxOf(made("b.bbk", bank()), path("b.syx"), {"--patch", "1"});
    bad[9] = 0x0D; // parameter 10 in bits 2..7: the low bits must stay clear
    QTest::newRow("good") << syxOf(made("v.bbk", variedBank()), path("v.syx")) << 0 << "74 patches"
                          << "";
    QTest::newRow("bad byte") << bad + bad << 1 << "0 patches, 2 messages skipped"
                              << "offset 9: data byte 0x0D of parameter 10 has bits 0-1 set\n"
                                 "offset 89: data byte 0x0D of parameter 10 has bits 0-1 set\n";
    QTest::newRow("nothing") << QByteArray("text") << 1 << "0 patches"
                             << "";
}

void TestCompanion::checkSysEx() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, verdict);
    QFETCH(QString, errors);
    const QString file = made("dumps.SYX", bytes);
    Run run;
    QCOMPARE(run({"check", file}), status);
    QCOMPARE(run.output(), file + ": " + verdict + "\n");
    QString expected;
    for (const QString& line : errors.split('\n', Qt::SkipEmptyParts))
        expected += file + ": " + line + "\n";
    QCOMPARE(run.errors(), expected);
}
