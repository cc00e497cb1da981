#include "core/ControllerDecoder.h"
#include "core/ControllerScaling.h"
#include "core/QuenlorCode.h"

#include <QTest>

namespace {

constexpr int kAbsolute = int(ControllerMode::Absolute);
constexpr int kTwos = int(ControllerMode::RelativeTwos);
constexpr int k64 = int(ControllerMode::Relative64);
constexpr int kNone = -1; // a waveform group with no member on

// What a parameter shows: its value, or a group's chosen member (kNone for none).
int shown(const PatchValues& values, int parameter) {
    const SwitchGroup* group = switchGroupOf(parameter);
    return group ? group->chosenMember(values.data()) : values[std::size_t(parameter)];
}

QString describe(const ControllerMove& move) {
    return QString::asprintf("%d %s %d %d%s", move.Source.Channel,
                             move.Source.Type == Controller::Kind::Nrpn ? "nrpn" : "cc",
                             move.Source.Number, move.Value, move.Fine ? " fine" : "");
}

} // namespace

// The controllers' own rules, apart from any window: what a value does to a parameter,
// and how moves are read out of the messages.
class TestControllers : public QObject {
    Q_OBJECT
private slots:
    void movesSetTheParameter_data();
    void movesSetTheParameter();
    void messagesBecomeMoves_data();
    void messagesBecomeMoves();
};

void TestControllers::movesSetTheParameter_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("nrpn");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("fine");
    QTest::addColumn<int>("before"); // shown before: a level, or a group's member
    QTest::addColumn<int>("after");
    // Levels: round(value x MaxValue / 127), or / 16383 for an NRPN.
    QTest::newRow("cutoff 64") << 19 << kAbsolute << false << 64 << false << 0 << 32;
    QTest::newRow("cutoff 127") << 19 << kAbsolute << false << 127 << false << 0 << 63;
    // Two-state: on from the middle.
    QTest::newRow("invert 64") << 23 << kAbsolute << false << 64 << false << 0 << 1;
    QTest::newRow("invert nrpn 8192") << 23 << kAbsolute << true << 8192 << false << 0 << 1;
    // Choices share the range, in the normal editor's order, "None" last.
    QTest::newRow("wave 32") << 1 << kAbsolute << false << 32 << false << 0 << 1;
    QTest::newRow("wave 96 none") << 1 << kAbsolute << false << 96 << false << 0 << kNone;
    // Relative: steps up and down, stopping at the ends.
    QTest::newRow("twos +1 on a damaged 99") << 19 << kTwos << false << 1 << false << 99 << 63;
    QTest::newRow("wave up to none") << 53 << kTwos << false << 1 << false << 2 << kNone;
    QTest::newRow("none down to pulse") << 1 << k64 << false << 63 << false << kNone << 2;
    QTest::newRow("no octave counts as 32'") << 35 << kTwos << false << 1 << false << kNone << 1;
    // An NRPN steps by its coarse part; the fine part moves nothing.
    QTest::newRow("nrpn coarse +1") << 19 << k64 << true << (65 << 7) << false << 30 << 31;
    QTest::newRow("nrpn fine") << 19 << k64 << true << (65 << 7 | 3) << true << 30 << 30;
}

void TestControllers::movesSetTheParameter() {
    QFETCH(int, parameter);
    QFETCH(int, mode);
    QFETCH(bool, nrpn);
    QFETCH(int, value);
    QFETCH(bool, fine);
    QFETCH(int, before);
    QFETCH(int, after);
    QuenlorCode code;
    code.InitPatchModel();
    PatchValues values = code.PatchBank.values(kFirstPatch);
    if (const SwitchGroup* group = switchGroupOf(parameter))
        group->choose(values.data(), before);
    else
        values[std::size_t(parameter)] = int16_t(before);
    const PatchValues was = values;
    ControllerMove move;
    move.Source = {1, nrpn ? Controller::Kind::Nrpn : Controller::Kind::ControlChange, 1};
    move.Value = value;
    move.Fine = fine;
    const bool changed =
        ControllerScaling::apply(values.data(), parameter, ControllerMode(mode), move);
    QCOMPARE(shown(values, parameter), after);
    QCOMPARE(changed, values != was);
    // Nothing else moves.
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (ControllerMap::target(p) != ControllerMap::target(parameter))
            QCOMPARE(values[std::size_t(p)], was[std::size_t(p)]);
}

void TestControllers::messagesBecomeMoves_data() {
    QTest::addColumn<QByteArray>("messages"); // three bytes each
    QTest::addColumn<QStringList>("moves");
    QTest::newRow("control change") << QByteArray::fromHex("b04a64") << QStringList{"1 cc 74 100"};
    QTest::newRow("nrpn of 14 bits") << QByteArray::fromHex("b16302b1622cb10640b12605")
                                     << QStringList{"2 nrpn 300 8192", "2 nrpn 300 8197 fine"};
    QTest::newRow("rpn: not ours") << QByteArray::fromHex("b06500b06400b00602") << QStringList{};
    QTest::newRow("nrpn null") << QByteArray::fromHex("b06301b06202b0637fb0627fb00602")
                               << QStringList{"1 cc 6 2"};
}

void TestControllers::messagesBecomeMoves() {
    QFETCH(QByteArray, messages);
    QFETCH(QStringList, moves);
    ControllerDecoder decoder;
    QStringList read;
    for (int i = 0; i + 2 < messages.size(); i += 3)
        if (const auto move = decoder.read(uint8_t(messages[i]), uint8_t(messages[i + 1]),
                                           uint8_t(messages[i + 2])))
            read << describe(*move);
    QCOMPARE(read, moves);
}

QTEST_GUILESS_MAIN(TestControllers)
#include "tst_controllers.moc"
