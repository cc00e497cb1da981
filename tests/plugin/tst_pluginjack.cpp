#include "core/CablePacing.h"
#include "core/PatchTransmission.h"
#include "core/PluginInterface.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "support/ChildProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <QTest>
#include <QThread>

// The plugin in jalv, the reference host, on a JACK server: a change of a control
// reaches a JACK client as the patch's dump and Program Change at the cable's pace, and
// the track's notes pass.
class TestPluginJack : public QObject {
    Q_OBJECT
private slots:
    void changeAndNotesReachTheInstrument();
};

namespace {
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}
} // namespace

void TestPluginJack::changeAndNotesReachTheInstrument() {
    // Asynchronous: a synchronous server stalls on a client that ends, and a server
    // that has to be killed keeps its slot in JACK's registry (after eight, none starts).
    JackServer server(false);
    QVERIFY2(server.Start(), qPrintable(server.error()));
    // jalv reads its commands from its standard input. The control changes once the
    // test has connected the ports (the recall goes before) and says so with a file, so
    // that a slow start of jalv on a busy machine cannot send the change to no one; jalv
    // ends by itself when its input does, before the server stops.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString connected = folder.filePath("connected");
    ChildProcess jalv;
    QVERIFY(jalv.start(
        {"sh", "-c",
         QStringLiteral("(while [ ! -e '%3' ]; do sleep 0.05; done; echo 'p19 = 50'; sleep 4) | "
                        "LV2_PATH='%1' exec setpriv --pdeathsig TERM -- '%4' -n bit01 -x -c "
                        "channel=2 %2")
             .arg(QStringLiteral(QUENLOR_LV2_FOLDER), PluginInterface::kUri, connected,
                  QStringLiteral(QUENLOR_JALV))}));
    CaptureClient capture;
    QVERIFY(capture.isOpen());
    QVERIFY2(waitFor([&] {
                 return jack_port_by_name(capture.client(), "bit01:midi_out") != nullptr;
             }, 10000),
             jalv.output("err").constData());
    QCOMPARE(jack_connect(capture.client(), "bit01:midi_out", "capture:input"), 0);
    QCOMPARE(jack_connect(capture.client(), "capture:output", "bit01:midi_in"), 0);
    QVERIFY(QFile(connected).open(QIODevice::WriteOnly));

    PatchValues values = PatchTransmission::blankPatch();
    values[19] = 50;
    ValuesEncoder encoder;
    SysExMessage dump;
    encoder.encode(values, false, 2, dump);
    const CaptureClient::Bytes changed(dump.data(), dump.data() + dump.size());
    // The recall may be heard in part or whole, as the connection comes during it; what
    // counts is what follows the changed patch's dump.
    const auto changedAt = [&] {
        const auto received = capture.received();
        return std::size_t(std::find(received.begin(), received.end(), changed) - received.begin());
    };
    QVERIFY2(waitFor([&] { return capture.receivedCount() >= changedAt() + 2; }, 10000),
             jalv.output("out").right(400).constData());
    const CaptureClient::Bytes note{0x91, 64, 90};
    capture.play(note);
    const std::size_t at = changedAt();
    QVERIFY(waitFor([&] { return capture.receivedCount() >= at + 3; }, 5000));

    const auto received = capture.received();
    const auto frames = capture.receivedFrames();
    QCOMPARE(received[at + 1], (CaptureClient::Bytes{0xC1, 0x00}));
    QCOMPARE(received[at + 2], note);
    const int64_t gap = int32_t(frames[at + 1] - frames[at]);
    QCOMPARE(gap, int64_t(CablePacing::framesFor(CablePacing::cableMicros(dump.size()),
                                                 capture.sampleRate())));
    QVERIFY(jalv.waitForFinished(15000));
}

QTEST_GUILESS_MAIN(TestPluginJack)
#include "tst_pluginjack.moc"
