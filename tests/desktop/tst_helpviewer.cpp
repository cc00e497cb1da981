#include "desktop/HelpViewer.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QStandardPaths>
#include <QTest>

// The help window and the manual it shows: where the manual is found, that it opens at
// its contents without waiting, that every link of every page leads somewhere, and what
// the window says when the manual is missing.
class TestHelpViewer : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    // Finding the manual.
    void manualFoundFromBuildTree();
    void searchListStartsNextToProgram();
    void findManualSkipsMissingPlaces();

    // Opening it.
    void showContentsOpensContentsPage();
    void showContentsDoesNotWait();
    void contentsButtonReturnsToContents();
    void viewerWithParentIsOwnWindow();

    // The pages.
    void buildCopyMatchesSources();
    void everyLinkResolves();
    void everyPageReachableFromContents();
    void everyPageHasTitleAndWayBack();
    void styleSheetReachesEveryPage();

    // No manual.
    void missingManualShowsOwnMessage();
    void missingManualWithNoPlaces();
    void manualInstalledOrRemovedWhileRunning();

private:
    static QString buildRoot() { return QStringLiteral(QUENLOR_BUILD_ROOT); }
    static QString programDir() { return buildRoot() + "/bin"; }
    static QString manualDir() { return buildRoot() + "/share/quenlor/manual"; }
    static QString sourceManualDir() {
        return QStringLiteral(QUENLOR_SOURCE_ROOT "/docs/manual");
    }
    static QStringList pages(const QString& dir);
    static QStringList rawLinks(const QString& file);
    static QStringList documentLinks(const QString& file);
    static QSet<QString> anchorsOf(const QString& file);
};

