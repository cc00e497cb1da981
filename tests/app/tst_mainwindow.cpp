#include "support/TestProgram.h"
#include "app/BackgroundMDI.h"
#include "librarywindow/LibraryMenu.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "core/QuenlorCode.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "editors/PlayWindow.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiBackend.h"
#include "midi/MidiPorts.h"
#include "settings/SettingsStore.h"
#include "support/FakeDesktop.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QToolBar>
#include <QTest>
#include <functional>
#include <utility>

using Program = TestProgram;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startUpSendsPatchOneOnce();
    void startUpShowsTheSplashForThreeSeconds();
    void iconAndMidiComeOnceTheWindowIsUp();
    void splashPauseDropsInput();
    void closingDuringTheSplashEndsTheProgram();
    void aboutClosesOnALeftClickOnly_data();
    void aboutClosesOnALeftClickOnly();
    void captionFollowsTheBankFile_data();
    void captionFollowsTheBankFile();
    void toolbarCannotBeHidden();
    void menusHaveTheirCaptionsAndShortcuts();
    void toolbarButtonsRunTheirCommands();
    void openBankSendsPatchOneWhenItsRowIsSelected();
    void currentPatchTarget();
    void newPatchDoesNothing();
    void quitAsksNothing();
    void backgroundPressPlaysTheTestNote();
    void closingRunsTheEditorsCloseHandling();
};

void TestMainWindow::startUpSendsPatchOneOnce() {
    Program p;
    p.start();
    QCOMPARE(p.window.windowTitle(), QString("Quenlor 1.2.1"));
    QCOMPARE(p.dumps(), 1);
    const auto sent = p.sent();
    QCOMPARE(sent.size(), size_t(2));
    QCOMPARE(sent[0].size(), size_t(80));
    QCOMPARE(sent[1], (std::vector<uint8_t>{0xC0, 0x00}));
    QListWidget* list = p.window.PatchWindow->PatchList;
    QCOMPARE(list->count(), 74);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(p.window.Mdi->currentSubWindow()->widget(), p.window.PatchWindow);
    QVERIFY(p.window.Play);
    QCOMPARE(p.window.Play->windowTitle(), QString("Play"));
    QCOMPARE(int(p.code.EditorReady), -1);
    // The play window starts right under the patch list.
    const QRect listFrame = p.window.PatchWindow->parentWidget()->geometry();
    const QRect playFrame = p.window.Play->parentWidget()->geometry();
    QCOMPARE(playFrame.top(), listFrame.bottom() + 1);
    QCOMPARE(playFrame.left(), listFrame.left());
    QCOMPARE(playFrame.width(), listFrame.width());
}

void TestMainWindow::startUpShowsTheSplashForThreeSeconds() {
    Program p;
    auto visibleSplashes = [] {
        int n = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            n += top->windowType() == Qt::SplashScreen && top->isVisible();
        return n;
    };
    bool splashOverLoadedWindow = false;
    p.desktop.DuringPause = [&] {
        splashOverLoadedWindow = visibleSplashes() == 1 && p.window.isVisible() &&
                                 p.window.PatchWindow && p.dumps() == 1;
    };
    Main(p.window, p.desktop);
    QCOMPARE(p.desktop.Pauses, QList<int>{3000});
    QVERIFY(splashOverLoadedWindow);
    QCOMPARE(visibleSplashes(), 0);
    QVERIFY(p.window.isVisible());
    QCOMPARE(p.dumps(), 1);
}

namespace {
// Runs a check when the window system first shows the window.
struct FirstExpose : QObject {
    FirstExpose(QWidget& window, std::function<void()> check) : m_window(window), m_check(check) {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched == m_window.windowHandle() && m_check)
            std::exchange(m_check, nullptr)();
        return false;
    }
    QWidget& m_window;
    std::function<void()> m_check;
};
} // namespace

// The icon, in the sizes desktops show, and the MIDI devices, for which patch 1 waits,
// come once the main window is up.
void TestMainWindow::iconAndMidiComeOnceTheWindowIsUp() {
    QApplication::setWindowIcon(QIcon());
    Program p;
    bool iconBeforeTheWindow = true, midiBeforeTheWindow = true;
    const FirstExpose expose(p.window, [&] {
        iconBeforeTheWindow = !QApplication::windowIcon().isNull();
        midiBeforeTheWindow = p.ports.MIDIOutput1.isOpen() || !p.sent().empty();
    });
    QList<QSize> sizesDuringThePause;
    p.desktop.DuringPause = [&] { sizesDuringThePause = QApplication::windowIcon().availableSizes(); };
    Main(p.window, p.desktop);
    QVERIFY(!iconBeforeTheWindow);
    QVERIFY(!midiBeforeTheWindow);
    QCOMPARE(sizesDuringThePause,
             (QList<QSize>{{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}}));
}

