#include "EditorTesting.h"
#include "editors/Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace EditorTesting;

// The two editors' layouts, read back from the widgets: places in twips, frames,
// client areas, fonts and the focus order.
class TestEditorLayout : public QObject {
    Q_OBJECT
private slots:
    void normalEditFramesAndControls_data();
    void normalEditFramesAndControls();
    void normalEditRowsLieInTheirFrames();
    void normalEditClientAreaAndFonts();
    void normalEditFocusOrder();
    void normalEditRanges_data();
    void normalEditRanges();
    void bit01EditControls_data();
    void bit01EditControls();
    void bit01EditClientArea();
};

void TestEditorLayout::normalEditFramesAndControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("LFO1") << "LFO1_Frame"
                          << "LFO1" << QRect(120, 0, 2712, 2568);
    QTest::newRow("LFO2") << "LFO2_Frame"
                          << "LFO2" << QRect(120, 2820, 2712, 2292);
    QTest::newRow("DCO1") << "DCO1_Frame"
                          << "DCO1" << QRect(2880, 0, 2712, 2028);
    QTest::newRow("DCO2") << "DCO2_Frame"
                          << "DCO2" << QRect(2880, 2160, 2712, 2028);
    QTest::newRow("VCF") << "VCF_Frame"
                         << "VCF" << QRect(5700, 0, 2472, 3048);
    QTest::newRow("VCA") << "VCA_Frame"
                         << "VCA" << QRect(5640, 3060, 2532, 2088);
    QTest::newRow("Send") << "SendButton"
                          << "Send" << QRect(4140, 4260, 1392, 312);
    QTest::newRow("Name label") << "NameLabel"
                                << "Name" << QRect(2940, 4560, 1092, 192);
    QTest::newRow("Name box") << "NameText"
                              << "" << QRect(2880, 4800, 2712, 324);
}

void TestEditorLayout::normalEditFramesAndControls() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 1);
    QWidget* control = editor->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), static_cast<QWidget*>(editor));
    QCOMPARE(control->geometry(), twipRect(twips.x(), twips.y(), twips.width(), twips.height()));
    if (auto* frame = qobject_cast<QGroupBox*>(control)) QCOMPARE(frame->title(), caption);
    if (auto* button = qobject_cast<QPushButton*>(control)) QCOMPARE(button->text(), caption);
    if (auto* label = qobject_cast<QLabel*>(control)) QCOMPARE(label->text(), caption);
    QVERIFY(editor->rect().contains(control->geometry()));
}

void TestEditorLayout::normalEditRowsLieInTheirFrames() {
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 1);
    int controls = 0;
    for (QGroupBox* frame : editor->findChildren<QGroupBox*>()) {
        const QList<QWidget*> inside =
            frame->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* a : inside) {
            ++controls;
            QVERIFY2(frame->rect().contains(a->geometry()), qPrintable(a->objectName()));
            // Check boxes 288 high stand 240 apart: their empty margins overlap, by design.
            for (QWidget* b : inside)
                if (a != b && !(qobject_cast<QCheckBox*>(a) && qobject_cast<QCheckBox*>(b)))
                    QVERIFY2(!a->geometry().intersects(b->geometry()),
                             qPrintable(a->objectName() + " over " + b->objectName()));
        }
    }
    // 34 rows of box, slider and label; 15 check boxes; 4 lists with their labels.
    QCOMPARE(controls, 34 * 3 + 15 + 4 * 2);

    // A row of the DCO2 section, at its twips inside the frame.
    QCOMPARE(editor->Text[43]->parentWidget(), static_cast<QWidget*>(editor->DCO2_Frame));
    QCOMPARE(editor->Text[43]->geometry().topLeft(), twipRect(120, 1200, 0, 0).topLeft());
    QCOMPARE(editor->Slider[43]->geometry(), twipRect(360, 1200, 1400, 216));
    QCOMPARE(editor->SliderLabel[43]->geometry().topLeft(), twipRect(1800, 1200, 0, 0).topLeft());
    QCOMPARE(editor->SliderLabel[43]->text(), QString("PW"));
    QCOMPARE(editor->Flag[23]->parentWidget(), static_cast<QWidget*>(editor->VCF_Frame));
    QCOMPARE(editor->Flag[23]->geometry().topLeft(), twipRect(1620, 2700, 0, 0).topLeft());
    QCOMPARE(editor->LFO_Type[53]->geometry().topLeft(), twipRect(180, 540, 0, 0).topLeft());
    QCOMPARE(editor->LFO_Type[53]->width(), px(1152));
    QCOMPARE(editor->DCO_Octave[35]->geometry().topLeft(), twipRect(240, 540, 0, 0).topLeft());
    QCOMPARE(editor->DCO_Octave_Label[1]->text(), QString("Octave"));
    QVERIFY(editor->findChild<QLabel*>("LFO1_WheelAm_Label"));
    QCOMPARE(editor->findChild<QLabel*>("VCA_PrgVol")->text(), QString("Prg Vol"));
}