void TestHelpViewer::cleanup() {
    // Each test closes what it opened; a window left over would mean a leak.
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

QStringList TestHelpViewer::pages(const QString& dir) {
    QStringList found;
    QDirIterator it(dir, {"*.html"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(dir).relativeFilePath(it.next());
    found.sort();
    return found;
}

// Every href and src of the page's text, the style sheet link included.
QStringList TestHelpViewer::rawLinks(const QString& file) {
    QFile page(file);
    if (!page.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(page.readAll());
    static const QRegularExpression link(R"re((?:href|src)\s*=\s*"([^"]*)")re",
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList links;
    for (auto it = link.globalMatch(text); it.hasNext();)
        links << it.next().captured(1);
    return links;
}

// The links as the help window itself reads them from the page.
QStringList TestHelpViewer::documentLinks(const QString& file) {
    QTextBrowser browser;
    browser.setSource(QUrl::fromLocalFile(file));
    QStringList links;
    for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                links << it.fragment().charFormat().anchorHref();
    links.removeDuplicates();
    return links;
}

QSet<QString> TestHelpViewer::anchorsOf(const QString& file) {
    QTextBrowser browser;
    browser.setSource(QUrl::fromLocalFile(file));
    QSet<QString> anchors;
    for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString& name : it.fragment().charFormat().anchorNames())
                anchors.insert(name);
    return anchors;
}

void TestHelpViewer::manualFoundFromBuildTree() {
    const QString found = HelpViewer::findManual(HelpViewer::manualSearchList(programDir()));
    QCOMPARE(found, QFileInfo(manualDir() + "/index.html").absoluteFilePath());
}

void TestHelpViewer::searchListStartsNextToProgram() {
    const QStringList places = HelpViewer::manualSearchList("/opt/quenlor/bin");
    QVERIFY(!places.isEmpty());
    QCOMPARE(places.first(), QString("/opt/quenlor/share/quenlor/manual/index.html"));
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        QVERIFY(places.contains(QDir::cleanPath(dir + "/quenlor/manual/index.html")));
        QVERIFY(places.contains(QDir::cleanPath(dir + "/doc/quenlor/manual/index.html")));
    }
    QCOMPARE(places.size(), QSet<QString>(places.begin(), places.end()).size());
}

void TestHelpViewer::findManualSkipsMissingPlaces() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A folder that happens to carry the page's name is no manual.
    QVERIFY(QDir(dir.path()).mkpath("a/index.html"));
    QVERIFY(QDir(dir.path()).mkpath("b"));
    QFile page(dir.filePath("b/index.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>t</title></head><body></body></html>");
    page.close();

    const QStringList places = {dir.filePath("missing/index.html"), dir.filePath("a/index.html"),
                                dir.filePath("b/index.html")};
    QCOMPARE(HelpViewer::findManual(places), dir.filePath("b/index.html"));
    QCOMPARE(HelpViewer::findManual(places.mid(0, 2)), QString());
    QCOMPARE(HelpViewer::findManual({}), QString());
}

void TestHelpViewer::showContentsOpensContentsPage() {
    HelpViewer viewer(HelpViewer::manualSearchList(programDir()));
    viewer.showContents();
    QVERIFY(viewer.isVisible());
    QVERIFY(viewer.isWindow());
    QVERIFY(!viewer.isModal());
    QCOMPARE(viewer.windowTitle(), QString("Quenlor Help"));
    QCOMPARE(viewer.browser()->source(), QUrl::fromLocalFile(manualDir() + "/index.html"));
    QCOMPARE(viewer.browser()->documentTitle(), QString("Quenlor manual: Contents"));
    QVERIFY(anchorsOf(manualDir() + "/index.html").contains("contents"));
    QCOMPARE(viewer.browser()->verticalScrollBar()->value(), 0);
    viewer.close();
}

void TestHelpViewer::showContentsDoesNotWait() {
    // A viewer that waited (a modal loop) would run this timer before returning.
    bool eventLoopRan = false;
    HelpViewer viewer(HelpViewer::manualSearchList(programDir()));
    QTimer::singleShot(0, &viewer, [&eventLoopRan] { eventLoopRan = true; });
    viewer.showContents();
    QVERIFY(!eventLoopRan);
    QVERIFY(viewer.isVisible());
    QTRY_VERIFY(eventLoopRan);
    viewer.close();
}

void TestHelpViewer::contentsButtonReturnsToContents() {
    HelpViewer viewer(HelpViewer::manualSearchList(programDir()));
    viewer.showContents();
    auto* back = viewer.findChild<QToolButton*>("BackButton");
    auto* forward = viewer.findChild<QToolButton*>("ForwardButton");
    auto* contents = viewer.findChild<QToolButton*>("ContentsButton");
    QVERIFY(back && forward && contents);
    QVERIFY(!back->isEnabled());

    const QUrl index = QUrl::fromLocalFile(manualDir() + "/index.html");
    const QUrl page = index.resolved(QUrl("options.html"));
    viewer.browser()->setSource(page);
    QCOMPARE(viewer.browser()->source(), page);
    QVERIFY(back->isEnabled());

    contents->click();
    QCOMPARE(viewer.browser()->source(), index);
    back->click();
    QCOMPARE(viewer.browser()->source(), page);
    QVERIFY(forward->isEnabled());
    forward->click();
    QCOMPARE(viewer.browser()->source(), index);

    // Scrolled down the contents, the command shows its top again.
    viewer.resize(300, 200);
    viewer.browser()->verticalScrollBar()->setValue(
        viewer.browser()->verticalScrollBar()->maximum());
    viewer.showContents();
    QCOMPARE(viewer.browser()->source(), index);
    QCOMPARE(viewer.browser()->verticalScrollBar()->value(), 0);
    viewer.close();
}

void TestHelpViewer::viewerWithParentIsOwnWindow() {
    QWidget mainWindow;
    mainWindow.show();
    auto* viewer = new HelpViewer(HelpViewer::manualSearchList(programDir()), &mainWindow);
    viewer->showContents();
    QVERIFY(viewer->isWindow());
    QVERIFY(viewer->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    // Asked again, the one window comes back; no second one is made.
    viewer->showContents();
    QCOMPARE(mainWindow.findChildren<HelpViewer*>().size(), 1);
    viewer->close();
    mainWindow.close();
}

void TestHelpViewer::buildCopyMatchesSources() {
    QDirIterator it(sourceManualDir(), QDir::Files, QDirIterator::Subdirectories);
    QStringList sources;
    while (it.hasNext())
        sources << QDir(sourceManualDir()).relativeFilePath(it.next());
    QDirIterator copies(manualDir(), QDir::Files, QDirIterator::Subdirectories);
    QStringList copied;
    while (copies.hasNext())
        copied << QDir(manualDir()).relativeFilePath(copies.next());
    sources.sort();
    copied.sort();
    QVERIFY(sources.contains("index.html"));
    QCOMPARE(copied, sources);
    for (const QString& name : sources) {
        QFile source(sourceManualDir() + '/' + name);
        QFile copy(manualDir() + '/' + name);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QVERIFY2(source.readAll() == copy.readAll(), qPrintable(name + " is out of date"));
    }
}

void TestHelpViewer::everyLinkResolves() {
    const QStringList all = pages(manualDir());
    QVERIFY(all.size() > 1);
    int checked = 0;
    for (const QString& name : all) {
        const QString file = manualDir() + '/' + name;
        QStringList links = rawLinks(file) + documentLinks(file);
        links.removeDuplicates();
        for (const QString& href : links) {
            const QString where = name + ": " + href;
            const QUrl link(href);
            // The manual is read in the program's own window, which opens local pages only.
            QVERIFY2(link.isRelative(), qPrintable(where + " leaves the manual"));
            const QUrl target = QUrl::fromLocalFile(file).resolved(link);
            const QString targetFile = target.toLocalFile();
            QVERIFY2(QFileInfo(targetFile).isFile(), qPrintable(where + " leads nowhere"));
            QVERIFY2(QDir::cleanPath(targetFile).startsWith(manualDir() + '/'),
                     qPrintable(where + " leaves the manual"));
            if (target.hasFragment())
                QVERIFY2(anchorsOf(targetFile).contains(target.fragment()),
                         qPrintable(where + " names a missing section"));
            ++checked;
        }
    }
    QVERIFY(checked > all.size());
}

void TestHelpViewer::everyPageReachableFromContents() {
    QSet<QString> seen{"index.html"};
    QStringList queue{"index.html"};
    while (!queue.isEmpty()) {
        const QString name = queue.takeFirst();
        const QString file = manualDir() + '/' + name;
        for (const QString& href : documentLinks(file)) {
            const QString target =
                QDir(manualDir())
                    .relativeFilePath(QUrl::fromLocalFile(file).resolved(QUrl(href)).toLocalFile());
            if (target.endsWith(".html") && !seen.contains(target)) {
                seen.insert(target);
                queue << target;
            }
        }
    }
    for (const QString& name : pages(manualDir()))
        QVERIFY2(seen.contains(name), qPrintable(name + " cannot be reached from the contents"));
}

void TestHelpViewer::everyPageHasTitleAndWayBack() {
    for (const QString& name : pages(manualDir())) {
        const QString file = manualDir() + '/' + name;
        QTextBrowser browser;
        browser.setSource(QUrl::fromLocalFile(file));
        QVERIFY2(browser.documentTitle().startsWith("Quenlor manual: "), qPrintable(name));
        QVERIFY2(!browser.toPlainText().trimmed().isEmpty(), qPrintable(name));
        if (name != "index.html")
            QVERIFY2(documentLinks(file).contains("index.html"),
                     qPrintable(name + " has no link back to the contents"));
    }
}

void TestHelpViewer::styleSheetReachesEveryPage() {
    // The window only applies a linked style sheet it understands; a page whose link it
    // ignores would show in plain black.
    QFile sheet(manualDir() + "/style.css");
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    const QRegularExpression h1Colour(R"re(h1\s*\{[^}]*[^-]color:\s*(#[0-9a-fA-F]{6}))re");
    const QRegularExpressionMatch match = h1Colour.match(QString::fromUtf8(sheet.readAll()));
    QVERIFY(match.hasMatch());
    const QColor expected(match.captured(1));
    for (const QString& name : pages(manualDir())) {
        QTextBrowser browser;
        browser.setSource(QUrl::fromLocalFile(manualDir() + '/' + name));
        QColor heading;
        for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
            if (block.blockFormat().headingLevel() == 1) {
                heading = block.begin().fragment().charFormat().foreground().color();
                break;
            }
        QVERIFY2(heading == expected, qPrintable(name));
    }
}

void TestHelpViewer::missingManualShowsOwnMessage() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList places = HelpViewer::manualSearchList(dir.filePath("bin"));
    HelpViewer viewer(places);
    viewer.showContents();
    QVERIFY(viewer.isVisible());
    QCOMPARE(viewer.windowTitle(), QString("Quenlor Help"));
    QCOMPARE(viewer.contentsPath(), QString());
    const QString text = viewer.browser()->toPlainText();
    QVERIFY2(text.contains("The Quenlor manual could not be found. It is looked for in:"),
             qPrintable(text));
    QVERIFY(text.contains(dir.filePath("share/quenlor/manual")));
    for (const QString& place : places)
        QVERIFY2(text.contains(QFileInfo(place).absolutePath()), qPrintable(place));

    // The buttons lead nowhere else and break nothing.
    viewer.findChild<QToolButton*>("ContentsButton")->click();
    QVERIFY(viewer.browser()->toPlainText().contains("could not be found"));
    QVERIFY(!viewer.findChild<QToolButton*>("BackButton")->isEnabled());
    viewer.close();
}

void TestHelpViewer::missingManualWithNoPlaces() {
    HelpViewer viewer(QStringList{});
    viewer.showContents();
    QVERIFY(viewer.isVisible());
    QVERIFY(viewer.browser()->toPlainText().contains("could not be found"));
    viewer.close();
}

void TestHelpViewer::manualInstalledOrRemovedWhileRunning() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString index = dir.filePath("share/quenlor/manual/index.html");
    HelpViewer viewer(QStringList{index});
    viewer.showContents();
    QVERIFY(viewer.browser()->toPlainText().contains("could not be found"));

    QVERIFY(QDir().mkpath(QFileInfo(index).absolutePath()));
    QFile page(index);
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Installed</title></head><body><p>Here</p></body></html>");
    page.close();
    viewer.showContents();
    QCOMPARE(viewer.contentsPath(), index);
    QCOMPARE(viewer.browser()->documentTitle(), QString("Installed"));

    QVERIFY(QFile::remove(index));
    viewer.showContents();
    QCOMPARE(viewer.contentsPath(), QString());
    QVERIFY(viewer.browser()->toPlainText().contains("could not be found"));

    // Back again at the same place: shown afresh, not the stale message.
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Again</title></head><body><p>Here</p></body></html>");
    page.close();
    viewer.showContents();
    QCOMPARE(viewer.browser()->documentTitle(), QString("Again"));
    viewer.close();
}

QTEST_MAIN(TestHelpViewer)
#include "tst_helpviewer.moc"