// Ctrl+O typed during the pause is dropped with the clicks; what does run afterwards
// runs with the splash already closed.
void TestMainWindow::splashPauseDropsInput() {
    Program p;
    int splashesWhenEventsRan = -1;
    p.desktop.DuringPause = [&] {
        // Shortcuts work in the active window only; the key waits in the queue, as keys
        // pressed during the pause do.
        p.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&p.window));
        QWidget* focus = p.window.PatchWindow->PatchList;
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
            QCoreApplication::postEvent(focus, new QKeyEvent(type, Qt::Key_O, Qt::ControlModifier));
        QTimer::singleShot(0, &p.window, [&] {
            splashesWhenEventsRan = 0;
            for (QWidget* top : QApplication::topLevelWidgets())
                splashesWhenEventsRan += top->windowType() == Qt::SplashScreen && top->isVisible();
        });
    };
    QVERIFY(Main(p.window, p.desktop));
    QCOMPARE(splashesWhenEventsRan, 0);
    QVERIFY(p.desktop.OpenSetups.isEmpty());
    // Afterwards the shortcut works again.
    p.desktop.cancelOpen();
    QTest::keyClick(p.window.PatchWindow->PatchList, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(p.desktop.OpenSetups.size(), 1);
}

void TestMainWindow::closingDuringTheSplashEndsTheProgram() {
    Program p;
    p.desktop.DuringPause = [&] {
        QCoreApplication::postEvent(p.window.windowHandle(), new QCloseEvent);
    };
    QVERIFY(!Main(p.window, p.desktop));
    QVERIFY(!p.window.isVisible());
}

void TestMainWindow::aboutClosesOnALeftClickOnly_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("pressOnly");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::newRow("left click") << int(Qt::LeftButton) << false << 0 << true;
    QTest::newRow("left press, not yet released") << int(Qt::LeftButton) << true << 0 << false;
    QTest::newRow("right click") << int(Qt::RightButton) << false << 0 << false;
    QTest::newRow("middle click") << int(Qt::MiddleButton) << false << 0 << false;
    QTest::newRow("Escape") << 0 << false << int(Qt::Key_Escape) << false;
    QTest::newRow("Enter") << 0 << false << int(Qt::Key_Return) << false;
}

void TestMainWindow::aboutClosesOnALeftClickOnly() {
    QFETCH(int, button);
    QFETCH(bool, pressOnly);
    QFETCH(int, key);
    QFETCH(bool, closes);
    Splash about;
    about.setModal(true);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QPoint middle = about.Label1->rect().center();
    if (key)
        QTest::keyClick(&about, Qt::Key(key));
    else if (pressOnly)
        QTest::mousePress(about.Label1, Qt::MouseButton(button), {}, middle);
    else
        QTest::mouseClick(about.Label1, Qt::MouseButton(button), {}, middle);
    QCOMPARE(!about.isVisible(), closes);
}

void TestMainWindow::captionFollowsTheBankFile_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("remembered");
    QTest::newRow("a file") << "a.bbk" << "Quenlor 1.2.1 - a.bbk" << "a.bbk";
    QTest::newRow("no file keeps the remembered one") << "" << "Quenlor 1.2.1" << "live.bbk";
    QTest::newRow("a name holding [*]") << "a[*].bbk" << "Quenlor 1.2.1 - a[*].bbk"
                                        << "a[*].bbk";
}

void TestMainWindow::captionFollowsTheBankFile() {
    QFETCH(QString, title);
    QFETCH(QString, caption);
    QFETCH(QString, remembered);
    Program p;
    p.start();
    p.window.SetMainCaption("live.bbk", "/banks/live.bbk");
    p.window.SetMainCaption(title, "/elsewhere/" + title);
    QCOMPARE(p.window.windowHandle()->title(), caption); // as the title bar shows it
    QCOMPARE(p.window.BankFileTitle, remembered);
}

void TestMainWindow::toolbarCannotBeHidden() {
    Program p;
    p.start();
    QVERIFY(!p.window.createPopupMenu());
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(p.window.Toolbar, &menu);
    QVERIFY(!QApplication::activePopupWidget());
    QVERIFY(p.window.Toolbar->isVisible());
}

