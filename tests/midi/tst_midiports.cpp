#include "core/DumpEncoder.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "midi/MidiPorts.h"
#include "midi/MidiThru.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

using Bytes = MemoryMidiBackend::Bytes;
Q_DECLARE_METATYPE(Bytes)

namespace {
// The ports of one main window on a MIDI system in memory, with the patch model.
struct World {
    MemoryMidiWorld world;
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;

    World(QStringList inputs = {}, QStringList outputs = {}) : world(std::move(inputs), std::move(outputs)) {
        code.Midi = &midi;
        code.InitPatchModel();
    }
};
} // namespace

class TestMidiPorts : public QObject {
    Q_OBJECT
private slots:
    void openMidiOut_data();
    void openMidiOut();
    void findDevice_data();
    void findDevice();
    void programClients_data();
    void programClients();
    void openMidiIn_data();
    void openMidiIn();
    void followsDevicesThatComeAndGo_data();
    void followsDevicesThatComeAndGo();
    void closedPortFollowsNothing();
    void replugBeforeThePortLooks();
    void shortMessages_data();
    void shortMessages();
    void shortMessageLength_data();
    void shortMessageLength();
    void closedOutputSendsNothing();
    void beforeAttachNothingHappens();
    void sysExIsTheWholeDumpInOneMessage();
    void sendPatch_data();
    void sendPatch();
    void parameterChangedGate_data();
    void parameterChangedGate();
    void receivedMessages_data();
    void receivedMessages();
    void thru_data();
    void thru();
    void closedInputQueuesNothing();
    void floodFromAnotherThread();
    void noMidiSystem();
};

void TestMidiPorts::openMidiOut_data() {
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("opened");
    const QStringList two = {"UM-ONE:UM-ONE MIDI 1", "Bit01:in"};
    QTest::newRow("empty list still opens the default") << QStringList{} << "Bit01:in" << -1;
    QTest::newRow("default output by its name") << two << MidiBackend::defaultOutputName() << -1;
    QTest::newRow("first device") << two << "UM-ONE:UM-ONE MIDI 1" << 0;
    QTest::newRow("last device") << two << "Bit01:in" << 1;
    QTest::newRow("not found opens the default") << two << "Gone:port" << -1;
    QTest::newRow("comparison is case-sensitive") << two << "bit01:in" << -1;
    QTest::newRow("empty name opens the default") << two << "" << -1;
    QTest::newRow("shared name opens the higher-numbered")
        << QStringList{"Twin:out", "Other:out", "Twin:out"} << "Twin:out" << 2;
}

void TestMidiPorts::openMidiOut() {
    QFETCH(QStringList, outputs);
    QFETCH(QString, name);
    QFETCH(int, opened);
    World w({}, outputs);
    w.midi.OpenMidiOut(name);
    QCOMPARE(w.backend.openOutputDevice(), opened);
    QCOMPARE(int(w.ports.MIDIOutput1.DeviceID()), opened);
    QVERIFY(w.ports.MIDIOutput1.isOpen());
    QCOMPARE(w.backend.Log, QStringList{QStringLiteral("out open %1").arg(opened)});
}

// The one lookup by name both ports, the stored settings and the options dialog use.
void TestMidiPorts::findDevice_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("firstWins");
    QTest::addColumn<int>("output"); // -2: none
    QTest::addColumn<int>("input");
    QTest::newRow("first of twins") << "Twin" << true << 0 << 1;
    QTest::newRow("last of twins") << "Twin" << false << 2 << 2;
    QTest::newRow("default output by name") << MidiBackend::defaultOutputName() << false << -1 << -2;
    QTest::newRow("missing") << "Gone" << true << -2 << -2;
    QTest::newRow("empty") << "" << false << -2 << -2;
}

