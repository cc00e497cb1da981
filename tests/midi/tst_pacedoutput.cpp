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

    // One step of a script: "patch" sends the next patch, "note" a test note, "tied" a test
    // note of the patch before it (an audition's), "end" the test note's end, "thru" a
    // forwarded message (a Note On; "thru off", "thru cc": a Note Off of note N % 128 on
    // channel N / 128 for the Nth one, a controller; "thru offsame": note 61's end),
    // "wait MS" moves the clock, "leap" lets it leap to the end, "pause MS" and "all" set
    // the timing, "close" closes the output, "reopen" opens it again, "unplug" takes its
    // device away.
    void run(const QString& step) {
        const QStringList words = step.split(' ');
        const QString& what = words.front();
        const int number = words.value(1).toInt();
        if (what == "patch")
            code.SendPatch(++patches);
        else if (what == "note")
            midi.PlayNoteOn(1, 60, 70);
        else if (what == "tied")
            midi.PlayPatchNoteOn(1, 60, 70);
        else if (what == "end")
            midi.PlayNoteOff(1, 60);
        else if (what == "thru")
            forward(words.value(1));
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
        else if (what == "reopen")
            midi.OpenMidiOut("Bit01:in");
        else if (what == "unplug")
            backend.setDevices({}, {});
        else
            QFAIL(qPrintable("no such step: " + step));
    }

    void forward(const QString& kind) {
        const int n = forwarded++;
        if (kind == "off")
            ports.MIDIOutput1.sendShort(0x80 | (n / 128 % 16), n % 128, 0, OutputKind::Forwarded);
        else if (kind == "offsame") // a Note On of velocity 0, which ends a note too
            ports.MIDIOutput1.sendShort(0x90, 61, 0, OutputKind::Forwarded);
        else if (kind == "cc")
            ports.MIDIOutput1.sendShort(0xB0, 1, n % 128, OutputKind::Forwarded);
        else
            ports.MIDIOutput1.sendShort(0x90, 61, 80, OutputKind::Forwarded);
    }
    int forwarded = 0;

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
            else if (m.Data == MemoryMidiBackend::Bytes{0x90, 60, 70})
                what = "note";
            else
                what = (m.Data.front() & 0xF0) == 0xB0 ? "cc" : m.Data.at(2) == 0 ? "off" : "thru";
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
    void lateSenderKeepsThePace_data();
    void lateSenderKeepsThePace();
    void senderAsksTheSystemEachTime();
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
    QTest::newRow("waiting patches replaced by the newest, a started one ends whole")
        << QStringList{"patch", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@26240", "pc@51840"};
    QTest::newRow("notes between replaced patches stay in order")
        << QStringList{"patch", "note", "patch", "note", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "note@26240", "note@27200", "dump@28160", "pc@53760"};
    // An audition's note sounds its own patch or nothing, and ends only what sounded.
    QTest::newRow("a replaced patch takes its note and the note's end")
        << QStringList{"patch", "tied", "end", "patch", "tied", "end", "patch", "tied", "leap"}
        << QStringList{"dump@0", "pc@25600", "note@26240", "off@27200", "dump@28160", "pc@53760",
                       "note@54400"};
    QTest::newRow("a replaced patch's note ends unsent when its end comes")
        << QStringList{"patch", "patch", "tied", "patch", "end", "note", "end", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@26240", "pc@51840", "note@52480", "off@53440"};
    QTest::newRow("a started patch keeps its note")
        << QStringList{"patch", "tied", "wait 10", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "note@26240", "dump@27200", "pc@52800"};
    QTest::newRow("every patch its own note without newest only")
        << QStringList{"all", "patch", "tied", "patch", "tied", "leap"}
        << QStringList{"dump@0", "pc@25600", "note@26240", "dump@27200", "pc@52800", "note@53440"};
    QTest::newRow("a patch that has left is not replaced")
        << QStringList{"patch", "wait 30", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@30000", "pc@55600"};
    QTest::newRow("every patch without newest only")
        << QStringList{"all", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@26240", "pc@51840"};
    QTest::newRow("forwarded goes ahead of a waiting patch")
        << QStringList{"note", "patch", "thru", "leap"}
        << QStringList{"note@0", "thru@960", "dump@1920", "pc@27520"};
    QTest::newRow("a started dump's program change goes before forwarded")
        << QStringList{"patch", "note", "thru", "leap"}
        << QStringList{"dump@0", "pc@25600", "thru@26240", "note@27200"};
    QTest::newRow("forwarded messages keep their order")
        << QStringList{"patch", "thru", "thru", "thru", "leap"}
        << QStringList{"dump@0", "pc@25600", "thru@26240", "thru@27200", "thru@28160"};
    QTest::newRow("forwarded at cable speed takes turns with a patch")
        << QStringList{"thru", "thru", "thru", "patch", "leap"}
        << QStringList{"thru@0", "thru@960", "dump@1920", "pc@27520", "thru@28160"};
    QTest::newRow("pause before the next dump")
        << QStringList{"pause 40", "all", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@66240", "pc@91840"};
    QTest::newRow("pause holds no note nor forwarded message")
        << QStringList{"pause 40", "patch", "wait 30", "thru", "note", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "thru@30000", "note@30960", "dump@66240", "pc@91840"};
    QTest::newRow("longest pause")
        << QStringList{"pause 5000", "all", "patch", "patch", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@2026240", "pc@2051840"};
    // Closing the output, as ending the program and OK in the options dialog do, first
    // lets what waits leave, within the queue's second and the pause; nothing of it
    // reaches the device opened next. A device that went away has nothing to wait for.
    QTest::newRow("close lets what waits leave")
        << QStringList{"patch", "note", "close", "reopen", "leap"}
        << QStringList{"dump@0", "pc@25600", "note@26240"};
    QTest::newRow("close waits a second and the pause at most")
        << QStringList{"pause 2000", "all", "patch", "patch", "patch", "close", "reopen", "leap"}
        << QStringList{"dump@0", "pc@25600", "dump@2026240", "pc@2051840"};
    QTest::newRow("close after the device went away")
        << QStringList{"patch", "note", "unplug", "close", "reopen", "leap"}
        << QStringList{"dump@0"};
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
// Each road holds one second of cable time of its own, whatever the other holds: beyond
// it forwarded messages are dropped and counted, each with a notice, the oldest
// controllers first, then the oldest Note Ons, never a Note Off (a lost one leaves a note
// hanging); the program's own notes never are.
void TestPacedOutput::bound_data() {
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("counts"); // how many went out, by kind
    QTest::addColumn<int>("dropped");
    // One leaves at once; 1,041 of 960 us fit in one second, the 1,042nd does not.
    QTest::newRow("forwarded") << QStringList(2000, "thru") << QStringList{"thru 1042"} << 958;
    QTest::newRow("forwarded, just full") << QStringList(1042, "thru") << QStringList{"thru 1042"} << 0;
    QTest::newRow("forwarded, one too many")
        << QStringList(1043, "thru") << QStringList{"thru 1042"} << 1;
    QTest::newRow("notes") << QStringList(2000, "note") << QStringList{"note 2000"} << 0;
    QTest::newRow("note offs are never dropped")
        << QStringList(1100, "thru off") << QStringList{"off 1100"} << 0;
    QTest::newRow("controllers make room first")
        << (QStringList(1042, "thru cc") + QStringList(100, "thru") + QStringList(5, "thru off"))
        << QStringList{"cc 937", "thru 100", "off 5"} << 105;
    QTest::newRow("then note ons")
        << (QStringList(1042, "thru") + QStringList(100, "thru off") + QStringList(5, "thru cc"))
        << QStringList{"thru 942", "off 100", "cc 0"} << 105;
    QTest::newRow("a note off already waiting is not repeated beyond the bound")
        << QStringList(1052, "thru offsame") << QStringList{"off 1042"} << 10;
    // The first patch holds the cable: every forwarded message waits.
    QTest::newRow("waiting patches take no room from forwarded messages")
        << (QStringList{"all"} + QStringList(30, "patch") + QStringList(1041, "thru"))
        << QStringList{"thru 1041", "dump 30"} << 0;
}

void TestPacedOutput::bound() {
    QFETCH(QStringList, script);
    QFETCH(QStringList, counts);
    QFETCH(int, dropped);
    World w;
    int notices = 0;
    w.ports.MIDIOutput1.setDropNotice([&] { ++notices; });
    for (const QString& step : script + QStringList{"leap"})
        w.run(step);
    for (const QString& count : counts) {
        const QStringList kindAndCount = count.split(' ');
        QCOMPARE(w.sent().filter(QRegularExpression("^" + kindAndCount.at(0) + "@")).size(),
                 kindAndCount.at(1).toInt());
    }
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
    // The first patch started at once and ended whole; 11 patches were dropped.
    QCOMPARE(int(w.ports.MIDIOutput1.droppedMessages()), 22);
    QCOMPARE(w.backend.Sent.size(), size_t(78));
    w.code.preparePatchDump(50);
    const auto& last = w.backend.Sent.at(76).Data;
    QVERIFY(std::equal(last.begin(), last.end(), w.code.PatchDump.data()));
}

// A sender that wakes after a message's due time times the next one from that due time,
// so the stream keeps the cable's pace; one later than the queue's tolerance starts anew.
void TestPacedOutput::lateSenderKeepsThePace_data() {
    QTest::addColumn<int>("lateUs");
    QTest::addColumn<QList<int>>("starts");
    QTest::newRow("82 us late each time") << 82 << QList<int>{0, 960, 1920, 2880};
    QTest::newRow("5 ms late each time") << 5000 << QList<int>{0, 960, 1920, 2880};
    QTest::newRow("11 ms late each time") << 11000 << QList<int>{0, 11960, 23920, 35880};
}

void TestPacedOutput::lateSenderKeepsThePace() {
    QFETCH(int, lateUs);
    QFETCH(QList<int>, starts);
    OutputQueue queue;
    const uint8_t note[] = {0x90, 60, 100};
    const OutputQueue::Time first{1'000'000};
    for (int i = 0; i < starts.size(); ++i)
        queue.push(note, sizeof note, OutputKind::Note);
    QList<int> taken;
    OutputQueue::Taken t;
    for (OutputQueue::Time now = first; queue.take(now, now, t);
         now = queue.nextDue().value_or(now) + OutputQueue::Time(lateUs))
        taken << int((t.Start - first).count());
    QCOMPARE(taken, starts);
}

// The output port asks the MIDI system at every message how far ahead it takes them, so
// that a system whose reach changes (JACK restarted with another period) is followed.
void TestPacedOutput::senderAsksTheSystemEachTime() {
    struct AheadSystem : MemoryMidiBackend {
        AheadSystem() : MemoryMidiBackend({}, {}) {}
        ManualClock* testClock() override { return nullptr; } // the sender thread's own pace
        std::chrono::microseconds handOverUntil(std::chrono::microseconds now) override {
            return now + std::chrono::microseconds(AheadUs.load());
        }
        bool sendTimed(const uint8_t*, std::size_t, const SendTiming& timing) override {
            std::lock_guard<std::mutex> lock(Mutex);
            EarlyUs << (timing.Due - SteadyPacingClock().now()).count();
            return true;
        }
        std::atomic<int> AheadUs{50000};
        std::mutex Mutex;
        QList<qint64> EarlyUs; // how long before its due time each message came
    };
    auto owned = std::make_unique<AheadSystem>();
    AheadSystem& system = *owned;
    MidiWorld world(std::move(owned));
    world.midi().OpenMidiOut(MidiBackend::defaultOutputName());
    const uint8_t dump[80] = {0xF0};
    for (int ahead : {50000, 0}) {
        system.AheadUs = ahead;
        world.ports().MIDIOutput1.SendSysEx(dump, sizeof dump);
        world.midi().PlayNoteOn(1, 60, 70); // due when the dump has left, 25.6 ms later
        QVERIFY(world.ports().MIDIOutput1.waitUntilSent(std::chrono::seconds(5)));
    }
    std::lock_guard<std::mutex> lock(system.Mutex);
    QCOMPARE(system.EarlyUs.size(), 4);
    QVERIFY2(system.EarlyUs.at(1) > 20000, qPrintable(QString::number(system.EarlyUs.at(1))));
    QVERIFY2(system.EarlyUs.at(3) <= 1000, qPrintable(QString::number(system.EarlyUs.at(3))));
}

QTEST_GUILESS_MAIN(TestPacedOutput)
#include "tst_pacedoutput.moc"
