#include "CaptureClient.h"
#include "Flood.h"
#include "JackServer.h"

#include "app/BackgroundMDI.h"
#include "core/QuenlorCode.h"
#include "editors/Patch.h"
#include "midi/JackMidiBackend.h"
#include "midi/MIDIUtilities.h"
#include "midi/MidiPorts.h"
#include "settings/SettingsStore.h"
#include "support/FakeDesktop.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <jack/jack.h>

namespace {
const char* const kCaptureInput = "capture:input";
const char* const kCaptureOutput = "capture:output";

// The whole program on the JACK server of the test, started as at start-up with the
// settings naming the capture client's ports and MIDI thru on.
struct Program {
    std::unique_ptr<JackMidiBackend> backend = JackMidiBackend::Open();
    QuenlorCode code;
    std::unique_ptr<MidiPorts> ports;
    MIDIUtilities midi;
    MemorySettingsStore store;
    FakeDesktop desktop;
    std::unique_ptr<BackgroundMDI> window;

    bool start() {
        if (!backend)
            return false;
        store.WriteKey("MIDI", "MIDIInPort", kCaptureOutput);
        store.WriteKey("MIDI", "MIDIOutPort", kCaptureInput);
        store.WriteKey("MIDI", "MIDIThru", "Yes");
        ports = std::make_unique<MidiPorts>(*backend);
        window = std::make_unique<BackgroundMDI>(code, *ports, midi, store, desktop);
        window->MDIForm_Load();
        window->show();
        return true;
    }
};

} // namespace

// The whole program under MIDI load on a real JACK server.
class TestMidiLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mainWindowForwardsWithinCableSpeed();
    void mainWindowForwardsFarBeyondCableSpeed();

private:
    void flood(bool beyond);

    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
};

void TestMidiLoad::initTestCase() {
    // JACK must be there: without it these tests fail, they are not skipped.
    QVERIFY2(m_server.Start(), qPrintable(m_server.Error()));
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->IsOpen());
}

void TestMidiLoad::cleanupTestCase() {
    m_capture.reset();
    m_server.Stop();
}

// With thru on, the main window forwards input within cable speed whole and in order,
// and input far beyond it in order with the overflow dropped and the count in the status
// bar, while its windows keep answering; afterwards it still sends patches as before.
void TestMidiLoad::mainWindowForwardsWithinCableSpeed() { flood(false); }
void TestMidiLoad::mainWindowForwardsFarBeyondCableSpeed() { flood(true); }

void TestMidiLoad::flood(bool beyond) {
    m_capture->ClearReceived();
    Program p;
    QVERIFY(p.start());
    QVERIFY(QTest::qWaitForWindowExposed(p.window.get()));
    QTRY_VERIFY(m_capture->Connected("Quenlor:MIDI Out", kCaptureInput));
    QTRY_VERIFY(m_capture->Connected(kCaptureOutput, "Quenlor:MIDI In"));
    QCOMPARE(p.code.MIDIThru, kOn);
    // Start-up sent patch 1.
    QTRY_COMPARE(m_capture->ReceivedCount(), std::size_t(2));

    const auto dropped = [&] { return std::size_t(p.ports->MIDIOutput1.DroppedMessages()); };
    if (beyond)
        Flood::beyondCable(*m_capture, dropped);
    else
        Flood::withinCable(*m_capture, dropped);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(p.ports->MIDIInput1.Overflows(), quint64(0));
    QCOMPARE(p.ports->MIDIInput1.MessageCount(), 0);
    // The count in the status bar is brought up to date within a second.
    const QString shown = beyond ? QStringLiteral("MIDI Out: %1 messages dropped").arg(dropped()) : QString();
    QTRY_COMPARE_WITH_TIMEOUT(p.window->MidiDropStatus->text(), shown, 2000);

    // The patch list still answers a click with the patch.
    m_capture->ClearReceived();
    QListWidget* list = p.window->PatchWindow->PatchList;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(4)).center());
    QTRY_COMPARE(m_capture->ReceivedCount(), std::size_t(2));
    QCOMPARE(m_capture->Received().front().size(), std::size_t(80));
    QCOMPARE(m_capture->Received().back(), (Flood::Bytes{0xC0, 0x00}));
}

QTEST_MAIN(TestMidiLoad)
#include "tst_midiload.moc"