void TestMidiPorts::findDevice() {
    QFETCH(QString, name);
    QFETCH(bool, firstWins);
    QFETCH(int, output);
    QFETCH(int, input);
    World w({"Keys", "Twin", "Twin"}, {"Twin", "Other", "Twin"});
    const auto rule = firstWins ? MidiPort::NameMatch::FirstWins : MidiPort::NameMatch::LastWins;
    QCOMPARE(w.ports.MIDIOutput1.findDevice(name, rule).value_or(-2), output);
    QCOMPARE(w.ports.MIDIInput1.findDevice(name, rule).value_or(-2), input);
    QCOMPARE(w.ports.MIDIOutput1.productNames(),
             (QStringList{MidiBackend::defaultOutputName(), "Twin", "Other", "Twin"}));
    QCOMPARE(int(w.ports.MIDIOutput1.DeviceID()), -1); // the selection stays
}

// The clients of the program's copies, whose ports are never devices: the program's own
// name, JACK's numbered ones, and a studio session's, letters and digits after a dot.
void TestMidiPorts::programClients_data() {
    QTest::addColumn<QString>("client");
    QTest::addColumn<bool>("program");
    QTest::newRow("own name") << "Quenlor" << true;
    QTest::newRow("numbered") << "Quenlor-01" << true;
    QTest::newRow("session's") << "Quenlor.nBITX" << true;
    QTest::newRow("session's, numbered") << "Quenlor.nBITX-02" << true;
    QTest::newRow("dot alone") << "Quenlor." << false;
    QTest::newRow("dash alone") << "Quenlor-" << false;
    QTest::newRow("session's, dash alone") << "Quenlor.nBITX-" << false;
    QTest::newRow("not a number") << "Quenlor-0a" << false;
    QTest::newRow("more after the id") << "Quenlor.nBITX.2" << false;
    QTest::newRow("not ASCII") << QString::fromUtf8("Quenlor.n\u00c9") << false;
    QTest::newRow("longer name") << "QuenlorX" << false;
    QTest::newRow("another program") << "Ardour" << false;
}

void TestMidiPorts::programClients() {
    QFETCH(QString, client);
    QFETCH(bool, program);
    QCOMPARE(MidiBackend::isProgramClient(client), program);
}

void TestMidiPorts::openMidiIn_data() {
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("opened"); // -2: nothing could be opened
    const QStringList two = {"Keys:out", "Pads:out"};
    QTest::newRow("no input device") << QStringList{} << "Keys:out" << -2;
    QTest::newRow("first device") << two << "Keys:out" << 0;
    QTest::newRow("second device") << two << "Pads:out" << 1;
    QTest::newRow("not found opens input 0") << two << "Gone:out" << 0;
    QTest::newRow("shared name opens the last") << QStringList{"Twin:out", "Twin:out", "Other:out"} << "Twin:out" << 1;
    QTest::newRow("(none) connects nothing") << two << "(none)" << -1;
    QTest::newRow("(none) with no input device") << QStringList{} << "(none)" << -1;
}

// Whatever is connected, the port hears what reaches it: from the device, from a
// patchbay's connection, with no device at all.
void TestMidiPorts::openMidiIn() {
    QFETCH(QStringList, inputs);
    QFETCH(QString, name);
    QFETCH(int, opened);
    World w(inputs, {});
    w.midi.OpenMidiIn(name);
    QCOMPARE(w.backend.openInputDevice(), opened);
    QCOMPARE(w.ports.MIDIInput1.isOpen(), opened != MemoryMidiBackend::kClosed);
    QCOMPARE(int(w.ports.MIDIInput1.DeviceID()), opened == MemoryMidiBackend::kClosed ? 0 : opened);
    w.backend.receive({0x90, 60, 1});
    QCOMPARE(w.ports.MIDIInput1.messageCount(), 1);
}

