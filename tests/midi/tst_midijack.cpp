#include "CaptureClient.h"
#include "Flood.h"
#include "JackServer.h"

#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "midi/MidiBackend.h"
#include "support/SystemMidiWorld.h"
#include "midi/MidiThru.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <jack/jack.h>

#include <atomic>
#include <thread>
#include <unistd.h>

using Bytes = CaptureClient::Bytes;

namespace {
const char* const kCaptureInput = "capture:input";
const char* const kCaptureOutput = "capture:output";

// The program's MIDI side on the JACK server of the test.
struct World : SystemMidiWorld<MidiBackend> {
    QuenlorCode code;

    World() : SystemMidiWorld(openJackMidi()) {
        if (!backend)
            return;
        code.Midi = midi;
        code.InitPatchModel();
    }
};

} // namespace

// The port component on a real JACK server, read by a client of the test's own.
class TestMidiJack : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void systemChoice();
    void defaultOutputIsAPortOfClientQuenlor();
    void devicesAreTheOtherClientsPorts();
    void patchDumpThenProgramChange();
    void closeRemovesOnlyTheProgramsConnection();
    void thruForwardsNotesInOrder();
    void thruWithinCableSpeed();
    void thruFarBeyondCableSpeed();

private:
    void floodThru(bool beyond);

    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
};

void TestMidiJack::initTestCase() {
    // JACK must be there: without it these tests fail, they are not skipped.
    QVERIFY2(m_server.Start(), qPrintable(m_server.error()));
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
}

void TestMidiJack::cleanupTestCase() {
    m_capture.reset();
    m_server.stop();
}

void TestMidiJack::init() { m_capture->clearReceived(); }

void TestMidiJack::systemChoice() {
    std::unique_ptr<MidiBackend> system = openSystemMidi();
    const bool alsa = access("/dev/snd/seq", R_OK | W_OK) == 0;
    QCOMPARE(system->systemName(), alsa ? QStringLiteral("ALSA") : QStringLiteral("JACK"));
}

void TestMidiJack::defaultOutputIsAPortOfClientQuenlor() {
    World w;
    QVERIFY(w.backend);
    QCOMPARE(w.backend->systemName(), QStringLiteral("JACK"));
    jack_port_t* port = jack_port_by_name(m_capture->client(), "Quenlor:MIDI Out");
    QVERIFY(port);
    QVERIFY(jack_port_flags(port) & JackPortIsOutput);
    QCOMPARE(QString::fromLatin1(jack_port_type(port)), QString::fromLatin1(JACK_DEFAULT_MIDI_TYPE));
    QCOMPARE(w.ports->MIDIOutput1.ProductName(), QStringLiteral("Quenlor:MIDI Out"));
    QVERIFY(jack_port_by_name(m_capture->client(), "Quenlor:MIDI In"));
}

void TestMidiJack::devicesAreTheOtherClientsPorts() {
    World w;
    QVERIFY(w.backend);
    const QStringList inputs = w.backend->inputNames();
    const QStringList outputs = w.backend->outputNames();
    QVERIFY2(inputs.contains(kCaptureOutput), qPrintable(inputs.join(", ")));
    QVERIFY2(outputs.contains(kCaptureInput), qPrintable(outputs.join(", ")));
    for (const QString& name : inputs + outputs)
        QVERIFY2(!name.startsWith("Quenlor:"), qPrintable(name));
    // A second program's client gets another name; its ports are devices like any other.
    World second;
    QVERIFY(second.backend);
    QVERIFY(second.backend->outputNames().filter(QRegularExpression("^Quenlor:")).size() == 1);
}

void TestMidiJack::patchDumpThenProgramChange() {
    World w;
    QVERIFY(w.backend);
    w.midi->OpenMidiOut(kCaptureInput);
    QTRY_VERIFY(m_capture->connected("Quenlor:MIDI Out", kCaptureInput));
    w.code.PatchBank(1, 10) = 3;
    w.code.MIDIChannelOut = 1;
    w.code.SendPatch(1);
    const Bytes dump(w.code.PatchDump.data(), w.code.PatchDump.data() + 80);
    QTRY_COMPARE(m_capture->receivedCount(), size_t(2));
    QTest::qWait(100); // nothing else follows
    QCOMPARE(m_capture->received(), (std::vector<Bytes>{dump, Bytes{0xC0, 0x00}}));
    QCOMPARE(dump.front(), uint8_t(0xF0));
    QCOMPARE(dump.back(), uint8_t(0xF7));
}

