#include "JackServer.h"
#include "JackWorld.h"

#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QThread>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <thread>

#include <jack/jack.h>

using Bytes = CaptureClient::Bytes;

namespace {
const char* const kCaptureInput = "capture:input";
const char* const kCaptureOutput = "capture:output";
const char* const kProgramIn = "Quenlor:MIDI In";
const char* const kProgramOut = "Quenlor:MIDI Out";
const Bytes kProgramZero{0xC0, 0x00};

// Without a server a send that takes longer than this counts as a hang.
constexpr qint64 kLongestSendUs = 100 * 1000;
// With the server there but nothing connected, a send may wait for the server to take
// the messages before it (half a second at most, then the message is dropped); a send
// taking longer than this counts as a hang.
constexpr qint64 kLongestHeldSendUs = 1000 * 1000;
// Rounds of sending while the server is gone: more dumps than the output buffer holds,
// so that a send waiting for room that never comes would show.
constexpr int kRoundsWithoutServer = 1000;

// The program's MIDI side on JACK, with the settings store the options dialog saves to.
struct World : JackWorld {
    MemorySettingsStore store;

    World() {
        code.MIDIChannelOut = 1;
        code.MIDIThru = kOn;
    }
};

// Every kind of message the program sends, `rounds` times over: patch dumps with their
// Program Change and test notes. The longest single call, in microseconds.
// The dump, then its Program Change and a forwarded message in either order: a message
// passed on waits only for the one on the cable, so it may go ahead of the Program Change.
bool dumpThenBoth(const std::vector<Bytes>& received, const Bytes& dump, const Bytes& forwarded) {
    const std::vector<Bytes> rest = {kProgramZero, forwarded};
    return received.size() == 3 && received[0] == dump &&
           std::is_permutation(received.begin() + 1, received.end(), rest.begin());
}

qint64 sendEverything(World& w, int rounds) {
    qint64 longest = 0;
    QElapsedTimer one;
    auto lap = [&] {
        longest = std::max(longest, one.nsecsElapsed() / 1000);
        one.start();
    };
    for (int r = 0; r < rounds; ++r) {
        one.start();
        w.code.SendPatch(1 + r % 74);
        lap();
        w.midi->PlayNoteOn(1, 60, 70);
        lap();
        w.midi->PlayNoteOff(1, 60);
        lap();
    }
    return longest;
}
} // namespace

// The MIDI side when the MIDI system fails under the running program: the JACK server
// stopping or crashing and coming back, the instrument unplugged and plugged in again.
class TestMidiFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    // The JACK server goes away and comes back.
    void serverGoneAndBack_data();
    void serverGoneAndBack();
    void okWhileTheServerIsGone();

    // The instrument goes away and comes back.
    void instrumentUnpluggedAndBack();
    void memoryDeviceUnpluggedAndBack();
    void storedDevicesStartedLater();

private:
    void endServer(const QString& how);
    void restartServer();
    void plugInCapture();

    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
};

void TestMidiFaults::initTestCase() {
    // JACK must be there: without it these tests fail, they are not skipped.
    QVERIFY2(m_server.Start(), qPrintable(m_server.error()));
    plugInCapture();
}

void TestMidiFaults::cleanupTestCase() {
    m_capture.reset();
    m_server.stop();
}

// A case that failed while the server was gone leaves it gone: start it again.
void TestMidiFaults::init() {
    if (!m_capture)
        restartServer();
    m_capture->clearReceived();
}

// The capture client dies with the server and is closed at once: libjack must not
// try a new client in this process while a dead one is open.
void TestMidiFaults::endServer(const QString& how) {
    if (how == QLatin1String("crashed"))
        m_server.crash();
    else
        m_server.stop();
    m_capture.reset();
}

void TestMidiFaults::restartServer() {
    QVERIFY2(m_server.Start(), qPrintable(m_server.error()));
    plugInCapture();
}

// With other servers starting on the machine at the same moment, a client's first try
// can fail; the capture client tries for a few seconds.
void TestMidiFaults::plugInCapture() {
    QElapsedTimer tried;
    tried.start();
    for (;;) {
        m_capture = std::make_unique<CaptureClient>();
        if (m_capture->isOpen() || tried.elapsed() > 5000)
            break;
        QThread::msleep(50);
    }
    QVERIFY(m_capture->isOpen());
}