// After each change of the device list (one row of `lists`): the device open and
// whether the port had to be opened again to get there.
void TestMidiPorts::followsDevicesThatComeAndGo_data() {
    QTest::addColumn<bool>("input");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<QStringList>>("lists");
    QTest::addColumn<QList<int>>("opened");
    QTest::addColumn<QList<bool>>("reopened");
    const QStringList other{"Other:in"};
    const QStringList both{"Other:in", "Synth:in"};
    using Lists = QList<QStringList>;
    QTest::newRow("output plugged in later, then unplugged")
        << false << other << "Synth:in" << Lists{both, other, both} << QList<int>{1, -1, 1}
        << QList<bool>{true, true, true};
    QTest::newRow("output moves in the list: kept, selection moves")
        << false << QStringList{"Synth:in"} << "Synth:in"
        << Lists{{"New:in", "Synth:in"}, {"Synth:in"}} << QList<int>{1, 0}
        << QList<bool>{false, false};
    QTest::newRow("default output stays whatever comes")
        << false << other << MidiBackend::defaultOutputName() << Lists{both, {}}
        << QList<int>{-1, -1} << QList<bool>{false, false};
    QTest::newRow("output twins appear: the last")
        << false << QStringList{} << "Twin:in" << Lists{{"Twin:in", "Other:in", "Twin:in"}}
        << QList<int>{2} << QList<bool>{true};
    QTest::newRow("input plugged in later, then unplugged")
        << true << QStringList{"Keys:out"} << "Pads:out"
        << Lists{{"Keys:out", "Pads:out"}, {"Keys:out"}} << QList<int>{1, 0}
        << QList<bool>{true, true};
    // No input to choose at first: the device that comes later (another program, the
    // companion) is not chosen for the user.
    QTest::newRow("no input chosen: none taken that comes")
        << true << QStringList{} << "" << Lists{{"Keys:out"}, {}} << QList<int>{-2, -2}
        << QList<bool>{false, false};
}

void TestMidiPorts::followsDevicesThatComeAndGo() {
    QFETCH(bool, input);
    QFETCH(QStringList, devices);
    QFETCH(QString, name);
    QFETCH(QList<QStringList>, lists);
    QFETCH(QList<int>, opened);
    QFETCH(QList<bool>, reopened);
    World w(input ? devices : QStringList{}, input ? QStringList{} : devices);
    if (input)
        w.midi.OpenMidiIn(name);
    else
        w.midi.OpenMidiOut(name);
    for (int step = 0; step < lists.size(); ++step) {
        w.backend.clearRecord();
        if (input)
            w.backend.setDevices(lists[step], {});
        else
            w.backend.setDevices({}, lists[step]);
        QCoreApplication::processEvents(); // the report crosses to this thread queued
        QCOMPARE(!w.backend.Log.isEmpty(), reopened[step]);
        // The in-memory system knows a device by its place: one that moved is still
        // open under its old number there, while the port's selection moves with it.
        if (reopened[step])
            QCOMPARE(input ? w.backend.openInputDevice() : w.backend.openOutputDevice(),
                     opened[step]);
        const int selected =
            input ? w.ports.MIDIInput1.DeviceID() : w.ports.MIDIOutput1.DeviceID();
        if (opened[step] != MemoryMidiBackend::kClosed)
            QCOMPARE(selected, opened[step]);
    }
}

// The options dialog's OK closes the ports before it opens the new choices: a change
// in between opens nothing behind its back.
void TestMidiPorts::closedPortFollowsNothing() {
    World w({"Keys:out"}, {"Synth:in"});
    w.midi.OpenMidiIn("Pads:out");
    w.midi.OpenMidiOut("Other:in");
    w.midi.CloseMidiIn();
    w.midi.CloseMidiOut();
    w.backend.clearRecord();
    w.backend.setDevices({"Keys:out", "Pads:out"}, {"Synth:in", "Other:in"});
    QCoreApplication::processEvents();
    QVERIFY(w.backend.Log.isEmpty());
}