void TestEditorLayout::normalEditClientAreaAndFonts() {
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 1);
    QCOMPARE(editor->size(), QSize(px(8280), px(5208)));
    // The child window holds exactly the client area and cannot be resized.
    QCOMPARE(editor->subWindow()->contentsRect().size(), editor->size());
    QCOMPARE(editor->subWindow()->minimumSize(), editor->subWindow()->maximumSize());
    QVERIFY(!(editor->subWindow()->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(editor->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(editor->NameText->font().pointSizeF(), 8.4);
    QVERIFY(editor->NameText->font().bold());
    for (QWidget* control :
         {static_cast<QWidget*>(editor->Text[8]), static_cast<QWidget*>(editor->Flag[4]),
          static_cast<QWidget*>(editor->SliderLabel[19]),
          static_cast<QWidget*>(editor->LFO_Type[1]), static_cast<QWidget*>(editor->VCF_Frame)}) {
        QCOMPARE(control->font().pointSizeF(), 7.8);
        QVERIFY(control->font().bold());
    }
    QCOMPARE(editor->Text[8]->maxLength(), 2);
    QCOMPARE(editor->Text[8]->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    QVERIFY(!editor->Slider[8]->hasTracking());
}

void TestEditorLayout::normalEditFocusOrder() {
    EditorWorld world;
    NormalEdit* e = openNormal(world, 1);
    QVERIFY(QTest::qWaitForWindowActive(world.Mdi.get()));
    QList<QWidget*> expected{e->NameText};
    const auto section = [&](QWidget* list, std::initializer_list<int> flags, int firstRow,
                             int lastRow, bool flagsLast = false) {
        if (list) expected << list;
        if (!flagsLast)
            for (int f : flags)
                expected << e->Flag[f];
        for (int r = firstRow; r <= lastRow; ++r)
            expected << e->Text[r] << e->Slider[r];
        if (flagsLast)
            for (int f : flags)
                expected << e->Flag[f];
    };
    section(e->LFO_Type[1], {4, 5, 6, 7}, 8, 12);
    section(e->LFO_Type[53], {56, 57, 58, 59}, 60, 63);
    section(e->DCO_Octave[24], {28, 29, 30}, 31, 34);
    section(e->DCO_Octave[35], {39, 40, 41}, 42, 45);
    section(nullptr, {23}, 13, 22, true);
    section(nullptr, {}, 46, 52);
    expected << e->SendButton << e->NameText;
    QCOMPARE(tabOrder(e->NameText, int(expected.size())), expected);
}

void TestEditorLayout::normalEditRanges_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("largeStep");
    QTest::newRow("DCO1 Freq") << 31 << 11 << 3;
    QTest::newRow("DCO2 Freq") << 42 << 11 << 3;
    QTest::newRow("DCO1 PW") << 32 << 30 << 10;
    QTest::newRow("DCO2 PW") << 43 << 30 << 10;
    QTest::newRow("Detune") << 45 << 63 << 10;
}

void TestEditorLayout::normalEditRanges() {
    QFETCH(int, parameter);
    QFETCH(int, maximum);
    QFETCH(int, largeStep);
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 1);
    QCOMPARE(editor->Slider[parameter]->maximum(), maximum);
    QCOMPARE(editor->Slider[parameter]->pageStep(), largeStep);
    QCOMPARE(editor->Slider[parameter]->maximum(),
             int(world.Code.ParameterTable.MaxValue(parameter)));
}

void TestEditorLayout::bit01EditControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Name label") << "NameLabel" << QRect(120, 144, 492, 252);
    QTest::newRow("Name box") << "NameText" << QRect(720, 120, 2376, 288);
    QTest::newRow("Send") << "SendButton" << QRect(4980, 120, 1512, 312);
    QTest::newRow("Frame") << "Bit01EditFrame" << QRect(120, 480, 6372, 4716);
}

void TestEditorLayout::bit01EditControls() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 1);
    QWidget* control = editor->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), twipRect(twips.x(), twips.y(), twips.width(), twips.height()));
    QVERIFY(editor->rect().contains(control->geometry()));
}

void TestEditorLayout::bit01EditClientArea() {
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 1);
    QCOMPARE(editor->size(), QSize(px(6612), px(5280)));
    QCOMPARE(editor->subWindow()->contentsRect().size(), editor->size());
    QCOMPARE(editor->NameText->font().pointSizeF(), 8.4);
    QCOMPARE(editor->PT[40]->font().pointSizeF(), 7.8);
    QCOMPARE(editor->SendButton->font().pointSizeF(), 7.8);
    QCOMPARE(editor->NameLabel->font().pointSizeF(), 7.8);
    QVERIFY(editor->SendButton->font().bold());
}

QTEST_MAIN(TestEditorLayout)
#include "tst_editorlayout.moc"
