#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "midi/MidiPorts.h"

#include <QTest>

namespace {
// The ports on an in-memory MIDI system whose clock the test moves.
struct World {
    MemoryMidiWorld world{{}, {"Bit01:in"}};
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;
    int patches = 0;

    World() {
        code.Midi = &midi;
        code.InitPatchModel();
        midi.OpenMidiOut("Bit01:in");
        backend.Clock.setLeaping(false);
    }

    // One step of a script: "patch" sends the next patch, "note" a test note, "thru" a
    // forwarded message, "wait MS" moves the clock, "leap" lets it leap to the end,
    // "pause MS" and "all" set the timing, "close" closes the output.
    void run(const QString& step) {
        const QStringList words = step.split(' ');
        const QString& what = words.front();
        const int number = words.value(1).toInt();
        if (what == "patch")
            code.SendPatch(++patches);
        else if (what == "note")
            midi.PlayNoteOn(1, 60, 70);
        else if (what == "thru")
            ports.MIDIOutput1.sendShort(0x90, 61, 80, OutputKind::Forwarded);
        else if (what == "wait")
            backend.Clock.advance(std::chrono::milliseconds(number));
        else if (what == "leap") {
            backend.Clock.setLeaping(true);
            backend.Clock.advance({});
        } else if (what == "pause")
            ports.MIDIOutput1.setPauseAfterPatch(number);
        else if (what == "all")
            ports.MIDIOutput1.setSendNewestOnly(false);
        else if (what == "close")
            midi.CloseMidiOut();
        else
            QFAIL(qPrintable("no such step: " + step));
    }

    // Each message sent as "dump 3@25600": what it is (the dump with its patch number,
    // found by the patch's name in the bank) and when it started, in microseconds after
    // the first one.
    QStringList sent() const {
        QStringList out;
        const auto& all = backend.Sent;
        for (const auto& m : all) {
            QString what;
            if (m.Data.size() == 80)
                what = "dump";
            else if (m.Data.front() == 0xC0)
                what = "pc";
            else
                what = m.Data.at(1) == 60 ? "note" : "thru";
            out << QStringLiteral("%1@%2").arg(what).arg((m.Time - all.front().Time).count());
        }
        return out;
    }
};
} // namespace

// The output port's queue on the in-memory system with a clock that only the test moves:
// the spacing of every message, patches replaced while they wait, what is never dropped,
// and the one-second bound.
class TestPacedOutput : public QObject {
    Q_OBJECT
private slots:
    void timing_data();
    void timing();
    void bound_data();
    void bound();
    void lastPatchSurvivesTheBound();
    void closeDropsWhatWaits();
};