// Unplugged and plugged in again before the user-interface thread had a look: the
// names are as before, but the connections went with the old devices.
void TestMidiPorts::replugBeforeThePortLooks() {
    World w({"Keys:out"}, {"Synth:in"});
    w.midi.OpenMidiIn("Keys:out");
    w.midi.OpenMidiOut("Synth:in");
    w.backend.clearRecord();
    w.backend.setDevices({}, {});
    w.backend.setDevices({"Keys:out"}, {"Synth:in"});
    QCoreApplication::processEvents();
    QCOMPARE(w.backend.Log, (QStringList{"out close", "out open 0", "in close", "in open 0"}));
}

void TestMidiPorts::shortMessages_data() {
    QTest::addColumn<int>("operation"); // 0 note on, 1 note off, 2 program change
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<Bytes>("wire");
    QTest::newRow("test note on") << 0 << 1 << 60 << 70 << Bytes{0x90, 60, 70};
    QTest::newRow("note off is note on with velocity 0") << 1 << 16 << 60 << 0 << Bytes{0x9F, 60, 0};
    QTest::newRow("program change is two bytes") << 2 << 1 << 0 << 0 << Bytes{0xC0, 0x00};
    QTest::newRow("program change channel 10") << 2 << 10 << 127 << 0 << Bytes{0xC9, 127};
    QTest::newRow("note 127 velocity 127") << 0 << 16 << 127 << 127 << Bytes{0x9F, 127, 127};
    QTest::newRow("data bytes cut to 7 bits") << 0 << 1 << 200 << -1 << Bytes{0x90, 200 & 0x7F, 0x7F};
}

void TestMidiPorts::shortMessages() {
    QFETCH(int, operation);
    QFETCH(int, channel);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(Bytes, wire);
    World w;
    w.midi.OpenMidiOut(QString());
    if (operation == 0)
        w.midi.PlayNoteOn(channel, a, b);
    else if (operation == 1)
        w.midi.PlayNoteOff(channel, a);
    else
        w.midi.SendProgramChange(channel, a);
    QCOMPARE(w.backend.sentBytes(), std::vector<Bytes>{wire});
    QCOMPARE(w.backend.Sent.front().Device, -1);
}

void TestMidiPorts::shortMessageLength_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("length");
    QTest::newRow("note off") << 0x80 << 3;
    QTest::newRow("control change") << 0xBF << 3;
    QTest::newRow("program change") << 0xC5 << 2;
    QTest::newRow("channel pressure") << 0xD0 << 2;
    QTest::newRow("pitch bend") << 0xEF << 3;
    QTest::newRow("quarter frame") << 0xF1 << 2;
    QTest::newRow("song position") << 0xF2 << 3;
    QTest::newRow("song select") << 0xF3 << 2;
    QTest::newRow("tune request") << 0xF6 << 1;
    QTest::newRow("clock") << 0xF8 << 1;
    QTest::newRow("reset") << 0xFF << 1;
    QTest::newRow("data byte") << 0x7F << 0;
    QTest::newRow("sysex start") << 0xF0 << 0;
    QTest::newRow("sysex end") << 0xF7 << 0;
    QTest::newRow("beyond a byte") << 0x100 << 0;
    QTest::newRow("channel 17 of note on is aftertouch") << 0x90 + 16 << 3;
    QTest::newRow("negative") << -1 << 0;
}

void TestMidiPorts::shortMessageLength() {
    QFETCH(int, status);
    QFETCH(int, length);
    World w;
    w.midi.OpenMidiOut(QString());
    w.ports.MIDIOutput1.sendShort(status, 0x11, 0x22);
    if (length == 0) {
        QVERIFY(w.backend.Sent.empty());
        return;
    }
    Bytes expected{uint8_t(status), 0x11, 0x22};
    expected.resize(length);
    QCOMPARE(w.backend.sentBytes(), std::vector<Bytes>{expected});
}

void TestMidiPorts::closedOutputSendsNothing() {
    World w({}, {"Bit01:in"});
    w.code.SendPatch(1); // never opened
    w.midi.OpenMidiOut("Bit01:in");
    w.midi.CloseMidiOut();
    w.midi.PlayNoteOn(1, 60, 70);
    w.code.SendPatch(1);
    QVERIFY(w.backend.Sent.empty());
    QCOMPARE(w.backend.Log, (QStringList{"out open 0", "out close"}));
    w.midi.CloseMidiOut(); // closing twice closes once
    QCOMPARE(w.backend.Log.size(), 2);
}

