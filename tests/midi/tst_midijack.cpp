#include "Flood.h"
#include "JackServer.h"
#include "JackWorld.h"

#include "midi/MIDIUtilities.h"
#include "midi/MidiBackend.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <jack/jack.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <pthread.h>
#include <unistd.h>

using Bytes = CaptureClient::Bytes;

// Allocations on one thread, the program's JACK process thread while a test watches it.
// The sanitizers bring their own operator new, and their first touch of memory is slow:
// their builds count nothing and do not time the process callback.
namespace {
std::atomic<pthread_t> g_watchedThread{};
std::atomic<int> g_watchedAllocations{0};
} // namespace

#if !defined(__has_feature)
#define __has_feature(feature) 0
#endif
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
void* operator new(std::size_t size) {
    const pthread_t watched = g_watchedThread.load(std::memory_order_relaxed);
    if (watched && pthread_equal(watched, pthread_self())) ++g_watchedAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {
const char* const kCaptureInput = "capture:input";
const char* const kCaptureOutput = "capture:output";

using World = JackWorld;

const Bytes kProgramZero{0xC0, 0};

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
    void patchThroughThruBeyondCableSpeed();
    void patchesLeaveWhole_data();
    void patchesLeaveWhole();
    void inputHearsThePatchbay_data();
    void inputHearsThePatchbay();

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
    // A second program's client gets another name (Quenlor-01); neither sees the other's
    // ports as devices, which would pass each one's messages round again.
    World second;
    QVERIFY(second.backend);
    QCOMPARE(second.backend->clientName(), QStringLiteral("Quenlor-01"));
    for (auto* backend : {w.backend, second.backend})
        QCOMPARE((backend->inputNames() + backend->outputNames()).filter("Quenlor"), QStringList());
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
    QTRY_VERIFY(!m_capture->connected("Quenlor:MIDI Out", kCaptureInput)); // learnt a moment later
}

void TestMidiJack::thruForwardsNotesInOrder() {
    World w;
    QVERIFY(w.backend);
    QVERIFY(w.openCapture(*m_capture));
    w.forwardInput();
    w.code.MIDIChannelOut = 5;
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
    QVERIFY(w.openCapture(*m_capture));
    w.forwardInput();
    const auto dropped = [&] { return std::size_t(w.ports->MIDIOutput1.droppedMessages()); };
    // The process callback neither allocates nor takes longer with the flood.
    w.backend->takeLongestCycle();
    g_watchedAllocations = 0;
    g_watchedThread = w.backend->processThread();
    if (beyond)
        Flood::beyondCable(*m_capture, dropped);
    else
        Flood::withinCable(*m_capture, dropped);
    g_watchedThread = pthread_t();
    const auto longest = w.backend->takeLongestCycle();
    qInfo("the process callback took at most %lld us a cycle", qlonglong(longest.count()));
    QCOMPARE(g_watchedAllocations.load(), 0);
    QVERIFY(kSanitized || longest < std::chrono::milliseconds(5)); // a period of the server
    QCOMPARE(w.ports->MIDIInput1.overflows(), quint64(0));
}

// Input forwarded at 1.2 times what the cable carries holds a patch back no longer than
// about its own length: the program's messages get at least half of the cable.
void TestMidiJack::patchThroughThruBeyondCableSpeed() {
    World w;
    QVERIFY(w.backend);
    QVERIFY(w.openCapture(*m_capture));
    w.forwardInput();
    // 1,250 notes of 960 us a second, for 3 s.
    std::atomic<bool> stop{false};
    std::thread player([&] {
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < 750 && !stop; ++i) {
            for (int k = 0; k < 5; ++k)
                m_capture->play({0x91, uint8_t((i * 5 + k) % 128), 64});
            next += std::chrono::milliseconds(4);
            std::this_thread::sleep_until(next);
        }
    });
    QTest::qWait(1000);
    const jack_nframes_t sent = jack_frame_time(m_capture->client());
    w.edit(5);
    const auto programAt = [&] {
        const std::vector<Bytes> r = m_capture->received();
        const auto it = std::find(r.begin(), r.end(), kProgramZero);
        return it == r.end() ? -1 : it - r.begin();
    };
    QTRY_VERIFY_WITH_TIMEOUT(programAt() >= 0, 10000);
    stop = true;
    player.join();
    const jack_nframes_t out = m_capture->receivedFrames().at(std::size_t(programAt()));
    const double ms = double(int32_t(out - sent)) * 1000 / m_capture->sampleRate();
    qInfo("thru at 1.2 times cable speed: the patch was out %.1f ms after it was sent", ms);
    // About 45 ms on a quiet machine: one forwarded message, the patch and JACK's periods.
    QVERIFY2(ms < 100, qPrintable(QString::number(ms)));
}

