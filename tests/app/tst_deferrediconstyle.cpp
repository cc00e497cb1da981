#include "desktop/DeferredIconStyle.h"

#include <QCommonStyle>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

namespace {
// The style below, counting the pictures it is asked for.
class CountingStyle : public QCommonStyle {
public:
    int* asked;
    QSet<int>* which = nullptr;
    explicit CountingStyle(int* counter, QSet<int>* pictures = nullptr)
        : asked(counter), which(pictures) {}
    QIcon standardIcon(StandardPixmap picture, const QStyleOption* option,
                       const QWidget* widget) const override {
        ++*asked;
        if (which) which->insert(picture);
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
    void aPictureOutlivesItsWidget();
};

void TestDeferredIconStyle::picturesWaitUntilDrawn_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("title-bar close button") << int(QStyle::SP_TitleBarCloseButton);
    QTest::newRow("menu bar's arrow") << int(QStyle::SP_ToolBarHorizontalExtensionButton);
    QTest::newRow("back arrow, another picture by direction") << int(QStyle::SP_ArrowBack);
    QTest::newRow("none the style draws") << int(QStyle::SP_CustomBase + 1);
}

void TestDeferredIconStyle::picturesWaitUntilDrawn() {
    QFETCH(int, which);
    const auto picture = QStyle::StandardPixmap(which);
    int asked = 0;
    DeferredIconStyle style(new CountingStyle(&asked));
    const QIcon icon = style.standardIcon(picture);
    QCOMPARE(asked, 0);
    CountingStyle plain(&asked);
    const QIcon direct = plain.standardIcon(picture, nullptr, nullptr);
    asked = 0;
    QCOMPARE(icon.isNull(), direct.isNull());
    QCOMPARE(imageOf(icon), imageOf(direct));
    QCOMPARE(icon.availableSizes(), direct.availableSizes());
    QVERIFY(asked >= 1);
    // Looked up once, also for a copy.
    const int once = asked;
    const QIcon copy = icon;
    QCOMPARE(imageOf(copy), imageOf(direct));
    QCOMPARE(asked, once);
}

// A child window brings its system menu and a menu bar its arrow, with their pictures:
// while they are built only the picture a child window copies into its title bar is
// looked up.
void TestDeferredIconStyle::windowsAskForNoPictureWhileBuilt() {
    int asked = 0;
    QSet<int> pictures;
    QApplication::setStyle(new DeferredIconStyle(new CountingStyle(&asked, &pictures)));
    QMdiArea area;
    QMdiSubWindow* child = area.addSubWindow(new QWidget);
    auto* bar = new QMenuBar(&area);
    bar->addMenu("&File");
    QCOMPARE(pictures, QSet<int>{QStyle::SP_TitleBarMenuButton});
    // The title bar's buttons are looked up once drawn.
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    child->grab();
    QVERIFY(pictures.size() > 1);
}

void TestDeferredIconStyle::aPictureOutlivesItsWidget() {
    int asked = 0;
    DeferredIconStyle style(new CountingStyle(&asked));
    auto* widget = new QWidget;
    const QIcon icon = style.standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, widget);
    delete widget;
    QVERIFY(!imageOf(icon).isNull());
    QCOMPARE(asked, 1);
}

QTEST_MAIN(TestDeferredIconStyle)
#include "tst_deferrediconstyle.moc"