void TestMidiPorts::beforeAttachNothingHappens() {
    MemoryMidiBackend backend({"Keys:out"}, {"Bit01:in"});
    MidiPorts ports(backend);
    MIDIUtilities midi;
    midi.OpenMidiOut("Bit01:in");
    midi.OpenMidiIn("Keys:out");
    midi.PlayNoteOn(1, 60, 70);
    QVERIFY(backend.Log.isEmpty());
    QVERIFY(backend.Sent.empty());
}

void TestMidiPorts::sysExIsTheWholeDumpInOneMessage() {
    World w;
    w.midi.OpenMidiOut(QString());
    w.code.EncodePatch(1);
    w.midi.SendSysEx(w.code.PatchDump);
    QCOMPARE(w.backend.Sent.size(), size_t(1));
    const Bytes& sent = w.backend.Sent.front().Data;
    QCOMPARE(sent.size(), size_t(80));
    QCOMPARE(sent.front(), uint8_t(0xF0));
    QCOMPARE(sent.back(), uint8_t(0xF7));
    QCOMPARE(sent, Bytes(w.code.PatchDump.data(), w.code.PatchDump.data() + 80));

    // A damaged length cannot read past the buffer.
    w.backend.clearRecord();
    w.code.PatchDump.Length = INT16_MAX;
    w.midi.SendSysEx(w.code.PatchDump);
    QCOMPARE(w.backend.Sent.front().Data.size(), w.code.PatchDump.Bytes.size());
}

void TestMidiPorts::sendPatch_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bit99");
    QTest::addColumn<int>("header");
    QTest::addColumn<int>("programChange");
    QTest::newRow("channel 1") << 1 << 0 << 0x10 << 0xC0;
    QTest::newRow("channel 16") << 16 << 0 << 0x1F << 0xCF;
    QTest::newRow("channel 10 Bit 99") << 10 << 1 << 0x29 << 0xC9;
    QTest::newRow("channel 1 Bit 99") << 1 << 1 << 0x20 << 0xC0;
    QTest::newRow("channel 0 is taken as 1") << 0 << 0 << 0x10 << 0xC0;
    QTest::newRow("channel 17 is taken as 1") << 17 << 1 << 0x20 << 0xC0;
}

void TestMidiPorts::sendPatch() {
    QFETCH(int, channel);
    QFETCH(int, bit99);
    QFETCH(int, header);
    QFETCH(int, programChange);
    World w({}, {"Bit01:in"});
    w.midi.OpenMidiOut("Bit01:in");
    w.code.MIDIChannelOut = channel;
    w.code.Bit99Compatible = bit99;
    w.code.PatchBank(7, 1) = 5;
    w.code.SendPatch(7);

    QuenlorCode expected;
    expected.InitPatchModel();
    expected.PatchBank(7, 1) = 5;
    expected.EncodePatch(7);
    Bytes dump(expected.PatchDump.data(), expected.PatchDump.data() + 80);
    dump[DumpBytes::kHeaderOffset] = uint8_t(header);

    QCOMPARE(w.backend.sentBytes(), (std::vector<Bytes>{dump, Bytes{uint8_t(programChange), 0}}));
    QCOMPARE(w.backend.Sent[0].Device, 0);
    QCOMPARE(w.backend.Sent[1].Device, 0);
}

void TestMidiPorts::parameterChangedGate_data() {
    QTest::addColumn<int>("autoUpdate");
    QTest::addColumn<int>("editorReady");
    QTest::addColumn<int>("messages");
    QTest::newRow("both on") << -1 << -1 << 2;
    QTest::newRow("automatic update off") << 0 << -1 << 0;
    QTest::newRow("editor filling its controls") << -1 << 0 << 0;
    QTest::newRow("both off") << 0 << 0 << 0;
}

