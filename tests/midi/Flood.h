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

// Floods of short messages played by the capture client into the program's input, with
// MIDI thru on, of every kind of short message: one within what a MIDI cable carries,
// and one far beyond it. While a flood runs, a timer on this thread (the user-interface
// thread) ticks every 5 ms; the longest gap between two ticks is the longest time the
// event loop stood still.
namespace Flood {

using Bytes = CaptureClient::Bytes;

// About 760 us of cable a message on average (the mix below): 1,000 a second fill three
// quarters of a cable, 10,000 a second seven and a half cables.
struct Plan {
    int PerSecond;
    int Seconds;
    int messages() const { return PerSecond * Seconds; }
};
constexpr Plan kWithinCable{1000, 5};
constexpr Plan kBeyondCable{10000, 10};
constexpr int kTickMs = 5;
// Only a stall that no loaded machine explains fails the test; the figure is reported.
constexpr qint64 kAbsurdStallMs = 2000;
// What may be added to the resident memory over a flood: the capture client's record of
// the messages and the program's input queue take a few MiB of it.
constexpr qint64 kMemoryGrowthLimitKiB = 32 * 1024;
// The output holds at most one second of cable time; it has left a second after the end.
constexpr int kDrainMs = 3000;

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

// The cable time of a message, in frames at the server's rate, rounded up: a message a
// frame short of it starts before the one before has left.
inline int64_t cableFrames(std::size_t bytes, jack_nframes_t rate) {
    return (int64_t(bytes) * 320 * rate + 999999) / 1000000;
}

// The first message that started sooner after the one before than the cable carries
// that one; -1 when every pair is spaced at least at cable speed.
inline int firstTooClose(const std::vector<Bytes>& received,
                         const std::vector<jack_nframes_t>& frames, jack_nframes_t rate) {
    for (std::size_t i = 1; i < frames.size() && i < received.size(); ++i)
        if (int32_t(frames[i] - frames[i - 1]) < cableFrames(received[i - 1].size(), rate))
            return int(i);
    return -1;
}

// Watches this thread's event loop (the longest gap of a kTickMs timer) and the memory.
class Watch {
public:
    Watch() {
        m_figures.RssBeforeKiB = memoryKiB("VmRSS");
        m_ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            m_figures.LongestStallMs = std::max(m_figures.LongestStallMs, m_sinceTick.restart());
        });
        m_elapsed.start();
        m_sinceTick.start();
        m_ticker.start(kTickMs);
    }
    Figures stop() {
        m_ticker.stop();
        m_figures.ElapsedMs = m_elapsed.elapsed();
        m_figures.RssAfterKiB = memoryKiB("VmRSS");
        m_figures.PeakKiB = memoryKiB("VmHWM");
        return m_figures;
    }

private:
    Figures m_figures;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_elapsed;
    QTimer m_ticker;
};

// Plays the flood with the event loop of this thread running, and waits until every
// message has arrived or, by `dropped()`, been dropped by the program's output. The
// capture client's ports must be connected to the program's before, and nothing else
// may arrive at its input.
template <typename Dropped>
void play(CaptureClient& capture, const Plan& plan, Dropped dropped, Figures& figures) {
    capture.clearReceived();
    Watch watch;

    std::atomic<bool> stop{false};
    std::thread player([&] {
        // Spread evenly over each millisecond. A player woken late goes on from where it
        // is rather than catching up in a burst: a burst would carry more than the plan's
        // rate through a while in which the cable had stood idle.
        const int perMs = std::max(1, plan.PerSecond / 1000);
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < plan.messages() && !stop; i += perMs) {
            for (int k = 0; k < perMs; ++k)
                capture.play(message(i + k));
            next = std::max(next + std::chrono::milliseconds(1), std::chrono::steady_clock::now());
            std::this_thread::sleep_until(next);
        }
    });
    const auto accounted = [&] {
        return capture.receivedCount() + dropped() >= std::size_t(plan.messages());
    };
    const bool all = QTest::qWaitFor(accounted, (plan.Seconds + 20) * 1000);
    stop = true;
    player.join();
    figures = watch.stop();
    qInfo("flood of %d messages in %d s: %zu arrived, %llu dropped, after %lld ms; the event loop "
          "stood "
          "still at most %lld ms; resident memory %lld KiB before, %lld KiB after, peak %lld KiB",
          plan.messages(), plan.Seconds, capture.receivedCount(), (unsigned long long)dropped(),
          figures.ElapsedMs, figures.LongestStallMs, figures.RssBeforeKiB, figures.RssAfterKiB,
          figures.PeakKiB);
    QVERIFY2(all,
             qPrintable(QStringLiteral(
                            "%1 arrived and %2 dropped of %3; the server reported %4 late cycles")
                            .arg(capture.receivedCount())
                            .arg(dropped())
                            .arg(plan.messages())
                            .arg(capture.xruns())));
    QTest::qWait(50); // nothing else follows
    QCOMPARE(capture.receivedCount() + dropped(), std::size_t(plan.messages()));
    QVERIFY2(figures.LongestStallMs < kAbsurdStallMs,
             qPrintable(QStringLiteral("event loop stalled %1 ms").arg(figures.LongestStallMs)));
    QVERIFY2(figures.RssBeforeKiB > 0 && figures.RssAfterKiB - figures.RssBeforeKiB < kMemoryGrowthLimitKiB,
             qPrintable(QStringLiteral("resident memory grew from %1 KiB to %2 KiB")
                            .arg(figures.RssBeforeKiB)
                            .arg(figures.RssAfterKiB)));
}

// Within what a cable carries: every message arrives unchanged, in order, each starting
// no sooner than the cable has carried the one before.
template <typename Dropped> void withinCable(CaptureClient& capture, Dropped dropped) {
    Figures figures;
    play(capture, kWithinCable, dropped, figures);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(dropped(), std::size_t(0));
    const std::vector<Bytes> received = capture.received();
    const std::vector<jack_nframes_t> frames = capture.receivedFrames();
    for (int i = 0; i < kWithinCable.messages(); ++i)
        if (received[std::size_t(i)] != message(i))
            QFAIL(qPrintable(QStringLiteral("message %1 changed or out of order").arg(i)));
    const int close = firstTooClose(received, frames, capture.sampleRate());
    QVERIFY2(close < 0,
             qPrintable(QStringLiteral("message %1 too close to the one before").arg(close)));
}

// Far beyond it: what arrives is the flood in order with messages left out, and every
// message left out is counted as dropped.
template <typename Dropped> void beyondCable(CaptureClient& capture, Dropped dropped) {
    Figures figures;
    play(capture, kBeyondCable, dropped, figures);
    if (QTest::currentTestFailed()) return;
    QVERIFY(dropped() > 0);
    const std::vector<Bytes> received = capture.received();
    std::size_t next = 0;
    for (int i = 0; i < kBeyondCable.messages() && next < received.size(); ++i)
        if (received[next] == message(i)) ++next;
    QVERIFY2(next == received.size(),
             qPrintable(QStringLiteral("message %1 of %2 received changed or out of order")
                            .arg(next)
                            .arg(received.size())));
}

} // namespace Flood
