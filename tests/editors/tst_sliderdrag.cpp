#include "EditorTesting.h"

#include "core/ParameterTable.h"

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

using namespace EditorTesting;
using Bytes = RecordingSink::Bytes;

namespace {
constexpr int kPatch = 9;

// Where a part of the scroll bar (thumb, arrows) is drawn now, as the style lays it out.
QRect partOf(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    if (bar->orientation() == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
}

void mouse(QScrollBar* bar, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(bar->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(bar, &event);
}

// The user takes the thumb and drags it to `x` and a little past, a few pixels at a
// time, then lets go.
void dragThumbTo(QScrollBar* bar, int x) {
    const QPoint start = partOf(bar, QStyle::SC_ScrollBarSlider).center();
    mouse(bar, QEvent::MouseButtonPress, start, Qt::LeftButton);
    QVERIFY(bar->isSliderDown());
    const int step = x > start.x() ? 3 : -3;
    QPoint at = start;
    while ((step > 0 && at.x() < x + 20) || (step < 0 && at.x() > x - 20)) {
        at.rx() += step;
        mouse(bar, QEvent::MouseMove, at, Qt::LeftButton);
    }
    mouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
    QVERIFY(!bar->isSliderDown());
}

void clickArrow(QScrollBar* bar, QStyle::SubControl arrow) {
    const QPoint at = partOf(bar, arrow).center();
    mouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(bar, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

// The dump of the editor's patch with its parameter at `value`, the rest as in the bank.
Bytes dumpWith(const QuenlorCode& code, int parameter, int value) {
    QuenlorCode copy = code;
    copy.PatchBank(kPatch, parameter) = static_cast<int16_t>(value);
    return dumpOf(copy, kPatch);
}
} // namespace

// A slider of the grouped editor worked with the mouse and the keys across its whole
// range, with automatic update on: one dump and Program Change per change of its value,
// nothing else, and the patch last sent is the patch in the bank.
class TestSliderDrag : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void thumbDraggedAcrossTheRange_data();
    void thumbDraggedAcrossTheRange();
    void arrowsAcrossTheRange_data();
    void arrowsAcrossTheRange();
    void arrowKeysStepByOne();

private:
    void addSliders();
    void checkPairs(const QList<Bytes>& expectedDumps);

    std::unique_ptr<EditorWorld> m_world;
    NormalEdit* m_editor = nullptr;
};

void TestSliderDrag::init() {
    m_world = std::make_unique<EditorWorld>();
    m_world->Code.AutoUpdate = kOn;
    markPatches(m_world->Code);
    m_editor = openNormal(*m_world, kPatch);
    QVERIFY(QTest::qWaitForWindowActive(m_editor->window()));
    m_world->Midi.clear(); // the activation's own send
}

void TestSliderDrag::cleanup() {
    m_editor = nullptr;
    m_world.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestSliderDrag::addSliders() {
    QTest::addColumn<int>("parameter");
    QTest::newRow("VCF CutOff, 0..63") << 19;
    QTest::newRow("DCO1 Freq, 0..11") << 31;
    QTest::newRow("VCA Prg Vol") << 48;
    QTest::newRow("LFO2 Depth") << 63;
}

// Every message sent is a dump followed by Program Change 0 on channel 1, the dumps
// are the expected ones in order, and the last one is the bank's patch as it is now.
void TestSliderDrag::checkPairs(const QList<Bytes>& expectedDumps) {
    const std::vector<Bytes>& sent = m_world->Midi.Messages;
    QCOMPARE(sent.size(), std::size_t(2 * expectedDumps.size()));
    for (std::size_t k = 0; k < sent.size(); k += 2) {
        QCOMPARE(sent[k], expectedDumps.at(qsizetype(k / 2)));
        QCOMPARE(sent[k + 1], (Bytes{0xC0, 0x00}));
    }
    if (!sent.empty())
        QCOMPARE(sent[sent.size() - 2], dumpOf(m_world->Code, kPatch));
}

void TestSliderDrag::thumbDraggedAcrossTheRange_data() { addSliders(); }

// A drag reports one change when the thumb is let go, not one per position passed.
void TestSliderDrag::thumbDraggedAcrossTheRange() {
    QFETCH(int, parameter);
    QScrollBar* bar = m_editor->Slider[parameter];
    const int maximum = kParameterRows[parameter].MaxValue;
    QCOMPARE(bar->value(), 0);

    dragThumbTo(bar, bar->width());
    QCOMPARE(bar->value(), maximum);
    QCOMPARE(int(m_world->Code.PatchBank(kPatch, parameter)), maximum);
    QCOMPARE(m_editor->Text[parameter]->text(), QString::number(maximum));
    checkPairs({dumpWith(m_world->Code, parameter, maximum)});

    dragThumbTo(bar, 0);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(int(m_world->Code.PatchBank(kPatch, parameter)), 0);
    checkPairs({dumpWith(m_world->Code, parameter, maximum), dumpWith(m_world->Code, parameter, 0)});

    // Taken and let go where it is: no change, nothing sent.
    m_world->Midi.clear();
    dragThumbTo(bar, partOf(bar, QStyle::SC_ScrollBarSlider).center().x() - 20);
    QCOMPARE(bar->value(), 0);
    checkPairs({});
}

void TestSliderDrag::arrowsAcrossTheRange_data() { addSliders(); }

// Each arrow click is one change and one dump; at the ends of the range a click
// changes nothing and sends nothing. Home and End likewise.
void TestSliderDrag::arrowsAcrossTheRange() {
    QFETCH(int, parameter);
    QScrollBar* bar = m_editor->Slider[parameter];
    const int maximum = kParameterRows[parameter].MaxValue;
    QList<Bytes> expected;

    for (int v = 1; v <= maximum + 2; ++v) {
        clickArrow(bar, QStyle::SC_ScrollBarAddLine);
        if (v <= maximum)
            expected << dumpWith(m_world->Code, parameter, v);
    }
    QCOMPARE(bar->value(), maximum);
    QCOMPARE(int(m_world->Code.PatchBank(kPatch, parameter)), maximum);
    checkPairs(expected);

    for (int v = maximum - 1; v >= -2; --v) {
        clickArrow(bar, QStyle::SC_ScrollBarSubLine);
        if (v >= 0)
            expected << dumpWith(m_world->Code, parameter, v);
    }
    QCOMPARE(bar->value(), 0);
    QCOMPARE(m_editor->Text[parameter]->text(), QString("0"));
    checkPairs(expected);

    bar->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(bar, Qt::Key_End);
    QTest::keyClick(bar, Qt::Key_End);
    QTest::keyClick(bar, Qt::Key_Home);
    QTest::keyClick(bar, Qt::Key_Home);
    expected << dumpWith(m_world->Code, parameter, maximum) << dumpWith(m_world->Code, parameter, 0);
    checkPairs(expected);
}

// An arrow key steps the slider by one towards its side, with one dump per step.
void TestSliderDrag::arrowKeysStepByOne() {
    QScrollBar* bar = m_editor->Slider[19];
    bar->setValue(30);
    m_world->Midi.clear();
    bar->setFocus(Qt::OtherFocusReason);

    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(m_world->Midi.dumps(), 1);
    QCOMPARE(bar->value(), 31);
    QTest::keyClick(bar, Qt::Key_Left);
    QTest::keyClick(bar, Qt::Key_Left);
    QCOMPARE(m_world->Midi.dumps(), 3);
    QCOMPARE(bar->value(), 29);
    QCOMPARE(m_world->Midi.Messages.size(), std::size_t(6));
    QCOMPARE(m_world->Midi.Messages[4], dumpOf(m_world->Code, kPatch));
}

QTEST_MAIN(TestSliderDrag)
#include "tst_sliderdrag.moc"