void TestMidiPorts::parameterChangedGate() {
    QFETCH(int, autoUpdate);
    QFETCH(int, editorReady);
    QFETCH(int, messages);
    World w;
    w.midi.OpenMidiOut(QString());
    w.code.AutoUpdate = autoUpdate;
    w.code.EditorReady = editorReady;
    w.code.ParameterChanged(7);
    QCOMPARE(int(w.backend.Sent.size()), messages);
    // The Send button and the patch list send whatever the gate says.
    w.code.SendPatch(7);
    QCOMPARE(int(w.backend.Sent.size()), messages + 2);
}

void TestMidiPorts::receivedMessages_data() {
    QTest::addColumn<Bytes>("received");
    QTest::addColumn<int>("queued");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("data1");
    QTest::addColumn<int>("data2");
    QTest::newRow("note on") << Bytes{0x92, 64, 100} << 1 << 0x92 << 64 << 100;
    QTest::newRow("program change reads 0 for data 2") << Bytes{0xC3, 9} << 1 << 0xC3 << 9 << 0;
    QTest::newRow("clock") << Bytes{0xF8} << 1 << 0xF8 << 0 << 0;
    QTest::newRow("system exclusive is not queued") << Bytes{0xF0, 0x25, 0x10, 0xF7} << 0 << 0 << 0 << 0;
    QTest::newRow("stray data byte") << Bytes{0x40, 0x40} << 0 << 0 << 0 << 0;
    QTest::newRow("cut-off note on") << Bytes{0x90, 60} << 0 << 0 << 0 << 0;
}

void TestMidiPorts::receivedMessages() {
    QFETCH(Bytes, received);
    QFETCH(int, queued);
    QFETCH(int, status);
    QFETCH(int, data1);
    QFETCH(int, data2);
    World w({"Keys:out"}, {});
    w.midi.OpenMidiIn("Keys:out");
    QSignalSpy spy(&w.ports.MIDIInput1, &MIDIInput::Message);
    w.backend.receive(received);
    QCOMPARE(w.ports.MIDIInput1.messageCount(), queued);
    QCOMPARE(int(w.ports.MIDIInput1.messageStatus()), status);
    QCOMPARE(int(w.ports.MIDIInput1.messageData1()), data1);
    QCOMPARE(int(w.ports.MIDIInput1.messageData2()), data2);
    // The event comes later, from the event loop, and only when something waits.
    QCOMPARE(spy.count(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), queued);
}

void TestMidiPorts::thru_data() {
    QTest::addColumn<int>("thru");
    QTest::newRow("thru on forwards") << -1;
    QTest::newRow("thru off drains silently") << 0;
}

void TestMidiPorts::thru() {
    QFETCH(int, thru);
    World w({"Keys:out"}, {"Bit01:in"});
    w.midi.OpenMidiIn("Keys:out");
    w.midi.OpenMidiOut("Bit01:in");
    w.code.MIDIThru = thru;
    w.code.MIDIChannelIn = 1;
    w.code.MIDIChannelOut = 5; // plays no part in thru
    int events = 0;
    QObject::connect(&w.ports.MIDIInput1, &MIDIInput::Message, &w.ports.MIDIInput1, [&] {
        ++events;
        MIDIInput1_Message(w.code, w.ports);
    });
    const std::vector<Bytes> notes = {{0x92, 60, 100}, {0x92, 64, 90}, {0x82, 60, 0}, {0xC2, 3}};
    for (const Bytes& n : notes)
        w.backend.receive(n);
    QTRY_COMPARE(events, 1);
    QCOMPARE(w.ports.MIDIInput1.messageCount(), 0);
    QCOMPARE(w.backend.sentBytes(), thru == -1 ? notes : std::vector<Bytes>{});
    QCoreApplication::processEvents();
    QCOMPARE(events, 1); // one event for the messages that waited together
}

