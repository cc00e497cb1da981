#include "core/QuenlorCode.h"
#include "core/SoundRules.h"

#include <QTest>
#include <cmath>
#include <map>

using namespace SoundRules;

namespace {

PatchValues newPatch() {
    QuenlorCode code;
    code.InitPatchModel();
    return code.PatchBank.values(kFirstPatch);
}

// A valid patch away from every edge: levels in mid-range, some flags on, choices made.
PatchValues livelyPatch() {
    PatchValues v = newPatch();
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (!switchGroupOf(p)) v[p] = int16_t((p * 7) % (kParameterRows[p].MaxValue + 1));
    kLfo1Waves.choose(v.data(), 1);
    kDco1Octaves.choose(v.data(), 2);
    return v;
}

// What a hand-made file may hold: values out of range, two waves at once, no octave.
PatchValues damagedPatch() {
    PatchValues v = livelyPatch();
    v[19] = 99;
    v[31] = -4;
    v[23] = 2;
    v[1] = v[3] = 1;
    kDco2Octaves.choose(v.data(), -1);
    return v;
}

enum Action { Mutate, Randomize, Morph, Breed };

// One action on `from` with the given seed; its locked parameters must keep from's values.
PatchValues act(int action, int amount, const PatchValues& from, const ParameterLocks& locks,
                uint64_t seed) {
    SoundRandom random(seed);
    const auto anyPatch = [&] { return randomizePatch(newPatch(), {}, random); };
    switch (action) {
    case Mutate: return mutatePatch(from, amount, locks, random);
    case Randomize: return randomizePatch(from, locks, random);
    case Morph: {
        const PatchValues a = anyPatch();
        const PatchValues b = anyPatch();
        return morphPatches(a, b, from, random.below(101), locks);
    }
    default: {
        std::vector<PatchValues> parents(std::size_t(1 + random.below(kMostParents)));
        for (PatchValues& parent : parents) parent = anyPatch();
        return breedChild(parents, from, amount, locks, random);
    }
    }
}

ParameterLocks locksOf(const char* text) { return *ParameterLocks::fromText(text); }

} // namespace

class TestSoundRules : public QObject {
    Q_OBJECT
private slots:
    void everyResultValidLocksKept_data();
    void everyResultValidLocksKept();
    void sameSeedSameOutput();
    void locksLeaveTheOtherDrawsAlone();
    void mutationSpreadAndChanceFollowTheAmount_data();
    void mutationSpreadAndChanceFollowTheAmount();
    void morphEndsAndSteps_data();
    void morphEndsAndSteps();
    void validity_data();
    void validity();
    void lockLists_data();
    void lockLists();
};

void TestSoundRules::everyResultValidLocksKept_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("locks");
    QTest::addColumn<bool>("damaged");
    const std::map<int, const char*> actions{
        {Mutate, "mutate"}, {Randomize, "randomize"}, {Morph, "morph"}, {Breed, "breed"}};
    const char* lockSets[] = {"",   "1",  "24", "35", "53", "8,19,23,45",
                              "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,"
                              "25,26,27,28,29,30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,"
                              "46,47,48,49,50,51,52,53,54,55,56,57,58,59,60,61,62,63"};
    for (const auto& [action, name] : actions)
        for (const int amount : {5, 50, 100})
            for (const char* locks : lockSets)
                QTest::addRow("%s %d%% locks {%.12s}", name, amount, locks)
                    << action << amount << QString(locks) << false;
    // Whatever a file held, nothing unlocked stays out of range or half chosen, and
    // nothing locked either: a locked value keeps the sound the instrument made of it.
    for (const auto& [action, name] : actions) {
        QTest::addRow("%s from a damaged patch", name) << action << 10 << QString() << true;
        QTest::addRow("%s from a damaged patch, its faults locked", name)
            << action << 10 << QString("1,19,23,31,35") << true;
    }
}