void TestMidiJack::closeRemovesOnlyTheProgramsConnection() {
    World w;
    QVERIFY(w.backend);
    // A patchbay connects the default output to the capture client.
    QCOMPARE(jack_connect(m_capture->client(), "Quenlor:MIDI Out", kCaptureInput), 0);
    w.midi->OpenMidiOut(MidiBackend::defaultOutputName());
    w.midi->PlayNoteOn(2, 60, 70);
    QTRY_COMPARE(m_capture->received(), (std::vector<Bytes>{{0x91, 60, 70}}));

    // As OK in the options dialog does: close and reopen.
    w.midi->CloseMidiOut();
    w.midi->PlayNoteOff(2, 60); // goes nowhere while closed
    w.midi->OpenMidiOut(MidiBackend::defaultOutputName());
    QTRY_VERIFY(m_capture->connected("Quenlor:MIDI Out", kCaptureInput));
    w.midi->PlayNoteOff(2, 61);
    QTRY_COMPARE(m_capture->receivedCount(), size_t(2));
    QCOMPARE(m_capture->received().back(), (Bytes{0x91, 61, 0}));
    jack_disconnect(m_capture->client(), "Quenlor:MIDI Out", kCaptureInput);

    // A connection the program made goes with the close.
    w.midi->OpenMidiOut(kCaptureInput);
    QTRY_VERIFY(m_capture->connected("Quenlor:MIDI Out", kCaptureInput));
    w.midi->CloseMidiOut();
    QVERIFY(!m_capture->connected("Quenlor:MIDI Out", kCaptureInput));
}

void TestMidiJack::thruForwardsNotesInOrder() {
    World w;
    QVERIFY(w.backend);
    w.midi->OpenMidiIn(kCaptureOutput);
    w.midi->OpenMidiOut(kCaptureInput);
    QTRY_VERIFY(m_capture->connected(kCaptureOutput, "Quenlor:MIDI In"));
    w.code.MIDIThru = kOn;
    w.code.MIDIChannelOut = 5;
    QObject::connect(&w.ports->MIDIInput1, &MIDIInput::Message, &w.ports->MIDIInput1,
                     [&] { MIDIInput1_Message(w.code, *w.ports); });
    std::vector<Bytes> notes;
    for (uint8_t n = 0; n < 100; ++n)
        notes.push_back({uint8_t(0x92 + (n % 2 ? 0x00 : -0x10)), n, uint8_t(127 - n)});
    notes.push_back({0xC2, 7});
    for (const Bytes& n : notes)
        m_capture->play(n);
    QTRY_COMPARE(m_capture->receivedCount(), notes.size());
    QTest::qWait(50);
    QCOMPARE(m_capture->received(), notes);

    // With thru off the same input produces nothing.
    m_capture->clearReceived();
    w.code.MIDIThru = kOff;
    m_capture->play({0x92, 60, 100});
    QTRY_COMPARE(w.ports->MIDIInput1.messageCount(), 0);
    QTest::qWait(50);
    QCOMPARE(m_capture->receivedCount(), size_t(0));
}

// Input within what a cable carries is forwarded whole, in order and at cable spacing;
// input far beyond it is forwarded in order with the overflow dropped and counted, while
// the event loop keeps running its timers and memory stays bounded.
void TestMidiJack::thruWithinCableSpeed() {
    floodThru(false);
}
void TestMidiJack::thruFarBeyondCableSpeed() {
    floodThru(true);
}

void TestMidiJack::floodThru(bool beyond) {
    World w;
    QVERIFY(w.backend);
    w.midi->OpenMidiIn(kCaptureOutput);
    w.midi->OpenMidiOut(kCaptureInput);
    QTRY_VERIFY(m_capture->connected(kCaptureOutput, "Quenlor:MIDI In"));
    w.code.MIDIThru = kOn;
    QObject::connect(&w.ports->MIDIInput1, &MIDIInput::Message, &w.ports->MIDIInput1,
                     [&] { MIDIInput1_Message(w.code, *w.ports); });
    const auto dropped = [&] { return std::size_t(w.ports->MIDIOutput1.droppedMessages()); };
    if (beyond)
        Flood::beyondCable(*m_capture, dropped);
    else
        Flood::withinCable(*m_capture, dropped);
    QCOMPARE(w.ports->MIDIInput1.overflows(), quint64(0));
}

QTEST_GUILESS_MAIN(TestMidiJack)
#include "tst_midijack.moc"