void TestMidiPorts::closedInputQueuesNothing() {
    World w({"Keys:out"}, {});
    w.midi.OpenMidiIn("Keys:out");
    w.midi.CloseMidiIn();
    w.backend.receive({0x90, 60, 100});
    QCOMPARE(w.ports.MIDIInput1.messageCount(), 0);
    w.midi.OpenMidiIn("Keys:out"); // reopening after OK in the options dialog
    w.backend.receive({0x90, 61, 100});
    QCOMPARE(w.ports.MIDIInput1.messageCount(), 1);
    QCOMPARE(w.backend.Log, (QStringList{"in open 0", "in close", "in open 0"}));
}

// Messages come from another thread, as fast as it can deliver them, while the
// user-interface thread forwards them: none is lost or reordered and the event loop
// keeps running its timers.
void TestMidiPorts::floodFromAnotherThread() {
    World w({"Keys:out"}, {"Bit01:in"});
    w.midi.OpenMidiIn("Keys:out");
    w.midi.OpenMidiOut("Bit01:in");
    w.code.MIDIThru = kOn;
    QObject::connect(&w.ports.MIDIInput1, &MIDIInput::Message, &w.ports.MIDIInput1,
                     [&] { MIDIInput1_Message(w.code, w.ports); });
    constexpr int kMessages = 200000;
    w.backend.Sent.reserve(kMessages);

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    sinceTick.start();
    ticker.start(5);

    std::atomic<bool> done{false};
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i)
            w.backend.receive({uint8_t(0x90 | (i % 16)), uint8_t((i >> 4) & 0x7F), uint8_t((i >> 11) & 0x7F)});
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done && w.ports.MIDIInput1.messageCount() == 0 &&
                                 w.backend.Sent.size() == size_t(kMessages), 60000);
    sender.join();
    ticker.stop();

    for (int i = 0; i < kMessages; ++i) {
        const Bytes expected{uint8_t(0x90 | (i % 16)), uint8_t((i >> 4) & 0x7F), uint8_t((i >> 11) & 0x7F)};
        if (w.backend.Sent[size_t(i)].Data != expected)
            QFAIL(qPrintable(QStringLiteral("message %1 out of order").arg(i)));
    }
    QCOMPARE(w.ports.MIDIInput1.overflows(), quint64(0));
    // A build with the sanitizers and the fuzzers' coverage runs several times slower;
    // the bound still catches a loop that drains without end.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    constexpr qint64 kLongestStall = 1000;
#else
    constexpr qint64 kLongestStall = 250;
#endif
#else
    constexpr qint64 kLongestStall = 250;
#endif
    QVERIFY2(longestGap < kLongestStall,
             qPrintable(QStringLiteral("event loop stalled %1 ms").arg(longestGap)));
}

// Without a MIDI system the program works as usual: the default output alone, which
// opens and takes every message, and no input.
void TestMidiPorts::noMidiSystem() {
    MidiWorld world(openNoMidi());
    QCOMPARE(world.system().systemName(), QStringLiteral("none"));
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;
    code.InitPatchModel();
    code.Midi = &midi;
    QCOMPARE(int(ports.MIDIInput1.DeviceCount()), 0);
    QCOMPARE(int(ports.MIDIOutput1.DeviceCount()), 0);
    midi.OpenMidiIn("Keys:out");
    midi.OpenMidiOut("Bit01:in");
    QVERIFY(!ports.MIDIInput1.isOpen());
    QVERIFY(ports.MIDIOutput1.isOpen());
    QCOMPARE(ports.MIDIOutput1.ProductName(), MidiBackend::defaultOutputName());
    QCOMPARE(ports.MIDIInput1.ProductName(), QString());
    code.SendPatch(1);
    midi.PlayNoteOn(1, 60, 70);
    QCOMPARE(ports.MIDIInput1.messageCount(), 0);
}

QTEST_GUILESS_MAIN(TestMidiPorts)
#include "tst_midiports.moc"