void TestSoundRules::everyResultValidLocksKept() {
    QFETCH(int, action);
    QFETCH(int, amount);
    QFETCH(QString, locks);
    QFETCH(bool, damaged);
    const ParameterLocks locked = locksOf(locks.toLatin1().constData());
    const PatchValues from = damaged ? damagedPatch() : livelyPatch();
    // The damaged values as the instrument plays them: levels at the nearest end, a switch
    // at 2 off, the highest of two waves, the first octave where none is set.
    PatchValues played = from;
    if (damaged) {
        played[19] = kParameterRows[19].MaxValue;
        played[31] = 0;
        played[23] = 0;
        kLfo1Waves.choose(played.data(), 2);
        kDco2Octaves.choose(played.data(), 0);
    }
    for (uint64_t seed = 0; seed < 300; ++seed) {
        const PatchValues result = act(action, amount, from, locked, seed);
        QVERIFY2(isValidPatch(result), qPrintable(QString("seed %1").arg(seed)));
        for (const int p : locked.parameters()) QCOMPARE(result[p], played[p]);
    }
}

// The companion and the tests name a seed; the patch it gives is fixed on every machine.
void TestSoundRules::sameSeedSameOutput() {
    SoundRandom first(2401), second(2401);
    const PatchValues mutated = mutatePatch(livelyPatch(), 25, {}, first);
    QCOMPARE(mutatePatch(livelyPatch(), 25, {}, second), mutated);
    // Parameter 0 first, then 1..63.
    const PatchValues expected = {
        0, 0, 1, 0, 0, 1, 0, 1, 51, 60, 15, 24, 33, 21, 37, 47,
        42, 62, 59, 0, 29, 24, 34, 1, 0, 0, 1, 0, 0, 1, 1, 2,
        4, 39, 48, 1, 0, 0, 0, 1, 1, 1, 6, 24, 59, 63, 0, 14,
        21, 34, 43, 24, 51, 0, 0, 0, 1, 0, 0, 1, 51, 45, 43, 56};
    QCOMPARE(mutated, expected);
    QVERIFY(mutatePatch(livelyPatch(), 25, {}, first) != mutated);
}

void TestSoundRules::locksLeaveTheOtherDrawsAlone() {
    for (uint64_t seed = 0; seed < 50; ++seed) {
        SoundRandom free(seed), held(seed);
        const PatchValues open = randomizePatch(livelyPatch(), {}, free);
        const PatchValues locked = randomizePatch(livelyPatch(), locksOf("19,24"), held);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            if (p != 19 && !kDco1Octaves.holds(p)) QCOMPARE(locked[p], open[p]);
    }
}

void TestSoundRules::mutationSpreadAndChanceFollowTheAmount_data() {
    QTest::addColumn<int>("amount");
    QTest::newRow("5 %") << 5;
    QTest::newRow("10 %") << 10;
    QTest::newRow("25 %") << 25;
}

// A level of 0..63 moves with the standard deviation amount * 64 / 2; a flag flips and a
// choice changes (always to another) with the probability amount / 2.
void TestSoundRules::mutationSpreadAndChanceFollowTheAmount() {
    QFETCH(int, amount);
    PatchValues from = livelyPatch();
    from[19] = 31;
    const int runs = 20000;
    double squares = 0;
    int flips = 0, changes = 0;
    for (int seed = 0; seed < runs; ++seed) {
        SoundRandom random(uint64_t(seed) * 7919);
        const PatchValues result = mutatePatch(from, amount, {}, random);
        squares += std::pow(result[19] - from[19], 2);
        flips += result[23] != from[23];
        const int was = kLfo1Waves.chosenMember(from.data());
        changes += kLfo1Waves.chosenMember(result.data()) != was;
    }
    const double expectedSpread = amount * 64.0 / 200;
    QVERIFY2(std::abs(std::sqrt(squares / runs) / expectedSpread - 1) < 0.04,
             qPrintable(QString::number(std::sqrt(squares / runs))));
    QVERIFY(std::abs(flips / double(runs) - amount / 200.0) < 0.01);
    QVERIFY(std::abs(changes / double(runs) - amount / 200.0) < 0.01);
}

