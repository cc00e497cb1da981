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
    QIcon standardIcon(StandardPixmap picture, const QStyleOption* option,
                       const QWidget* widget) const override {
        asked.insert(picture);
        return QCommonStyle::standardIcon(picture, option, widget);
    }
};

QImage imageOf(const QIcon& icon) { return icon.pixmap(QSize(16, 16)).toImage(); }
} // namespace

class TestDeferredIconStyle : public QObject {
    Q_OBJECT
private slots:
    void picturesWaitUntilDrawn();
};

// A child window brings its system menu and a menu bar its arrow, with their pictures:
// while they are built only the picture a child window copies into its title bar is
// looked up; the others when drawn, as the style below draws them, even once the widget
// they were asked for has gone.
void TestDeferredIconStyle::picturesWaitUntilDrawn() {
    auto* below = new CountingStyle;
    QApplication::setStyle(new DeferredIconStyle(below));
    QMdiArea area;
    QMdiSubWindow* child = area.addSubWindow(new QWidget);
    auto* bar = new QMenuBar(&area);
    bar->addMenu("&File");
    auto* gone = new QWidget;
    const QIcon close = QApplication::style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, gone);
    delete gone;
    QCOMPARE(below->asked, QSet<int>{QStyle::SP_TitleBarMenuButton});
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    child->grab();
    QVERIFY(below->asked.size() > 1);
    QCOMPARE(imageOf(close), imageOf(QCommonStyle().standardIcon(QStyle::SP_TitleBarCloseButton)));
}

QTEST_MAIN(TestDeferredIconStyle)
#include "tst_deferrediconstyle.moc"
