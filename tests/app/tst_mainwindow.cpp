#include "app/BackgroundMDI.h"
#include "app/Main.h"
#include "core/QuenlorCode.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "editors/PlayWindow.h"
#include "midi/MIDIUtilities.h"
#include "midi/MemoryMidiBackend.h"
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
#include <QToolBar>
#include <QtTest>

// The whole program on the in-memory MIDI system: start-up, title, commands.
struct Program {
    Program()
        : backend({"Keys:out"}, {"Synth:Bit 01 in"}), ports(backend),
          window(code, ports, midi, store, desktop) {}
    QuenlorCode code;
    MemoryMidiBackend backend;
    MidiPorts ports;
    MIDIUtilities midi;
    MemorySettingsStore store;
    FakeDesktop desktop;
    BackgroundMDI window;

    void start() {
        window.MDIForm_Load();
        window.show();
    }
    // Everything the program put on the wire so far, message by message.
    std::vector<std::vector<uint8_t>> sent() const { return backend.SentBytes(); }
    int dumps() const {
        int n = 0;
        for (const auto& m : sent())
            n += !m.empty() && m[0] == 0xF0;
        return n;
    }
};

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startUpSendsPatchOneOnce();
    void startUpShowsTheSplashForThreeSeconds();
    void captionFollowsTheBankFile_data();
    void captionFollowsTheBankFile();
    void menusHaveTheirCaptionsAndShortcuts();
    void toolbarButtonsRunTheirCommands();
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

void TestMainWindow::captionFollowsTheBankFile_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("remembered");
    QTest::newRow("a file") << "a.bbk" << "Quenlor 1.2.1 - a.bbk" << "a.bbk";
    QTest::newRow("no file keeps the remembered one") << "" << "Quenlor 1.2.1" << "live.bbk";
}

void TestMainWindow::captionFollowsTheBankFile() {
    QFETCH(QString, title);
    QFETCH(QString, caption);
    QFETCH(QString, remembered);
    Program p;
    p.start();
    p.window.SetMainCaption("live.bbk", "/banks/live.bbk");
    p.window.SetMainCaption(title, "/elsewhere/" + title);
    QCOMPARE(p.window.windowTitle(), caption);
    QCOMPARE(p.window.BankFileTitle, remembered);
}

void TestMainWindow::menusHaveTheirCaptionsAndShortcuts() {
    Program p;
    p.start();
    QStringList menus;
    for (QAction* a : p.window.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Window", "&Help"}));
    QStringList file;
    for (QAction* a : p.window.mnu_File->actions())
        file << (a->isSeparator() ? "-" : a->text() + " " + a->shortcut().toString());
    QCOMPARE(file, (QStringList{"&New Bank Ctrl+N", "&Open Bank Ctrl+O", "&Save Bank Ctrl+S",
                                "Save Bank &As ", "&Restore Unsaved Bank ", "-", "New Patch ",
                                "Open Patch ", "Save Patch As ", "-", "O&ptions ", "-",
                                "&Quit Ctrl+Q"}));
    QStringList edit;
    for (QAction* a : p.window.mnu_Edit->actions())
        edit << a->text() + " " + a->shortcuts().value(0).toString() + " " +
                    a->shortcuts().value(1).toString();
    QCOMPARE(edit, (QStringList{"&Undo Ctrl+Z ", "&Redo Ctrl+Shift+Z Ctrl+Y"}));
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
    p.desktop.AnswerSave(path);
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[2]);
    QCOMPARE(p.desktop.SaveSetups.size(), 1);
    QVERIFY(QFile::exists(path));
    QCOMPARE(p.window.windowTitle(), QString("Quenlor 1.2.1 - live.bbk"));
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[2]);
    QCOMPARE(p.desktop.SaveSetups.size(), 1);
    // New Bank forgets the file, so the next Save Bank asks again.
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[0]);
    QCOMPARE(p.window.windowTitle(), QString("Quenlor 1.2.1"));
    p.desktop.CancelSave();
    p.window.mnu_Save->trigger();
    QCOMPARE(p.desktop.SaveSetups.size(), 2);
    // Open Bank asks for a file to open.
    p.desktop.CancelOpen();
    p.window.Toolbar_ButtonClick(p.window.Toolbar->actions()[1]);
    QCOMPARE(p.desktop.OpenSetups.size(), 1);
    QCOMPARE(p.desktop.OpenSetups[0].Filter, QString("Bit-01 banks (*.bbk)|*.bbk|All files|*.*"));
}

void TestMainWindow::currentPatchTarget() {
    Program p;
    p.start();
    Patch& list = *p.window.PatchWindow;
    QMdiArea& mdi = *p.window.Mdi;
    list.SelectPatchRow(6);
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
    QVERIFY(p.store.ReadSection("MIDI").empty());
}

void TestMainWindow::backgroundPressPlaysTheTestNote() {
    Program p;
    p.start();
    p.code.MIDIChannelOut = 3;
    p.window.PatchWindow->SelectPatchRow(1);
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
    // A press inside a child window is not a press on the background.
    QWidget* list = p.window.PatchWindow->PatchList->viewport();
    QTest::mousePress(list, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(list, Qt::LeftButton, {}, QPoint(5, 5));
    for (size_t i = before + 2; i < p.sent().size(); ++i)
        QVERIFY(p.sent()[i][0] != 0x92);
}

void TestMainWindow::closingRunsTheEditorsCloseHandling() {
    Program p;
    p.start();
    p.code.SelectedPatch = 4;
    p.window.PatchWindow->OpenPatchEditor(4, Patch::NormalEditor);
    QCOMPARE(int(p.window.PatchWindow->OpenEditorKind[4]), 1);
    p.window.close();
    QCOMPARE(int(p.window.PatchWindow->OpenEditorKind[4]), 0);
    QVERIFY(p.desktop.Messages.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