void TestMidiFaults::serverGoneAndBack_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("server stopped") << QStringLiteral("stopped");
    QTest::newRow("server crashed") << QStringLiteral("crashed");
}

// While the server is gone every send returns at once and nothing breaks; once it is
// back, OK in the options dialog reconnects the ports chosen before, and the next
// dump reaches the instrument with nothing of what was sent meanwhile.
void TestMidiFaults::serverGoneAndBack() {
    QFETCH(QString, how);
    World w;
    QVERIFY(w.backend);
    // The main window handles input from the start; a delivery that finds no handler
    // would leave the queue as it is.
    w.forwardInput();
    QVERIFY(w.openCapture(*m_capture));
    w.code.SendPatch(1);
    QTRY_COMPARE(m_capture->received(), (std::vector<Bytes>{w.dump(), kProgramZero}));

    // Input waiting in the port's queue when the server goes: thru forwards it into nothing.
    constexpr int kWaiting = 50;
    for (int i = 0; i < kWaiting; ++i)
        m_capture->play({0x90, uint8_t(i), 100});
    QElapsedTimer waited;
    waited.start();
    while (w.ports->MIDIInput1.messageCount() < kWaiting && waited.elapsed() < 5000)
        QThread::msleep(5); // no events: the queue is not drained yet
    QCOMPARE(w.ports->MIDIInput1.messageCount(), kWaiting);

    endServer(how);
    QTRY_VERIFY(!w.backend->connected());
    QTRY_COMPARE(w.ports->MIDIInput1.messageCount(), 0);

    QElapsedTimer all;
    all.start();
    // Meanwhile the device news asks whether the output's connection stands, while the
    // sender thread closes the dead client.
    std::atomic<bool> sending{true};
    std::thread asking([&] {
        while (sending)
            w.ports->Devices.outputConnected();
    });
    const qint64 longest = sendEverything(w, kRoundsWithoutServer);
    sending = false;
    asking.join();
    const double totalMs = all.nsecsElapsed() / 1e6;
    qInfo("%s server: %d dumps, Program Changes and note pairs in %.2f ms, the longest call %lld us",
          qPrintable(how), kRoundsWithoutServer, totalMs, longest);
    QVERIFY2(longest < kLongestSendUs, qPrintable(QStringLiteral("a send took %1 us").arg(longest)));

    restartServer();
    {
        Options dialog(w.code, *w.midi, *w.ports, w.store);
        // The lists show the new server's devices with the ones chosen before selected.
        QCOMPARE(dialog.MidiOutCombo->currentText(), QString(kCaptureInput));
        QCOMPARE(dialog.MidiInCombo->currentText(), QString(kCaptureOutput));
        dialog.btnOk_Click();
    }
    QVERIFY(w.backend->connected());
    QTRY_VERIFY(m_capture->connected(kProgramOut, kCaptureInput));
    QTRY_VERIFY(m_capture->connected(kCaptureOutput, kProgramIn));
    w.code.PatchBank(2, 19) = 99;
    w.code.SendPatch(2);
    m_capture->play({0x93, 64, 1});
    QTRY_COMPARE(m_capture->receivedCount(), size_t(3));
    QTest::qWait(100); // nothing else follows
    QVERIFY(dumpThenBoth(m_capture->received(), w.dump(), Bytes{0x93, 64, 1}));
}

