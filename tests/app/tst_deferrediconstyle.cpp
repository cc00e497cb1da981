#include "desktop/DeferredIconStyle.h"

#include <QCommonStyle>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

namespace {
// The style below, noting the pictures it is asked for.
class CountingStyle : public QCommonStyle {
public:
    mutable QSet<int> asked;
    mutable int times = 0;
    QIcon standardIcon(StandardPixmap picture, const QStyleOption* option,
                       const QWidget* widget) const override {
        asked.insert(picture);
        ++times;
        return QCommonStyle::standardIcon(picture, option, widget);
    }
};

QImage imageOf(const QIcon& icon) { return icon.pixmap(QSize(16, 16)).toImage(); }
} // namespace

// Standard pictures are looked up when they are first drawn, and then look as the style
// below draws them.
class TestDeferredIconStyle : public QObject {
    Q_OBJECT
private slots:
    void picturesWaitUntilDrawn_data();
    void picturesWaitUntilDrawn();
    void windowsAskForNoPictureWhileBuilt();
};

void TestDeferredIconStyle::picturesWaitUntilDrawn_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("title-bar close button") << int(QStyle::SP_TitleBarCloseButton);
    QTest::newRow("menu bar's arrow") << int(QStyle::SP_ToolBarHorizontalExtensionButton);
    QTest::newRow("back arrow, another picture by direction") << int(QStyle::SP_ArrowBack);
    QTest::newRow("none the style draws") << int(QStyle::SP_CustomBase + 1);
}

// Looked up once, also for a copy, and after the widget it was asked for has gone.
void TestDeferredIconStyle::picturesWaitUntilDrawn() {
    QFETCH(int, which);
    const auto picture = QStyle::StandardPixmap(which);
    auto* below = new CountingStyle;
    DeferredIconStyle style(below);
    auto* widget = new QWidget;
    const QIcon icon = style.standardIcon(picture, nullptr, widget);
    delete widget;
    QCOMPARE(below->times, 0);
    const QIcon direct = QCommonStyle().standardIcon(picture);
    QCOMPARE(icon.isNull(), direct.isNull());
    QCOMPARE(imageOf(icon), imageOf(direct));
    QCOMPARE(icon.availableSizes(), direct.availableSizes());
    const int once = below->times;
    QVERIFY(once >= 1);
    QCOMPARE(imageOf(QIcon(icon)), imageOf(direct));
    QCOMPARE(below->times, once);
}

// A child window brings its system menu and a menu bar its arrow, with their pictures:
// while they are built only the picture a child window copies into its title bar is
// looked up.
void TestDeferredIconStyle::windowsAskForNoPictureWhileBuilt() {
    auto* below = new CountingStyle;
    QApplication::setStyle(new DeferredIconStyle(below));
    QMdiArea area;
    QMdiSubWindow* child = area.addSubWindow(new QWidget);
    auto* bar = new QMenuBar(&area);
    bar->addMenu("&File");
    QCOMPARE(below->asked, QSet<int>{QStyle::SP_TitleBarMenuButton});
    // The title bar's buttons are looked up once drawn.
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    child->grab();
    QVERIFY(below->asked.size() > 1);
}

QTEST_MAIN(TestDeferredIconStyle)
#include "tst_deferrediconstyle.moc"
