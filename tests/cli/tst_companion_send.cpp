// The companion's sends and port lists on an in-memory MIDI system.
#include "tst_companion.h"

void TestCompanion::sendDumpThenProgramChange_data() {
    QTest::addColumn<SettingsStore::Pairs>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bit99");
    using Pairs = SettingsStore::Pairs;
    QTest::newRow("stored output, channel and header")
        << Pairs{{"MIDIOutPort", "Synth B"}, {"MIDIChannelOut", " 5"}, {"Bit99Compatible", "Yes"}}
        << QStringList{} << 1 << 1 << 5 << 1;
    QTest::newRow("options over the settings")
        << Pairs{{"MIDIOutPort", "Synth B"}, {"MIDIChannelOut", " 5"}}
        << QStringList{"--port", "Synth A", "--channel", "16", "--bit99", "--patch", "74"} << 0
        << 74 << 16 << 1;
    QTest::newRow("port given, nothing stored")
        << Pairs{} << QStringList{"--port=Synth B", "--patch=9"} << 1 << 9 << 1 << 0;
}

void TestCompanion::sendDumpThenProgramChange() {
    QFETCH(SettingsStore::Pairs, stored);
    QFETCH(QStringList, options);
    QFETCH(int, device);
    QFETCH(int, patch);
    QFETCH(int, channel);
    QFETCH(int, bit99);
    const QString file = made("varied.bbk", variedBank());
    Run run;
    for (const auto& [key, value] : stored)
        run.store.writeKey("MIDI", key, value);
    run.store.Writes.clear();
    QCOMPARE(run(QStringList{"send", file} + options), 0);
    QCOMPARE(run.errors(), QString());
    QCOMPARE(run.systemsAsked, QStringList{""});
    QVERIFY(run.store.Writes.empty()); // nothing is saved

    const std::vector<Bytes> expected = sentByTheProgram(file, patch, channel, bit99);
    QCOMPARE(run.midi.Sent.size(), std::size_t(2));
    QCOMPARE(run.midi.Sent[0].Data, expected[0]);
    QCOMPARE(run.midi.Sent[1].Data, (Bytes{uint8_t(0xC0 + channel - 1), 0}));
    QCOMPARE(run.midi.Sent[0].Device, device);
    QCOMPARE(run.midi.Sent[1].Device, device);
}

// The companion ends once the patch has left and its pause has passed, the pause given
// or stored: sends one after another in a script keep it.
void TestCompanion::sendEndsAfterThePause_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("pause");
    QTest::newRow("none") << QString() << QStringList{} << 0;
    QTest::newRow("stored") << " 40" << QStringList{} << 40;
    QTest::newRow("given over the stored") << " 40" << QStringList{"--pause", "2000"} << 2000;
}

void TestCompanion::sendEndsAfterThePause() {
    QFETCH(QString, stored);
    QFETCH(QStringList, options);
    QFETCH(int, pause);
    const QString file = made("varied.bbk", variedBank());
    Run run;
    run.store.writeKey("MIDI", "MIDIOutPort", "Synth A");
    if (!stored.isEmpty())
        run.store.writeKey("Timing", "PauseAfterPatch", stored);
    QCOMPARE(run(QStringList{"send", file} + options), 0);
    QCOMPARE(run.midi.Sent.size(), std::size_t(2));
    QCOMPARE(run.midi.Clock.now() - run.midi.Sent[0].Time,
             std::chrono::microseconds(82 * 320 + pause * 1000));
}

void TestCompanion::sendWithoutAnOutput_data() {
    QTest::addColumn<SettingsStore::Pairs>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    using Pairs = SettingsStore::Pairs;
    const QString notRunning =
        "Quenlor is not running, so its own output, Quenlor:MIDI Out, reaches no device; start "
        "Quenlor, or name a device with --port NAME (quenlor-sysex ports lists them)";
    QTest::newRow("nothing stored") << Pairs{} << QStringList{} << notRunning;
    QTest::newRow("the program's own port stored")
        << Pairs{{"MIDIOutPort", "Quenlor:MIDI Out"}} << QStringList{} << notRunning;
    QTest::newRow("stored output unplugged")
        << Pairs{{"MIDIOutPort", "Synth C"}} << QStringList{}
        << "the output in the settings, 'Synth C', is not there; choose one with --port NAME";
    QTest::newRow("no such port")
        << Pairs{{"MIDIOutPort", "Synth A"}} << QStringList{"--port", "synth a"}
        << "no MIDI output named 'synth a' (quenlor-sysex ports lists them)";
    QTest::newRow("the program's own port given")
        << Pairs{{"MIDIOutPort", "Synth A"}} << QStringList{"--port", "Quenlor:MIDI Out"}
        << notRunning;
}

void TestCompanion::sendWithoutAnOutput() {
    QFETCH(SettingsStore::Pairs, stored);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    Run run;
    for (const auto& [key, value] : stored)
        run.store.writeKey("MIDI", key, value);
    QCOMPARE(run(QStringList{"send", made("good.bbk", bank())} + options), 1);
    QCOMPARE(run.errors(), "quenlor-sysex: " + message + "\n");
    QVERIFY(run.midi.Sent.empty());
}

// Quenlor's own output connected to two devices: the patch goes to both, which it names.
void TestCompanion::sendToEveryDeviceOfTheProgramsOutput() {
    Run run;
    run.midi.ProgramOutput = QStringList{"Synth A", "Synth B"};
    run.midi.Log.clear();
    QCOMPARE(run({"send", made("good.bbk", bank())}), 0);
    QCOMPARE(run.output(), QString("sent to Synth A, Synth B, which Quenlor:MIDI Out is connected to\n"));
    QCOMPARE(run.midi.Log.filter(QRegularExpression("^out (open|also) [0-9]")),
             (QStringList{"out open 0", "out also 1"}));
    QCOMPARE(run.midi.Sent.size(), 2u);
}

// A MIDI system that takes nothing (a JACK server gone under the companion) is a failure
// that says what was not sent, never a success.
void TestCompanion::sendThatTheSystemDrops() {
    Run run;
    run.store.writeKey("MIDI", "MIDIOutPort", "Synth A");
    run.midi.Gone = true;
    QCOMPARE(run({"send", made("good.bbk", bank())}), 1);
    QCOMPARE(run.errors(), QStringLiteral("quenlor-sysex: nothing was sent: neither the patch "
                                          "dump nor its Program Change\n"));
}

void TestCompanion::portsAsTheOptionsDialogLists() {
    Run all;
    QCOMPARE(all({"ports"}), 0);
    QCOMPARE(all.output(),
             QStringLiteral("MIDI system: memory\nOutputs:\n  Quenlor:MIDI Out\n  Synth A\n"
                            "  Synth B\nInputs:\n  Keys In\n"));
    QCOMPARE(all.midi.Log, QStringList{}); // listing opens nothing

    Run outputs;
    QCOMPARE(outputs({"ports", "--outputs", "--midi", "jack"}), 0);
    QCOMPARE(outputs.output(), QStringLiteral("Quenlor:MIDI Out\nSynth A\nSynth B\n"));
    QCOMPARE(outputs.systemsAsked, QStringList{"jack"});

    Run inputs;
    inputs.midi.setDevices({}, {});
    QCOMPARE(inputs({"ports", "--inputs"}), 0);
    QCOMPARE(inputs.output(), QString());
}
