#pragma once

#include "CaptureClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

// A flood of short messages played by the capture client into the program's input,
// with MIDI thru on: 10,000 a second for 10 seconds, of every kind of short message.
// While it runs, a timer on this thread (the user-interface thread) ticks every 5 ms;
// the longest gap between two ticks is the longest time the event loop stood still.
namespace Flood {

using Bytes = CaptureClient::Bytes;

constexpr int kPerSecond = 10000;
constexpr int kSeconds = 10;
constexpr int kMessages = kPerSecond * kSeconds;
constexpr int kTickMs = 5;
// Only a stall that no loaded machine explains fails the test; the figure is reported.
constexpr qint64 kAbsurdStallMs = 2000;
// What may be added to the resident memory over the flood: the capture client's own
// record of the messages takes about 6 MiB of it, the program's input queue (at most a
// million messages of 3 bytes) a few more.
constexpr qint64 kMemoryGrowthLimitKiB = 32 * 1024;

// Message i of the flood: the seven channel message kinds and the clock, on every
// channel, with data bytes taken from i so that neighbours differ.
inline Bytes message(int i) {
    const auto channel = uint8_t(i % 16);
    const auto d1 = uint8_t((i >> 3) & 0x7F);
    const auto d2 = uint8_t((i >> 10) & 0x7F);
    switch (i % 8) {
    case 0: return {uint8_t(0x80 | channel), d1, d2};
    case 1: return {uint8_t(0x90 | channel), d1, d2};
    case 2: return {uint8_t(0xA0 | channel), d1, d2};
    case 3: return {uint8_t(0xB0 | channel), d1, d2};
    case 4: return {uint8_t(0xC0 | channel), d1};
    case 5: return {uint8_t(0xD0 | channel), d1};
    case 6: return {uint8_t(0xE0 | channel), d1, d2};
    default: return {0xF8};
    }
}

// The resident and peak memory of this process in KiB, from /proc/self/status.
inline qint64 memoryKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

struct Figures {
    qint64 LongestStallMs = 0;
    qint64 RssBeforeKiB = 0;
    qint64 RssAfterKiB = 0;
    qint64 PeakKiB = 0;
    qint64 ElapsedMs = 0;
};

// Plays the flood and checks that every message comes out of the capture client's
// input, unchanged and in order; the event loop of this thread runs meanwhile. The
// capture client's ports must be connected to the program's before, and nothing else
// may arrive at its input.
inline void run(CaptureClient& capture, Figures& figures) {
    capture.ClearReceived();
    figures.RssBeforeKiB = memoryKiB("VmRSS");

    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { figures.LongestStallMs = std::max(figures.LongestStallMs, sinceTick.restart()); });
    QElapsedTimer elapsed;
    elapsed.start();
    sinceTick.start();
    ticker.start(kTickMs);

    std::atomic<bool> stop{false};
    std::thread player([&] {
        // Ten messages every millisecond.
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < kMessages && !stop; i += 10) {
            for (int k = 0; k < 10; ++k)
                capture.Play(message(i + k));
            next += std::chrono::milliseconds(1);
            std::this_thread::sleep_until(next);
        }
    });
    const bool all = QTest::qWaitFor([&] { return capture.ReceivedCount() >= std::size_t(kMessages); },
                                     (kSeconds + 20) * 1000);
    stop = true;
    player.join();
    ticker.stop();
    figures.ElapsedMs = elapsed.elapsed();
    figures.RssAfterKiB = memoryKiB("VmRSS");
    figures.PeakKiB = memoryKiB("VmHWM");
    qInfo("flood of %d messages: back after %lld ms, the event loop stood still at most %lld ms; "
          "resident memory %lld KiB before, %lld KiB after, peak %lld KiB",
          kMessages, figures.ElapsedMs, figures.LongestStallMs, figures.RssBeforeKiB, figures.RssAfterKiB,
          figures.PeakKiB);

    QVERIFY2(all, qPrintable(QStringLiteral("%1 of %2 arrived; the server reported %3 late cycles")
                                 .arg(capture.ReceivedCount())
                                 .arg(kMessages)
                                 .arg(capture.Xruns())));
    QTest::qWait(50); // nothing else follows
    const std::vector<Bytes> received = capture.Received();
    QCOMPARE(received.size(), std::size_t(kMessages));
    for (int i = 0; i < kMessages; ++i)
        if (received[std::size_t(i)] != message(i))
            QFAIL(qPrintable(QStringLiteral("message %1 changed or out of order").arg(i)));
    QVERIFY2(figures.LongestStallMs < kAbsurdStallMs,
             qPrintable(QStringLiteral("event loop stalled %1 ms").arg(figures.LongestStallMs)));
    QVERIFY2(figures.RssBeforeKiB > 0 && figures.RssAfterKiB - figures.RssBeforeKiB < kMemoryGrowthLimitKiB,
             qPrintable(QStringLiteral("resident memory grew from %1 KiB to %2 KiB")
                            .arg(figures.RssBeforeKiB)
                            .arg(figures.RssAfterKiB)));
}

} // namespace Flood