// Patches sent as a slider's changes send them, every 5 ms, reach the instrument whole,
// each dump followed by its Program Change, the last patch last; however the program
// ends (the ports close with the MIDI world) and when the options dialog reopens the
// output, even in the pause after the patch before. With the server standing still, the
// patches wait in the queue, where each replaces the one before: once the server goes
// on, the last patch goes out and nothing stale is replayed.
// Whatever reaches "Quenlor:MIDI In" is heard, whatever "MIDI in" names: a player that a
// patchbay connected goes on through thru; "(none)" connects nothing of its own.
void TestMidiJack::inputHearsThePatchbay_data() {
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("connects"); // the program connects the capture client's output
    QTest::newRow("(none)") << "(none)" << false;
    QTest::newRow("the capture client") << QString(kCaptureOutput) << true;
}

void TestMidiJack::inputHearsThePatchbay() {
    QFETCH(QString, choice);
    QFETCH(bool, connects);
    World w;
    QVERIFY(w.backend);
    CaptureClient player("player");
    QVERIFY(player.isOpen());
    w.midi->OpenMidiOut(kCaptureInput);
    w.midi->OpenMidiIn(choice);
    w.forwardInput();
    QCOMPARE(jack_connect(player.client(), "player:output", "Quenlor:MIDI In"), 0);
    QTRY_VERIFY(player.connected("player:output", "Quenlor:MIDI In") &&
                m_capture->connected("Quenlor:MIDI Out", kCaptureInput));
    QCOMPARE(m_capture->connected(kCaptureOutput, "Quenlor:MIDI In"), connects);
    player.play({0x91, 64, 90});
    QTRY_COMPARE(m_capture->received(), (std::vector<Bytes>{{0x91, 64, 90}}));
}

void TestMidiJack::patchesLeaveWhole_data() {
    QTest::addColumn<int>("dragMs");
    QTest::addColumn<int>("pause");
    QTest::addColumn<QString>("then");
    QTest::newRow("quit 10 ms after an edit") << 0 << 0 << "quit";
    QTest::newRow("quit in the pause after the patch before") << 0 << 500 << "quit";
    QTest::newRow("options reopens the output") << 0 << 500 << "reopen";
    QTest::newRow("slider dragged for 2 s") << 2000 << 0 << "quit";
    // Last: a server that stood still runs its cycles out of step with the clock a while.
    QTest::newRow("slider dragged for 2 s, server stalled") << 2000 << 0 << "stall";
}

void TestMidiJack::patchesLeaveWhole() {
    QFETCH(int, dragMs);
    QFETCH(int, pause);
    QFETCH(QString, then);
    Bytes last;
    {
        World w;
        QVERIFY(w.backend);
        w.midi->OpenMidiOut(kCaptureInput);
        QTRY_VERIFY(m_capture->connected("Quenlor:MIDI Out", kCaptureInput));
        w.ports->MIDIOutput1.setPauseAfterPatch(pause);
        if (then == "stall") {
            m_server.freeze();
            QTest::qWait(50);
        }
        QElapsedTimer dragged;
        dragged.start();
        for (int value = 1; value <= 2 || dragged.elapsed() < dragMs; ++value) {
            last = w.edit(value % 128);
            QTest::qWait(5);
        }
        if (then == "stall") {
            QVERIFY(!w.ports->MIDIOutput1.waitUntilSent(std::chrono::milliseconds(200)));
            m_server.thaw();
        } else if (then == "reopen") {
            w.midi->CloseMidiOut();
            w.midi->OpenMidiOut(kCaptureInput);
        }
    }
    const std::vector<Bytes> received = m_capture->received();
    qInfo("%zu dumps and %zd Program Changes on the wire", std::size_t(std::count_if(
              received.begin(), received.end(), [](const Bytes& m) { return m.size() == 80; })),
          std::count(received.begin(), received.end(), kProgramZero));
    QVERIFY(!received.empty() && received.size() % 2 == 0);
    for (std::size_t i = 0; i < received.size(); i += 2)
        QVERIFY(received[i].size() == 80 && received[i + 1] == kProgramZero);
    QCOMPARE(received.at(received.size() - 2), last);
    // At most the patch handed over before the stall could show, then the last one.
    if (then == "stall") QVERIFY2(received.size() <= 4, qPrintable(QString::number(received.size())));
}

QTEST_GUILESS_MAIN(TestMidiJack)
#include "tst_midijack.moc"