// OK while there is no server at all returns at once and leaves the program sending
// into nothing; once the server is back, the dialog lists its devices again and OK
// with them chosen reconnects. The default output port comes back with the client.
void TestMidiFaults::okWhileTheServerIsGone() {
    World w;
    QVERIFY(w.backend);
    QVERIFY(w.openCapture(*m_capture));
    endServer(QStringLiteral("crashed"));
    QTRY_VERIFY(!w.backend->connected());

    QElapsedTimer ok;
    ok.start();
    {
        Options dialog(w.code, *w.midi, *w.ports, w.store);
        QCOMPARE(dialog.MidiInCombo->count(), 1);  // "(none)" alone
        QCOMPARE(dialog.MidiOutCombo->count(), 1); // the default output alone
        dialog.btnOk_Click();
    }
    qInfo("opening the options dialog and OK without a server: %lld ms", ok.elapsed());
    QVERIFY(ok.elapsed() < 2000);
    QVERIFY(!w.backend->connected());
    QVERIFY(sendEverything(w, 10) < kLongestSendUs);

    restartServer();
    {
        Options dialog(w.code, *w.midi, *w.ports, w.store);
        QCOMPARE(dialog.MidiOutCombo->findText(kCaptureInput), 1);
        QCOMPARE(dialog.MidiInCombo->findText(kCaptureOutput), 1);
        // With the output left on the default, the program's own port is back for a
        // patchbay to connect.
        dialog.btnOk_Click();
    }
    QVERIFY(w.backend->connected());
    QCOMPARE(w.ports->MIDIOutput1.ProductName(), QString(kProgramOut));
    QCOMPARE(jack_connect(m_capture->client(), kProgramOut, kCaptureInput), 0);
    w.midi->PlayNoteOn(3, 61, 62);
    QTRY_COMPARE(m_capture->received(), (std::vector<Bytes>{{0x92, 61, 62}}));
    QCOMPARE(jack_disconnect(m_capture->client(), kProgramOut, kCaptureInput), 0);
    m_capture->clearReceived();

    {
        Options dialog(w.code, *w.midi, *w.ports, w.store);
        dialog.MidiOutCombo->setCurrentIndex(dialog.MidiOutCombo->findText(kCaptureInput));
        dialog.MidiInCombo->setCurrentIndex(dialog.MidiInCombo->findText(kCaptureOutput));
        dialog.btnOk_Click();
    }
    w.code.SendPatch(5);
    QTRY_COMPARE(m_capture->received(), (std::vector<Bytes>{w.dump(), kProgramZero}));
}

// The instrument's client leaves the server and comes back under the same port names:
// sends meanwhile go nowhere and return at once; OK then reconnects by the names.
void TestMidiFaults::instrumentUnpluggedAndBack() {
    World w;
    QVERIFY(w.backend);
    QVERIFY(w.openCapture(*m_capture));
    w.forwardInput();

    m_capture.reset(); // unplugged
    QTRY_VERIFY(!w.backend->outputNames().contains(kCaptureInput));
    QElapsedTimer all;
    all.start();
    const qint64 longest = sendEverything(w, kRoundsWithoutServer);
    qInfo("instrument unplugged: %d dumps, Program Changes and note pairs in %.2f ms, the longest call %lld us",
          kRoundsWithoutServer, all.nsecsElapsed() / 1e6, longest);
    QVERIFY2(longest < kLongestHeldSendUs, qPrintable(QStringLiteral("a send took %1 us").arg(longest)));
    {
        // Opening the dialog meanwhile lists what is there, and Cancel changes nothing.
        Options dialog(w.code, *w.midi, *w.ports, w.store);
        QCOMPARE(dialog.MidiOutCombo->count(), 1);
        dialog.btnCancel_Click();
    }

    plugInCapture(); // plugged in again: both ports take it back by themselves
    QTRY_VERIFY(m_capture->connected(kProgramOut, kCaptureInput));
    QTRY_VERIFY(m_capture->connected(kCaptureOutput, kProgramIn));
    w.code.SendPatch(7);
    m_capture->play({0xB4, 7, 100});
    QTRY_COMPARE(m_capture->receivedCount(), size_t(3));
    QTest::qWait(100);
    QVERIFY(dumpThenBoth(m_capture->received(), w.dump(), Bytes{0xB4, 7, 100}));

    // The dialog shows the device in use, and OK connects to it again by its name.
    {
        Options dialog(w.code, *w.midi, *w.ports, w.store);
        QCOMPARE(dialog.MidiOutCombo->currentText(), QString(kCaptureInput));
        QCOMPARE(dialog.MidiInCombo->currentText(), QString(kCaptureOutput));
        dialog.btnOk_Click();
    }
    m_capture->clearReceived();
    QTRY_VERIFY(m_capture->connected(kCaptureOutput, kProgramIn));
    w.code.SendPatch(9);
    QTRY_COMPARE(m_capture->received(), (std::vector<Bytes>{w.dump(), kProgramZero}));
}