void TestSoundRules::morphEndsAndSteps_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("level at 0 is A's") << 0 << 19 << 10 << 50 << 10;
    QTest::newRow("level at 100 is B's") << 100 << 19 << 10 << 50 << 50;
    QTest::newRow("a quarter of the way") << 25 << 19 << 10 << 50 << 20;
    QTest::newRow("12.5 rounds to the even 12") << 25 << 19 << 10 << 20 << 12;
    QTest::newRow("1.5 rounds to the even 2") << 50 << 31 << 1 << 2 << 2;
    QTest::newRow("downwards") << 30 << 19 << 63 << 0 << 44;
    QTest::newRow("A's level out of range is taken at its edge") << 0 << 31 << 20 << 3 << 11;
    QTest::newRow("flag below the middle is A's") << 49 << 23 << 1 << 0 << 1;
    QTest::newRow("flag from the middle is B's") << 50 << 23 << 1 << 0 << 0;
    QTest::newRow("a damaged flag counts as off") << 0 << 23 << 2 << 1 << 0;
    QTest::newRow("locked keeps the target's") << 100 << 20 << 1 << 2 << 7;
}

void TestSoundRules::morphEndsAndSteps() {
    QFETCH(int, position);
    QFETCH(int, parameter);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, expected);
    PatchValues from = livelyPatch(), to = newPatch(), target = newPatch();
    kLfo2Waves.choose(to.data(), 2);
    from[parameter] = int16_t(a);
    to[parameter] = int16_t(b);
    target[20] = 7;
    const PatchValues result = morphPatches(from, to, target, position, locksOf("20"));
    QCOMPARE(int(result[parameter]), expected);
    // At the ends the whole patch is A's or B's, apart from what is locked.
    PatchValues end = position == 0 ? from : to;
    end[20] = 7;
    if ((position == 0 || position == 100) && isValidPatch(end)) QCOMPARE(result, end);
    QCOMPARE(kLfo2Waves.chosenMember(result.data()), position < 50 ? -1 : 2);
}

void TestSoundRules::validity_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("a new patch") << 8 << 0 << true;
    QTest::newRow("level at its most") << 32 << 30 << true;
    QTest::newRow("level past its most") << 32 << 31 << false;
    QTest::newRow("negative level") << 8 << -1 << false;
    QTest::newRow("flag at 2") << 23 << 2 << false;
    QTest::newRow("second octave on as well") << 25 << 1 << false;
    QTest::newRow("no octave at all") << 24 << 0 << false;
    QTest::newRow("one wave") << 2 << 1 << true;
}

void TestSoundRules::validity() {
    QFETCH(int, parameter);
    QFETCH(int, value);
    QFETCH(bool, valid);
    PatchValues v = newPatch();
    v[parameter] = int16_t(value);
    QCOMPARE(isValidPatch(v), valid);
}

void TestSoundRules::lockLists_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("strict"); // "-" when refused
    QTest::addColumn<QString>("lenient");
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("plain") << "13,4,5" << "4,5,13" << "4,5,13";
    QTest::newRow("blanks") << " 7 , 8 " << "7,8" << "7,8";
    QTest::newRow("a member locks its group") << "25" << "24,25,26,27" << "24,25,26,27";
    QTest::newRow("0 and 64") << "0,9,64" << "-" << "9";
    QTest::newRow("a word") << "9,x" << "-" << "9";
    QTest::newRow("an empty entry") << "9,,10" << "-" << "9,10";
    QTest::newRow("digits that would overflow") << "99999999999999999999,8" << "-" << "8";
}

void TestSoundRules::lockLists() {
    QFETCH(QString, text);
    QFETCH(QString, strict);
    QFETCH(QString, lenient);
    const auto read = ParameterLocks::fromText(text.toStdString());
    QCOMPARE(read ? QString::fromStdString(read->text()) : QString("-"), strict);
    QCOMPARE(QString::fromStdString(ParameterLocks::fromTextLeniently(text.toStdString()).text()),
             lenient);
}

QTEST_GUILESS_MAIN(TestSoundRules)
#include "tst_soundrules.moc"