void TestMainWindow::menusHaveTheirCaptionsAndShortcuts() {
    Program p;
    p.start();
    QStringList menus;
    for (QAction* a : p.window.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Sound", "&Library", "&Window", "&Help"}));
    QStringList file;
    for (QAction* a : p.window.mnu_File->actions())
        file << (a->isSeparator() ? "-" : a->text() + " " + a->shortcut().toString());
    QCOMPARE(file, (QStringList{"&New Bank Ctrl+N", "&Open Bank Ctrl+O", "&Save Bank Ctrl+S",
                                "Save Bank &As ", "&Restore Unsaved Bank ", "-", "New Patch ",
                                "Open Patch ", "Save Patch As ", "&Import SysEx... ",
                                "&Export Bank as SysEx... ", "Export Bank as P&lugin Presets... ",
                                "-", "O&ptions ", "-",
                                "&Quit Ctrl+Q"}));
    QStringList edit;
    for (QAction* a : p.window.mnu_Edit->actions())
        edit << (a->isSeparator() ? "-"
                                  : a->text() + " " + a->shortcuts().value(0).toString() + " " +
                                        a->shortcuts().value(1).toString());
    QCOMPARE(edit, (QStringList{"&Undo Ctrl+Z ", "&Redo Ctrl+Shift+Z Ctrl+Y", "-",
                                "&Copy Patch Ctrl+C ", "&Paste Patch Ctrl+V ", "-",
                                "Co&mpare Patches...  "}));
    QStringList library;
    for (QAction* a : p.window.library().mnu_Library->actions())
        library << a->text() + " " + a->shortcut().toString();
    QCOMPARE(library, (QStringList{"&Show Library Ctrl+L", "&Add Folder... ", "&Rescan Folders ",
                                   "Add Current &Bank ", "Remove &Folder... "}));
    QStringList help;
    for (QAction* a : p.window.mnu_Help->actions())
        help << a->text();
    QCOMPARE(help, (QStringList{"&Contents", "&About"}));
    QStringList buttons;
    for (QAction* a : p.window.Toolbar->actions())
        buttons << a->data().toString() + ":" + a->toolTip();
    QCOMPARE(buttons, (QStringList{"BankNew:New Bank", "BankOpen:Open Bank", "BankSave:Save Bank"}));
    for (QAction* a : p.window.Toolbar->actions())
        QTRY_VERIFY(!a->icon().isNull());
}

void TestMainWindow::toolbarButtonsRunTheirCommands() {
    QTemporaryDir dir;
    Program p;
    p.start();
    // Save Bank without a bank file asks for one; with one, it saves without asking.
    const QString path = dir.filePath("live.bbk");
    p.desktop.answerSave(path);
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[2]);
    QCOMPARE(p.desktop.SaveSetups.size(), 1);
    QVERIFY(QFile::exists(path));
    QCOMPARE(p.window.windowTitle(), QString("Quenlor 1.2.1 - live.bbk"));
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[2]);
    QCOMPARE(p.desktop.SaveSetups.size(), 1);
    // New Bank forgets the file, so the next Save Bank asks again.
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[0]);
    QCOMPARE(p.window.windowTitle(), QString("Quenlor 1.2.1"));
    p.desktop.cancelSave();
    p.window.mnu_Save->trigger();
    QCOMPARE(p.desktop.SaveSetups.size(), 2);
    // Open Bank asks for a file to open.
    p.desktop.cancelOpen();
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[1]);
    QCOMPARE(p.desktop.OpenSetups.size(), 1);
    QCOMPARE(p.desktop.OpenSetups[0].Filter, QString("Bit-01 banks (*.bbk)|*.bbk|All files|*.*"));
}

// Row 1 is selected after start-up, so selecting it again changes nothing in the list;
// the opened bank's patch 1 must reach the instrument all the same.
void TestMainWindow::openBankSendsPatchOneWhenItsRowIsSelected() {
    QTemporaryDir dir;
    Program p;
    p.start();
    p.code.PatchBank(1, 10) = 63;
    const QString path = dir.filePath("loud.bbk");
    p.desktop.answerSave(path);
    p.window.mnu_SaveAs->trigger();
    p.window.mnu_New->trigger();
    QCOMPARE(p.window.PatchWindow->PatchList->currentRow(), 0);
    const auto before = p.sent().size();
    p.desktop.answerOpen(path);
    p.window.mnu_Open->trigger();
    const auto sent = p.sent();
    QCOMPARE(sent.size(), before + 2);
    QCOMPARE(int(sent[before][9]), 0x0C); // parameter 10 at 63: data byte 0xFC
    QCOMPARE(int(sent[before][10]), 0x0F);
    QCOMPARE(sent[before + 1], (std::vector<uint8_t>{0xC0, 0x00}));
}