// A patch is its dump (80 bytes, 25,600 us on the cable) and Program Change 0 (2 bytes,
// 640 us); a note is 3 bytes, 960 us.
void TestPacedOutput::timing_data() {
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("idle: at once") << QStringList{"note"} << QStringList{"note@0"};
    QTest::newRow("idle again after a while")
        << QStringList{"note", "wait 100", "note"} << QStringList{"note@0", "note@100000"};
    QTest::newRow("dump then program change at cable speed")
        << QStringList{"patch", "leap"} << QStringList{"dump@0", "pc@25600"};
    QTest::newRow("each message waits for the one before")
        << QStringList{"note", "note", "patch", "note", "leap"}
        << QStringList{"note@0", "note@960", "dump@1920", "pc@27520", "note@28160"};
    QTest::newRow("waiting patches replaced by the newest")
        << QStringList{"patch", "patch", "patch", "leap"}
        << QStringList{"dump@0", "dump@25600", "pc@51200"};
    QTest::newRow("notes between replaced patches stay in order")
        << QStringList{"patch", "note", "patch", "note", "patch", "leap"}
        << QStringList{"dump@0", "note@25600", "note@26560", "dump@27520", "pc@53120"};
    QTest::newRow("a patch that has left is not replaced")
        << QStringList{"patch", "wait 30", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@30000", "pc@55600"};
    QTest::newRow("every patch without newest only")
        << QStringList{"all", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@26240", "pc@51840"};
    QTest::newRow("forwarded goes ahead of a waiting patch")
        << QStringList{"patch", "note", "thru", "leap"}
        << QStringList{"dump@0", "thru@25600", "pc@26560", "note@27200"};
    QTest::newRow("forwarded messages keep their order")
        << QStringList{"patch", "thru", "thru", "thru", "leap"}
        << QStringList{"dump@0", "thru@25600", "thru@26560", "thru@27520", "pc@28480"};
    QTest::newRow("pause before the next dump")
        << QStringList{"pause 40", "all", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@66240", "pc@91840"};
    QTest::newRow("pause holds no note nor forwarded message")
        << QStringList{"pause 40", "patch", "wait 30", "thru", "note", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "thru@30000", "note@30960", "dump@66240", "pc@91840"};
    QTest::newRow("longest pause")
        << QStringList{"pause 5000", "all", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@2026240", "pc@2051840"};
}

void TestPacedOutput::timing() {
    QFETCH(QStringList, script);
    QFETCH(QStringList, sent);
    World w;
    for (const QString& step : script)
        w.run(step);
    QCOMPARE(w.sent(), sent);
}

// Forwarded messages beyond one second of cable time are dropped and counted, each with
// a notice; the program's own notes never are.
void TestPacedOutput::bound_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("dropped");
    // One leaves at once; 1,041 of 960 us fit in one second, the 1,042nd does not.
    QTest::newRow("forwarded") << "thru" << 2000 << 1042 << 958;
    QTest::newRow("forwarded, just full") << "thru" << 1042 << 1042 << 0;
    QTest::newRow("forwarded, one too many") << "thru" << 1043 << 1042 << 1;
    QTest::newRow("notes") << "note" << 2000 << 2000 << 0;
}

void TestPacedOutput::bound() {
    QFETCH(QString, step);
    QFETCH(int, count);
    QFETCH(int, sent);
    QFETCH(int, dropped);
    World w;
    int notices = 0;
    w.ports.MIDIOutput1.setDropNotice([&] { ++notices; });
    for (int i = 0; i < count; ++i)
        w.run(step);
    w.run("leap");
    QCOMPARE(int(w.backend.Sent.size()), sent);
    QCOMPARE(int(w.ports.MIDIOutput1.droppedMessages()), dropped);
    QCOMPARE(notices, dropped);
}

// Without newest only, the oldest waiting patches make room: 38 patches of 26,240 us fit
// in one second, and the last patch sent is the last on the cable.
void TestPacedOutput::lastPatchSurvivesTheBound() {
    World w;
    w.run("all");
    for (int i = 0; i < 50; ++i)
        w.run("patch");
    w.run("leap");
    // The first dump left at once; the first Program Change and 11 patches were dropped.
    QCOMPARE(int(w.ports.MIDIOutput1.droppedMessages()), 23);
    QCOMPARE(w.backend.Sent.size(), size_t(77));
    w.code.preparePatchDump(50);
    const auto& last = w.backend.Sent.at(75).Data;
    QVERIFY(std::equal(last.begin(), last.end(), w.code.PatchDump.data()));
}

// What waits when the output closes goes nowhere, not to the device opened next.
void TestPacedOutput::closeDropsWhatWaits() {
    World w;
    w.run("patch");
    w.run("note");
    w.run("close");
    w.midi.OpenMidiOut("Bit01:in");
    w.run("leap");
    QCOMPARE(w.sent(), QStringList{"dump@0"});
    QVERIFY(w.ports.MIDIOutput1.waitUntilSent(std::chrono::milliseconds(0)));
}

QTEST_GUILESS_MAIN(TestPacedOutput)
#include "tst_pacedoutput.moc"
