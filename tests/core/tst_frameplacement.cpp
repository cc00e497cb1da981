#include "core/CablePacing.h"
#include "core/FramePlacement.h"

#include <QTest>
#include <vector>

// Patches placed cycle by cycle on a frame counter as the JACK output places them.
class TestFramePlacement : public QObject {
    Q_OBJECT
private slots:
    void everyGapIsTheCableTimeRoundedUp_data();
    void everyGapIsTheCableTimeRoundedUp();
};

namespace {
constexpr std::size_t kDumpBytes = 80;
constexpr std::size_t kProgramBytes = 2;

struct Message {
    int64_t dueUs;
    int64_t gapUs;
};
// Three patches sent at once: each message due when the one before leaves the cable.
std::vector<Message> threePatches() {
    std::vector<Message> messages;
    int64_t due = 0;
    int64_t gap = 0;
    for (int patch = 0; patch < 3; ++patch)
        for (std::size_t bytes : {kDumpBytes, kProgramBytes}) {
            messages.push_back({due, gap});
            gap = CablePacing::cableMicros(bytes);
            due += gap;
        }
    return messages;
}
} // namespace

void TestFramePlacement::everyGapIsTheCableTimeRoundedUp_data() {
    QTest::addColumn<uint>("rate");
    QTest::addColumn<uint>("firstFrame");
    QTest::addColumn<QList<int>>("periods");
    // Frames the counter steps back by when the period changes (a server that restarts
    // the cycle after a change of period at the new period's length).
    QTest::addColumn<int>("stepBack");
    // Frames the server's estimate of time against frames puts a due time early by.
    QTest::addColumn<int>("earlyEstimate");

    const QList<int> steady{256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256};
    const QList<int> shrinking{1024, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256};
    const QList<int> switching{64, 2048, 128, 1024, 32, 4096, 256, 512, 1024, 2048};
    for (uint rate : {44100u, 48000u, 96000u}) {
        const QByteArray r = QByteArray::number(rate);
        QTest::newRow(r + " steady") << rate << 0u << steady << 0 << 0;
        QTest::newRow(r + " estimate early") << rate << 0u << steady << 0 << 1;
        QTest::newRow(r + " switching") << rate << 0u << switching << 0 << 1;
        QTest::newRow(r + " shrinking, counter steps back") << rate << 0u << shrinking << 768 << 1;
        QTest::newRow(r + " switching, counter steps back") << rate << 0u << switching << 32 << 1;
        QTest::newRow(r + " counter wraps") << rate << 0xFFFFFF00u << switching << 32 << 1;
    }
}

void TestFramePlacement::everyGapIsTheCableTimeRoundedUp() {
    QFETCH(uint, rate);
    QFETCH(uint, firstFrame);
    QFETCH(QList<int>, periods);
    QFETCH(int, stepBack);
    QFETCH(int, earlyEstimate);

    const std::vector<Message> messages = threePatches();
    std::vector<uint32_t> frames;
    FramePlacement placement;
    uint32_t cycleStart = firstFrame;
    int previousPeriod = periods.first();
    for (int cycle = 0; frames.size() < messages.size(); ++cycle) {
        QVERIFY2(cycle < 400, "the messages never all went");
        const int period = periods.at(cycle % periods.size());
        if (period != previousPeriod) cycleStart -= uint32_t(stepBack);
        placement.beginCycle(cycleStart, rate);
        while (frames.size() < messages.size()) {
            const Message& m = messages[frames.size()];
            const uint32_t due = firstFrame + uint32_t(m.dueUs * rate / 1'000'000) -
                                 uint32_t(m.dueUs > 0 ? earlyEstimate : 0);
            const uint32_t frame = placement.place(due, m.gapUs);
            QVERIFY(!CablePacing::frameBefore(frame, cycleStart));
            if (frame - cycleStart >= uint32_t(period)) break;
            placement.placed(frame);
            frames.push_back(frame);
        }
        cycleStart += uint32_t(period);
        previousPeriod = period;
    }
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const int64_t gap = int32_t(frames[i] - frames[i - 1]);
        const int64_t least = CablePacing::framesFor(messages[i].gapUs, rate);
        QVERIFY2(gap >= least && gap <= least + 1,
                 qPrintable(QStringLiteral("message %1: %2 frames, the cable needs %3")
                                .arg(i).arg(gap).arg(least)));
    }
}

QTEST_GUILESS_MAIN(TestFramePlacement)
#include "tst_frameplacement.moc"