void TestMainWindow::currentPatchTarget() {
    Program p;
    p.start();
    Patch& list = *p.window.PatchWindow;
    QMdiArea& mdi = *p.window.Mdi;
    list.selectPatchRow(6);
    QCOMPARE(p.window.CurrentPatchTarget(), std::optional<int>(6));
    mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(p.window.Play->parentWidget()));
    QCOMPARE(p.window.CurrentPatchTarget(), std::optional<int>(6));
    p.code.SelectedPatch = 12;
    list.OpenPatchEditor(12, Patch::Bit01Editor);
    QCOMPARE(p.window.CurrentPatchTarget(), std::optional<int>(12));
    list.PatchList->setCurrentRow(-1);
    mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(list.parentWidget()));
    QCOMPARE(p.window.CurrentPatchTarget(), std::nullopt);
    // Open Patch without a target does nothing at all.
    p.window.mnu_OpenPatch->trigger();
    QCOMPARE(p.desktop.OpenSetups.size(), 0);
    // With no child window, there is no target.
    QMdiArea empty;
    QCOMPARE(empty.currentSubWindow(), nullptr);
}

void TestMainWindow::newPatchDoesNothing() {
    Program p;
    p.start();
    const auto before = p.sent();
    p.window.mnu_NewPatch->trigger();
    QCOMPARE(p.sent(), before);
    QVERIFY(p.desktop.Messages.isEmpty());
    QVERIFY(p.desktop.OpenSetups.isEmpty() && p.desktop.SaveSetups.isEmpty());
}

void TestMainWindow::quitAsksNothing() {
    Program p;
    p.start();
    p.code.PatchBank(3, 10) = 40; // an edited, unsaved bank
    p.window.mnu_Quit->trigger();
    QVERIFY(p.desktop.Messages.isEmpty());
    QVERIFY(p.desktop.SaveSetups.isEmpty());
    QVERIFY(p.store.readSection("MIDI").empty());
}

void TestMainWindow::backgroundPressPlaysTheTestNote() {
    Program p;
    p.start();
    p.code.MIDIChannelOut = 3;
    p.window.PatchWindow->selectPatchRow(1);
    const auto before = p.sent().size();
    QWidget* background = p.window.Mdi->viewport();
    const QPoint empty(background->width() - 5, background->height() - 5);
    QVERIFY(!background->childAt(empty));
    QTest::mousePress(background, Qt::LeftButton, {}, empty);
    QTest::mouseRelease(background, Qt::LeftButton, {}, empty);
    auto sent = p.sent();
    QCOMPARE(sent.size(), before + 2);
    QCOMPARE(sent[before], (std::vector<uint8_t>{0x92, 60, 70}));
    QCOMPARE(sent[before + 1], (std::vector<uint8_t>{0x92, 60, 0}));
    QCOMPARE(int(p.window.Play->LastPlayedNote), 0);
    // Every release ends the note: two buttons held give two note ends.
    QTest::mousePress(background, Qt::LeftButton, {}, empty);
    QTest::mousePress(background, Qt::RightButton, {}, empty);
    QTest::mouseRelease(background, Qt::RightButton, {}, empty);
    QTest::mouseRelease(background, Qt::LeftButton, {}, empty);
    sent = p.sent();
    QCOMPARE(std::vector(sent.begin() + before + 2, sent.end()),
             (std::vector<std::vector<uint8_t>>{{0x92, 60, 70}, {0x92, 60, 70}, {0x92, 60, 0},
                                               {0x92, 60, 0}}));
    // A press inside a child window is not a press on the background.
    QWidget* list = p.window.PatchWindow->PatchList->viewport();
    QTest::mousePress(list, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(list, Qt::LeftButton, {}, QPoint(5, 5));
    for (size_t i = before + 6; i < p.sent().size(); ++i)
        QVERIFY(p.sent()[i][0] != 0x92);
}

void TestMainWindow::closingRunsTheEditorsCloseHandling() {
    Program p;
    p.start();
    p.code.SelectedPatch = 4;
    p.window.PatchWindow->OpenPatchEditor(4, Patch::NormalEditor);
    QCOMPARE(int(p.window.PatchWindow->editorKindOf(4)), 1);
    p.window.close();
    QCOMPARE(int(p.window.PatchWindow->editorKindOf(4)), 0);
    QVERIFY(p.desktop.Messages.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
