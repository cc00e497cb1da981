#include "core/ControllerDecoder.h"
#include "core/ControllerMap.h"
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
    if (const SwitchGroup* group = switchGroupOf(parameter)) return group->chosenMember(values.data());
    return values[std::size_t(parameter)];
}

void setShown(PatchValues& values, int parameter, int value) {
    if (const SwitchGroup* group = switchGroupOf(parameter))
        group->choose(values.data(), value);
    else
        values[std::size_t(parameter)] = int16_t(value);
}

ControllerMapping cc(int channel, int number, ControllerMode mode = ControllerMode::Absolute) {
    return {{channel, Controller::Kind::ControlChange, number}, mode};
}

QString describe(const ControllerMove& move) {
    return QStringLiteral("%1 %2 %3 %4%5")
        .arg(move.Source.Channel)
        .arg(move.Source.Type == Controller::Kind::Nrpn ? "nrpn" : "cc")
        .arg(move.Source.Number)
        .arg(move.Value)
        .arg(move.Fine ? " fine" : "");
}

} // namespace

// The controllers' own rules, apart from any window: what a value does to a parameter,
// how moves are read out of the messages, which controller plays which parameter, and
// how the settings keep them.
class TestControllers : public QObject {
    Q_OBJECT
private slots:
    void movesSetTheParameter_data();
    void movesSetTheParameter();
    void messagesBecomeMoves_data();
    void messagesBecomeMoves();
    void learnForgetAndLearnAgain();
    void settingsTexts_data();
    void settingsTexts();
    void settingsKeys();
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
    QTest::newRow("cutoff 0") << 19 << kAbsolute << false << 0 << false << 30 << 0;
    QTest::newRow("cutoff 64") << 19 << kAbsolute << false << 64 << false << 0 << 32;
    QTest::newRow("cutoff 127") << 19 << kAbsolute << false << 127 << false << 0 << 63;
    QTest::newRow("freq 64 of 11") << 31 << kAbsolute << false << 64 << false << 0 << 6;
    QTest::newRow("freq 127 of 11") << 31 << kAbsolute << false << 127 << false << 0 << 11;
    QTest::newRow("pw 100 of 30") << 32 << kAbsolute << false << 100 << false << 0 << 24;
    QTest::newRow("nrpn top") << 19 << kAbsolute << true << 16383 << true << 0 << 63;
    QTest::newRow("nrpn 8191") << 19 << kAbsolute << true << 8191 << true << 0 << 31;
    QTest::newRow("nrpn 8192") << 19 << kAbsolute << true << 8192 << false << 0 << 32;
    // Two-state: on from the middle.
    QTest::newRow("invert 63") << 23 << kAbsolute << false << 63 << false << 1 << 0;
    QTest::newRow("invert 64") << 23 << kAbsolute << false << 64 << false << 0 << 1;
    QTest::newRow("invert nrpn 8191") << 23 << kAbsolute << true << 8191 << true << 1 << 0;
    QTest::newRow("invert nrpn 8192") << 23 << kAbsolute << true << 8192 << false << 0 << 1;
    // Choices share the range, in the normal editor's order, "None" last.
    QTest::newRow("wave 31") << 1 << kAbsolute << false << 31 << false << 2 << 0;
    QTest::newRow("wave 32") << 1 << kAbsolute << false << 32 << false << 0 << 1;
    QTest::newRow("wave 64") << 1 << kAbsolute << false << 64 << false << 0 << 2;
    QTest::newRow("wave 96 none") << 1 << kAbsolute << false << 96 << false << 0 << kNone;
    QTest::newRow("wave by its member") << 2 << kAbsolute << false << 40 << false << 0 << 1;
    QTest::newRow("octave 63") << 24 << kAbsolute << false << 63 << false << 0 << 1;
    QTest::newRow("octave 127") << 35 << kAbsolute << false << 127 << false << 0 << 3;
    QTest::newRow("octave nrpn 12288") << 24 << kAbsolute << true << 12288 << false << 0 << 3;
    // Relative: steps up and down, stopping at the ends.
    QTest::newRow("twos +1") << 19 << kTwos << false << 1 << false << 30 << 31;
    QTest::newRow("twos -1") << 19 << kTwos << false << 127 << false << 30 << 29;
    QTest::newRow("twos -63 stops at 0") << 19 << kTwos << false << 65 << false << 30 << 0;
    QTest::newRow("twos +63 stops at top") << 19 << kTwos << false << 63 << false << 30 << 63;
    QTest::newRow("twos 0 stays") << 19 << kTwos << false << 0 << false << 30 << 30;
    QTest::newRow("twos +1 on a damaged 99") << 19 << kTwos << false << 1 << false << 99 << 63;
    QTest::newRow("64 +1") << 19 << k64 << false << 65 << false << 30 << 31;
    QTest::newRow("64 -1") << 19 << k64 << false << 63 << false << 30 << 29;
    QTest::newRow("64 stays") << 19 << k64 << false << 64 << false << 30 << 30;
    QTest::newRow("64 -64 stops at 0") << 19 << k64 << false << 0 << false << 30 << 0;
    QTest::newRow("64 +3 of 11") << 42 << k64 << false << 67 << false << 10 << 11;
    QTest::newRow("invert up") << 23 << kTwos << false << 2 << false << 0 << 1;
    QTest::newRow("invert down") << 23 << kTwos << false << 127 << false << 1 << 0;
    QTest::newRow("wave up") << 53 << kTwos << false << 1 << false << 0 << 1;
    QTest::newRow("wave up to none") << 53 << kTwos << false << 1 << false << 2 << kNone;
    QTest::newRow("none stays last") << 53 << k64 << false << 66 << false << kNone << kNone;
    QTest::newRow("none down to pulse") << 1 << k64 << false << 63 << false << kNone << 2;
    QTest::newRow("octave stops at 32'") << 24 << kTwos << false << 127 << false << 0 << 0;
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
    setShown(values, parameter, before);
    const PatchValues was = values;
    ControllerMove move;
    move.Source = {1, nrpn ? Controller::Kind::Nrpn : Controller::Kind::ControlChange, 1};
    move.Value = value;
    move.Fine = fine;
    const bool changed = ControllerScaling::apply(values.data(), parameter, ControllerMode(mode), move);
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
    QTest::newRow("data bytes cut to 7 bits") << QByteArray::fromHex("bfcaff")
                                              << QStringList{"16 cc 74 127"};
    QTest::newRow("no controller") << QByteArray::fromHex("903c64e00040c005d07f") << QStringList{};
    QTest::newRow("nrpn of 14 bits") << QByteArray::fromHex("b16302b1622cb10640b12605")
                                     << QStringList{"2 nrpn 300 8192", "2 nrpn 300 8197 fine"};
    QTest::newRow("nrpn coarse alone") << QByteArray::fromHex("b06300b06205b0067f")
                                       << QStringList{"1 nrpn 5 16256"};
    QTest::newRow("nrpn by its lower half") << QByteArray::fromHex("b06207b00601")
                                            << QStringList{"1 nrpn 7 128"};
    QTest::newRow("nrpn fine keeps the coarse")
        << QByteArray::fromHex("b06300b06201b00610b02601b02602")
        << QStringList{"1 nrpn 1 2048", "1 nrpn 1 2049 fine", "1 nrpn 1 2050 fine"};
    QTest::newRow("data entry alone") << QByteArray::fromHex("b00602b02603")
                                      << QStringList{"1 cc 6 2", "1 cc 38 3"};
    QTest::newRow("rpn is none of ours") << QByteArray::fromHex("b06500b06400b00602") << QStringList{};
    QTest::newRow("rpn null") << QByteArray::fromHex("b06500b06400b0657fb0647fb00602")
                              << QStringList{"1 cc 6 2"};
    QTest::newRow("nrpn null") << QByteArray::fromHex("b06301b06202b0637fb0627fb00602")
                               << QStringList{"1 cc 6 2"};
    QTest::newRow("channels apart") << QByteArray::fromHex("b16300b16201b00610")
                                    << QStringList{"1 cc 6 16"};
    QTest::newRow("a new kind starts afresh")
        << QByteArray::fromHex("b06303b06500b06400b06207b00601") << QStringList{"1 nrpn 7 128"};
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

void TestControllers::learnForgetAndLearnAgain() {
    ControllerMap map;
    QVERIFY(map.empty());
    QCOMPARE(map.bind(19, cc(1, 74)), 0);
    QCOMPARE(map.parameterOf(cc(1, 74).Source), 19);
    QCOMPARE(map.parameterOf(cc(2, 74).Source), 0); // another channel, another controller
    // Learnt again, the controller moves; the parameter keeps one controller.
    QCOMPARE(map.bind(20, cc(1, 74, ControllerMode::Relative64)), 19);
    QVERIFY(!map.mapped(19));
    QCOMPARE(map.bind(20, cc(1, 75)), 0);
    QCOMPARE(map.parameterOf(cc(1, 74).Source), 0);
    QCOMPARE(map.mapping(20)->Source, cc(1, 75).Source);
    // A group's member stands for the group.
    QCOMPARE(map.bind(26, cc(3, 1)), 0);
    QVERIFY(map.mapped(24) && map.mapped(27));
    QCOMPARE(map.parameterOf(cc(3, 1).Source), 24);
    map.setMode(25, ControllerMode::RelativeTwos);
    QCOMPARE(map.mapping(24)->Mode, ControllerMode::RelativeTwos);
    QCOMPARE(map.parameters(), (std::vector<int>{20, 24}));
    map.forget(27);
    QVERIFY(!map.mapped(24));
    // No parameter, no mapping.
    QCOMPARE(map.bind(0, cc(1, 9)), 0);
    QCOMPARE(map.bind(64, cc(1, 9)), 0);
    QVERIFY(!map.mapped(64) && !map.mapped(-1));
    QCOMPARE(map.parameters(), std::vector<int>{20});
}

void TestControllers::settingsTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept"); // as written back; empty when it cannot be read
    QTest::newRow("cc") << "1 cc 74 absolute" << "1 cc 74 absolute";
    QTest::newRow("nrpn top") << "16 nrpn 16383 relative-64" << "16 nrpn 16383 relative-64";
    QTest::newRow("twos") << "3 cc 0 relative-twos" << "3 cc 0 relative-twos";
    QTest::newRow("blanks") << "  1   cc 74 absolute " << "1 cc 74 absolute";
    QTest::newRow("channel 0") << "0 cc 74 absolute" << "";
    QTest::newRow("channel 17") << "17 cc 74 absolute" << "";
    QTest::newRow("cc 128") << "1 cc 128 absolute" << "";
    QTest::newRow("nrpn 16384") << "1 nrpn 16384 absolute" << "";
    QTest::newRow("huge") << "1 cc 99999999999999 absolute" << "";
    QTest::newRow("negative") << "1 cc -1 absolute" << "";
    QTest::newRow("fraction") << "1 cc 7.5 absolute" << "";
    QTest::newRow("upper case") << "1 CC 74 absolute" << "";
    QTest::newRow("mode case") << "1 cc 74 Absolute" << "";
    QTest::newRow("no mode") << "1 cc 74" << "";
    QTest::newRow("one word more") << "1 cc 74 absolute x" << "";
    QTest::newRow("tab") << "1\tcc 74 absolute" << "";
    QTest::newRow("empty") << "" << "";
}

void TestControllers::settingsTexts() {
    QFETCH(QString, text);
    QFETCH(QString, kept);
    const auto mapping = ControllerMap::fromText(text.toStdString());
    QCOMPARE(mapping ? QString::fromStdString(ControllerMap::text(*mapping)) : QString(), kept);
}

// A key is "P" and a parameter number.
void TestControllers::settingsKeys() {
    QCOMPARE(ControllerMap::key(19), std::string("P19"));
    QCOMPARE(ControllerMap::parameterOfKey("P1"), std::optional<int>(1));
    QCOMPARE(ControllerMap::parameterOfKey("P63"), std::optional<int>(63));
    for (const char* bad : {"P0", "P64", "p19", "P", "P1x", "P019", "Q19", ""})
        QVERIFY2(!ControllerMap::parameterOfKey(bad), bad);
}

QTEST_GUILESS_MAIN(TestControllers)
#include "tst_controllers.moc"
