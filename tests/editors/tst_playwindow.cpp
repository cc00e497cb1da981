#include "editors/PlayWindow.h"
#include "support/EditorWorld.h"

#include <QMdiSubWindow>
#include <QTest>

// Notes from the play window: pitch across, velocity upwards, each note ended by a
// Note On with velocity 0 on the output channel.
class TestPlayWindow : public QObject {
    Q_OBJECT
private slots:
    void noteFromPosition_data();
    void noteFromPosition();
    void velocityFromPosition_data();
    void velocityFromPosition();
    void pressAndReleaseSendNotes();
    void secondPressEndsTheFirstNote();
    void emptyAreaDividesByNothing();
    void placedUnderThePatchList();
};

void TestPlayWindow::noteFromPosition_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("width");
    QTest::addColumn<int>("note");
    QTest::newRow("left edge") << 0.0 << 2540.0 << 0;
    QTest::newRow("63.5 rounds to even 64") << 1270.0 << 2540.0 << 64;
    QTest::newRow("62.5 rounds to even 62") << 1250.0 << 2540.0 << 62;
    QTest::newRow("61.5 rounds to 62") << 1230.0 << 2540.0 << 62;
    QTest::newRow("right edge") << 2540.0 << 2540.0 << 127;
    QTest::newRow("past the right edge") << 3000.0 << 2540.0 << 127;
}

void TestPlayWindow::noteFromPosition() {
    QFETCH(double, x);
    QFETCH(double, width);
    QFETCH(int, note);
    QCOMPARE(int(PlayWindow::noteAt(x, width)), note);
}

void TestPlayWindow::velocityFromPosition_data() {
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("velocity");
    QTest::newRow("top edge") << 0.0 << 1270.0 << 127;
    QTest::newRow("bottom edge") << 1270.0 << 1270.0 << 0;
    QTest::newRow("middle: 63.5 to even") << 635.0 << 1270.0 << 64;
    QTest::newRow("61.5 to even") << 655.0 << 1270.0 << 62;
    QTest::newRow("past the bottom edge") << 1500.0 << 1270.0 << 0;
}

void TestPlayWindow::velocityFromPosition() {
    QFETCH(double, y);
    QFETCH(double, height);
    QFETCH(int, velocity);
    QCOMPARE(int(PlayWindow::velocityAt(y, height)), velocity);
}

void TestPlayWindow::pressAndReleaseSendNotes() {
    EditorWorld world;
    world.Code.MIDIChannelOut = 16;
    PlayWindow play(*world.Context);
    play.resize(127, 127);
    play.show();
    QTest::mousePress(&play, Qt::LeftButton, {}, QPoint(127, 0)); // top-right corner
    QTest::mouseRelease(&play, Qt::LeftButton, {}, QPoint(127, 0));
    // Nothing ends a note that never sounded: the first press plays its note alone, a
    // second release ends nothing.
    QTest::mouseRelease(&play, Qt::RightButton, {}, QPoint(127, 0));
    const std::vector<RecordingSink::Bytes> expected = {{0x9F, 127, 127}, {0x9F, 127, 0}};
    QCOMPARE(world.Midi.Messages, expected);
}

void TestPlayWindow::secondPressEndsTheFirstNote() {
    EditorWorld world;
    PlayWindow play(*world.Context);
    play.resize(127, 127);
    play.show();
    play.Form_MouseDown(0, 0); // the top-left corner
    QCOMPARE(world.Midi.Messages.back(), (RecordingSink::Bytes{0x90, 0, 127}));
    world.Midi.clear();
    QTest::mousePress(&play, Qt::RightButton, {}, QPoint(127, 127));
    QTest::mouseRelease(&play, Qt::RightButton, {}, QPoint(127, 127));
    // The bottom edge's velocity 0 ends the note it names: its release sends no second end.
    const std::vector<RecordingSink::Bytes> expected = {{0x90, 0, 0}, {0x90, 127, 0}};
    QCOMPARE(world.Midi.Messages, expected);
    QCOMPARE(int(play.LastPlayedNote), 127);
}

void TestPlayWindow::emptyAreaDividesByNothing() {
    QCOMPARE(int(PlayWindow::noteAt(100, 0)), 0);
    QCOMPARE(int(PlayWindow::velocityAt(100, 0)), 127);
    QCOMPARE(int(PlayWindow::noteAt(100, -5)), 0);
}

void TestPlayWindow::placedUnderThePatchList() {
    EditorWorld world;
    auto* play = new PlayWindow(*world.Context);
    QMdiSubWindow* frame = world.Mdi->addSubWindow(play);
    frame->show();
    const QRect list(10, 0, 240, 300);
    play->Form_Load(list, 700);
    QCOMPARE(frame->geometry(), QRect(10, 300, 240, 400));
    // No room left under the list: the window still gets a usable height.
    play->Form_Load(list, 250);
    QVERIFY(frame->height() > 0);
    QCOMPARE(frame->y(), 300);
}

QTEST_MAIN(TestPlayWindow)
#include "tst_playwindow.moc"