// Devices stored in the settings whose client starts after the program: the ports
// open the defaults and take the devices when they appear, without the dialog.
void TestMidiFaults::storedDevicesStartedLater() {
    m_capture.reset();
    World w;
    QVERIFY(w.backend);
    w.forwardInput();
    w.store.writeKey("MIDI", "MIDIOutPort", kCaptureInput);
    w.store.writeKey("MIDI", "MIDIInPort", kCaptureOutput);
    w.store.writeKey("MIDI", "MIDIThru", "Yes");
    LoadSettings(w.code, *w.midi, *w.ports, w.store);
    QCOMPARE(w.ports->MIDIOutput1.DeviceID(), MIDIOutput::kDefaultDevice);

    plugInCapture();
    QTRY_VERIFY(m_capture->connected(kProgramOut, kCaptureInput));
    QTRY_VERIFY(m_capture->connected(kCaptureOutput, kProgramIn));
    w.code.SendPatch(12);
    m_capture->play({0x95, 40, 1});
    QTRY_COMPARE(m_capture->receivedCount(), size_t(3));
    QTest::qWait(100);
    QVERIFY(dumpThenBoth(m_capture->received(), w.dump(), Bytes{0x95, 40, 1}));
}

// The same on the in-memory system, which lets the device come back at another place
// in the list: OK opens what the list shows, and the device chosen by its name.
void TestMidiFaults::memoryDeviceUnpluggedAndBack() {
    const QStringList inputs{"Keys:out"};
    const QStringList outputs{"Other:in", "Synth:Bit 01 in"};
    MemoryMidiWorld world(inputs, outputs);
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;
    code.Midi = &midi;
    code.InitPatchModel();
    code.MIDIChannelOut = 1;
    MemorySettingsStore store;
    midi.OpenMidiIn("Keys:out");
    midi.OpenMidiOut("Synth:Bit 01 in");
    QCOMPARE(backend.openOutputDevice(), 1);

    backend.clearRecord();
    backend.setDevices({}, {"Other:in"}); // the interface unplugged: back to the defaults
    QCoreApplication::processEvents();
    QCOMPARE(backend.Log, (QStringList{"out close", "out open -1", "in close"}));
    code.SendPatch(1);
    midi.PlayNoteOn(1, 60, 70);
    QCOMPARE(backend.Sent.size(), size_t(3));
    QCOMPARE(backend.Sent.back().Device, -1);
    {
        Options dialog(code, midi, ports, store);
        QCOMPARE(dialog.MidiInCombo->count(), 1); // "(none)" alone
        QCOMPARE(dialog.MidiInCombo->currentIndex(), -1);
        QCOMPARE(dialog.MidiOutCombo->count(), 2);
        QCOMPARE(dialog.MidiOutCombo->currentIndex(), 0); // the default, in use meanwhile
        dialog.btnCancel_Click();
    }

    backend.clearRecord();
    backend.setDevices(inputs, outputs); // back in its place: taken back by itself
    QCoreApplication::processEvents();
    // The input listened meanwhile: it stops before it connects the keys again.
    QCOMPARE(backend.Log, (QStringList{"out close", "out open 1", "in close", "in open 0"}));
    {
        Options dialog(code, midi, ports, store);
        QCOMPARE(dialog.MidiOutCombo->currentText(), QStringLiteral("Synth:Bit 01 in"));
        QCOMPARE(dialog.MidiInCombo->currentText(), QStringLiteral("Keys:out"));
        dialog.btnOk_Click();
    }
    QCOMPARE(backend.Log.mid(4), (QStringList{"in close", "out close", "in open 0", "out open 1"}));
    backend.clearRecord();
    code.SendPatch(1);
    QCOMPARE(backend.Sent.size(), size_t(2));
    QCOMPARE(backend.Sent.back().Device, 1);
    QCOMPARE(backend.Sent.back().Data, (Bytes{0xC0, 0x00}));

    backend.setDevices(inputs, {"Synth:Bit 01 in", "Other:in"}); // plugged in elsewhere
    {
        Options dialog(code, midi, ports, store);
        dialog.MidiOutCombo->setCurrentIndex(dialog.MidiOutCombo->findText("Synth:Bit 01 in"));
        dialog.btnOk_Click();
    }
    QCOMPARE(backend.openOutputDevice(), 0);
    backend.receive({0x90, 60, 1}); // the input is open again too
    QCOMPARE(ports.MIDIInput1.messageCount(), 1);
}

QTEST_MAIN(TestMidiFaults)
#include "tst_midifaults.moc"
