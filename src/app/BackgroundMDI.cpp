#include "BackgroundMDI.h"

#include "AppStorageHost.h"
#include "Splash.h"
#include "StatusLine.h"
#include "ToolbarPictures.h"
#include "core/QuenlorCode.h"
#include "desktop/Desktop.h"
#include "desktop/HelpViewer.h"
#include "editors/ActivationRouter.h"
#include "editors/BankHistory.h"
#include "editors/EditorWindow.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "editors/PatchWriter.h"
#include "editors/PlayWindow.h"
#include "editors/Twips.h"
#include "knobs/ControllerInput.h"
#include "librarian/Librarian.h"
#include "librarywindow/LibraryMenu.h"
#include "midi/MIDIUtilities.h"
#include "midi/MidiPorts.h"
#include "midi/MidiThru.h"
#include "midi/MidiWorld.h"
#include "settings/Settings.h"
#include "sound/SoundMenu.h"
#include "storage/BankCommands.h"
#include "unsaved/UnsavedBank.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
const QColor kBackground(0, 64, 64);
constexpr int kInitialWidth = 900;
constexpr int kInitialHeight = 680;
constexpr int kDropDisplayMs = 1000;
} // namespace

QString BackgroundMDI::numberedCaption(int index, const QString& text) {
    return index < 9 ? QString("&%1 %2").arg(index + 1).arg(text)
                     : QString("%1 %2").arg(index + 1).arg(text);
}

QString BackgroundMDI::AppTitle() { return QString(AppName) + " " + AppVersion; }

BackgroundMDI::BackgroundMDI(QuenlorCode& code, MidiWorld& midi, SettingsStore& store,
                             Desktop& desktop)
    : m_code(code), m_ports(midi.ports()), m_midi(midi.midi()), m_store(store), m_desktop(desktop),
      m_context{code, desktop, *new QMdiArea, nullptr} {
    createArea();
    createBank();
    // Every way out (Quit, the close button, the desktop ending the session) passes here
    // before the window and what it owns go.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &BackgroundMDI::shutDown);
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, &BackgroundMDI::keepWork);
#endif

    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    resize(kInitialWidth, kInitialHeight);
    connectMidi();
}

BackgroundMDI::~BackgroundMDI() {
    m_ports.MIDIOutput1.setDropNotice(nullptr);
    shutDown();
    // The child windows reach the history and the bank's copy through the members,
    // which would go before the window's own children: the windows go first, so that
    // nothing they do on their way out reaches a member that is gone. The background
    // being taken apart is no longer watched for test notes.
    Mdi->viewport()->removeEventFilter(this);
    delete takeCentralWidget();
    Mdi = nullptr;
    PatchWindow = nullptr;
    Play = nullptr;
    m_context.PatchWindow = nullptr;
    m_ports.MIDIOutput1.setWaitNotice(nullptr);
}

// The background that holds the child windows.
void BackgroundMDI::createArea() {
    Mdi = &m_context.Mdi;
    Mdi->setBackground(kBackground);
    Mdi->viewport()->installEventFilter(this);
    setCentralWidget(Mdi);
    new ActivationRouter(*Mdi);
}

// The bank's commands, its history and the copy of unsaved work that follows it.
void BackgroundMDI::createBank() {
    m_storageHost = std::make_unique<AppStorageHost>(*this, m_desktop);
    m_commands = std::make_unique<BankCommands>(m_code, *m_storageHost);
    m_history = std::make_unique<BankHistory>(m_context);
    m_context.History = m_history.get();
    m_history->RefreshEditor = [this](int patch) { m_commands->RefreshEditor(patch); };
    m_history->bankFile = [this] { return bankFile(); };
    m_history->setBankFile = [this](const BankFile& file) { setBankFile(file); };
    m_unsaved =
        std::make_unique<UnsavedBank>(UnsavedBank::defaultFolder(), m_context, BankFilePath);
    UnsavedBank* unsaved = m_unsaved.get();
    connect(m_history.get(), &BankHistory::corrected, unsaved, &UnsavedBank::corrected);
    connect(m_history.get(), &BankHistory::changed, unsaved, &UnsavedBank::bankChanged);
    connect(m_history.get(), &BankHistory::replacingBank, unsaved, &UnsavedBank::replacingBank);
    connect(m_history.get(), &BankHistory::bankReplaced, unsaved, &UnsavedBank::bankReplaced);
    connect(m_history.get(), &BankHistory::gestureEnded, unsaved, &UnsavedBank::gestureEnded);
    connect(unsaved, &UnsavedBank::cannotKeep, this, [this](const QString& reason) {
        m_status->tell(StatusLine::Notice::CannotKeep, "Unsaved changes cannot be kept: " + reason);
    });
    connect(unsaved, &UnsavedBank::keptAgain, this,
            [this] { m_status->tell(StatusLine::Notice::CannotKeep, QString()); });
    connect(unsaved, &UnsavedBank::copiesChanged, this, &BackgroundMDI::renewRestoreOffer);
}

// Knobs and MIDI thru on the input; what the output tells of drops and of waiting.
void BackgroundMDI::connectMidi() {
    // Knobs play the patch a patch command would work on, or the one selected.
    m_controllers = new ControllerInput(
        m_context, m_store, *m_writer,
        [this] { return CurrentPatchTarget().value_or(m_writer->selectedPatch()); },
        [this](const QString& text) { SetStatusText(text); }, this);

    connect(&m_ports.MIDIInput1, &MIDIInput::Message, this, &BackgroundMDI::MIDIInput1_Message);
    // Told on the thread that sent; a flood drops thousands a second, and only one
    // notice at a time waits in the event queue.
    m_ports.MIDIOutput1.setDropNotice([this] {
        if (!m_dropNoticePosted.exchange(true))
            QMetaObject::invokeMethod(this, &BackgroundMDI::midiDropped, Qt::QueuedConnection);
    });
    // Closing the output waits until the last patch has left (a second or two at most).
    m_ports.MIDIOutput1.setWaitNotice([this](bool waiting) {
        waiting ? m_desktop.ShowBusyPointer() : m_desktop.ShowNormalPointer();
    });
}

void BackgroundMDI::createActions() {
    auto action = [this](const QString& name, const QString& caption, auto handler,
                         QKeySequence shortcut = {}) {
        auto* a = new QAction(caption, this);
        a->setObjectName(name);
        a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    mnu_New = action("mnu_New", "&New Bank", &BackgroundMDI::mnu_New_Click, QKeySequence("Ctrl+N"));
    mnu_Open = action("mnu_Open", "&Open Bank", &BackgroundMDI::mnu_Open_Click, QKeySequence("Ctrl+O"));
    mnu_Save = action("mnu_Save", "&Save Bank", &BackgroundMDI::mnu_Save_Click, QKeySequence("Ctrl+S"));
    mnu_SaveAs = action("mnu_SaveAs", "Save Bank &As", &BackgroundMDI::mnu_SaveAs_Click);
    mnu_NewPatch = action("mnu_NewPatch", "New Patch", [] {});
    mnu_OpenPatch = action("mnu_OpenPatch", "Open Patch", &BackgroundMDI::mnu_OpenPatch_Click);
    mnu_SavePatchAs = action("mnu_SavePatchAs", "Save Patch As", &BackgroundMDI::mnu_SavePatchAs_Click);
    mnu_ImportSysEx =
        action("mnu_ImportSysEx", "&Import SysEx...", &BackgroundMDI::mnu_ImportSysEx_Click);
    mnu_ExportSysEx = action("mnu_ExportSysEx", "&Export Bank as SysEx...",
                             &BackgroundMDI::mnu_ExportSysEx_Click);
    mnu_ExportPresets = action("mnu_ExportPresets", "Export Bank as P&lugin Presets...",
                               &BackgroundMDI::mnu_ExportPresets_Click);
    mnu_Options = action("mnu_Options", "O&ptions", &BackgroundMDI::mnu_Options_Click);
    mnu_Quit = action("mnu_Quit", "&Quit", &BackgroundMDI::mnu_Quit_Click, QKeySequence("Ctrl+Q"));
    mnu_Undo = action("mnu_Undo", "&Undo", &BackgroundMDI::mnu_Undo_Click, QKeySequence("Ctrl+Z"));
    mnu_Redo = action("mnu_Redo", "&Redo", &BackgroundMDI::mnu_Redo_Click);
    mnu_Redo->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
    mnu_CopyPatch = action("mnu_CopyPatch", "&Copy Patch", &BackgroundMDI::mnu_CopyPatch_Click,
                           QKeySequence("Ctrl+C"));
    mnu_PastePatch = action("mnu_PastePatch", "&Paste Patch",
                            &BackgroundMDI::mnu_PastePatch_Click, QKeySequence("Ctrl+V"));
    mnu_Compare =
        action("mnu_Compare", "Co&mpare Patches...", &BackgroundMDI::mnu_Compare_Click);
    connect(m_history.get(), &BankHistory::stepsChanged, this, &BackgroundMDI::updateEditMenu);
    updateEditMenu();
    mnu_Contents = action("mnu_Contents", "&Contents", &BackgroundMDI::mnu_Contents_Click);
    mnu_About = action("mnu_About", "&About", &BackgroundMDI::mnu_About_Click);
}

void BackgroundMDI::createMenus() {
    mnu_File = menuBar()->addMenu("&File");
    mnu_File->setObjectName("mnu_File");
    mnu_File->addActions({mnu_New, mnu_Open, mnu_Save, mnu_SaveAs});
    mnu_Restore = mnu_File->addMenu("&Restore Unsaved Bank");
    mnu_Restore->setObjectName("mnu_Restore");
    connect(m_unsaved.get(), &UnsavedBank::copiesChanged, this, &BackgroundMDI::updateRestoreMenu);
    updateRestoreMenu();
    mnu_File->addSeparator()->setObjectName("mnu_Separator1");
    mnu_File->addActions(
        {mnu_NewPatch, mnu_OpenPatch, mnu_SavePatchAs, mnu_ImportSysEx, mnu_ExportSysEx,
         mnu_ExportPresets});
    mnu_File->addSeparator()->setObjectName("mnu_Separator3");
    mnu_File->addAction(mnu_Options);
    mnu_File->addSeparator()->setObjectName("mnu_Separator2");
    mnu_File->addAction(mnu_Quit);

    mnu_Edit = menuBar()->addMenu("&Edit");
    mnu_Edit->setObjectName("mnu_Edit");
    mnu_Edit->addActions({mnu_Undo, mnu_Redo});
    mnu_Edit->addSeparator()->setObjectName("mnu_EditSeparator1");
    mnu_Edit->addActions({mnu_CopyPatch, mnu_PastePatch});
    mnu_Edit->addSeparator()->setObjectName("mnu_EditSeparator2");
    mnu_Edit->addAction(mnu_Compare);

    // Sound comes before the Window menu, after anything else that edits the bank.
    m_writer = std::make_unique<PatchWriter>(m_context);
    m_sound = new SoundMenu(m_context, m_store, *m_writer, [this] { return CurrentPatchTarget(); }, this);
    menuBar()->addMenu(m_sound->mnu_Sound);
    m_library = new LibraryMenu(*this);
    menuBar()->addMenu(m_library->mnu_Library);

    mnu_Window = menuBar()->addMenu("&Window");
    mnu_Window->setObjectName("mnu_Window");
    connect(mnu_Window, &QMenu::aboutToShow, this, &BackgroundMDI::updateWindowMenu);

    mnu_Help = menuBar()->addMenu("&Help");
    mnu_Help->setObjectName("mnu_Help");
    mnu_Help->addActions({mnu_Contents, mnu_About});
}

// The Window menu lists every open child window by its title, marks the active one
// and activates the one chosen.
void BackgroundMDI::updateWindowMenu() {
    mnu_Window->clear();
    const QList<QMdiSubWindow*> windows = Mdi->subWindowList();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* window = windows[i];
        const QString title = window->widget() ? window->widget()->windowTitle() : QString();
        QAction* entry = mnu_Window->addAction(numberedCaption(i, title));
        entry->setCheckable(true);
        entry->setChecked(window == Mdi->currentSubWindow());
        connect(entry, &QAction::triggered, window,
                [this, window] { Mdi->setActiveSubWindow(window); });
    }
}

void BackgroundMDI::createToolBar() {
    Toolbar = addToolBar("Toolbar");
    Toolbar->setObjectName("Toolbar");
    Toolbar->setMovable(false);
    Toolbar->setIconSize(QSize(24, 24));
    const struct {
        const char* key;
        const char* tip;
    } buttons[] = {{"BankNew", "New Bank"}, {"BankOpen", "Open Bank"}, {"BankSave", "Save Bank"}};
    for (const auto& b : buttons) {
        QAction* button = Toolbar->addAction(b.tip);
        button->setObjectName(b.key);
        button->setData(QString(b.key));
        button->setToolTip(b.tip);
    }
    // Looking the pictures up in the desktop's icon theme takes longer than building the
    // rest of the window; it is done as soon as the window is up, not before.
    QTimer::singleShot(0, this, [this] {
        const QList<QAction*> actions = Toolbar->actions();
        actions[0]->setIcon(ToolbarPictures::bankNew());
        actions[1]->setIcon(ToolbarPictures::bankOpen());
        actions[2]->setIcon(ToolbarPictures::bankSave());
    });
    connect(Toolbar, &QToolBar::actionTriggered, this, &BackgroundMDI::Toolbar_ButtonClick);
}

// The toolbar is always there: the window offers no menu that would hide it.
QMenu* BackgroundMDI::createPopupMenu() { return nullptr; }

void BackgroundMDI::createStatusBar() {
    Status = new QLabel;
    Status->setObjectName("Status");
    Status->setFont(QFont("Arial"));
    statusBar()->addWidget(Status, 1);
    m_status = std::make_unique<StatusLine>(*Status);
    MidiDropStatus = new QLabel;
    MidiDropStatus->setObjectName("MidiDropStatus");
    statusBar()->addPermanentWidget(MidiDropStatus);
    m_dropTimer = new QTimer(this);
    m_dropTimer->setSingleShot(true);
    m_dropTimer->setInterval(kDropDisplayMs);
    connect(m_dropTimer, &QTimer::timeout, this, [this] {
        if (m_dropsPending) showMidiDrops();
    });
}

// The first drop shows at once; later ones at most once a second.
void BackgroundMDI::midiDropped() {
    m_dropNoticePosted = false;
    if (m_dropTimer->isActive())
        m_dropsPending = true;
    else
        showMidiDrops();
}

void BackgroundMDI::showMidiDrops() {
    m_dropsPending = false;
    const auto dropped = m_ports.MIDIOutput1.droppedMessages();
    MidiDropStatus->setText(dropped == 1 ? tr("MIDI Out: 1 message dropped")
                                         : tr("MIDI Out: %1 messages dropped").arg(dropped));
    m_dropTimer->start();
}

void BackgroundMDI::tellLibrary(const QString& text) {
    m_status->tell(StatusLine::Notice::Library, text);
}

QMdiSubWindow* BackgroundMDI::addChild(QWidget* child, bool closable) {
    Qt::WindowFlags flags = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowMinimizeButtonHint;
    if (closable)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint;
    QMdiSubWindow* frame = Mdi->addSubWindow(child, flags);
    frame->show();
    return frame;
}

void BackgroundMDI::MDIForm_Load() {
    m_midi.AttachMidiWindow(m_ports);
    m_code.Midi = &m_midi;
    m_code.EditorReady = kOn;
    LoadSettingValues(m_code, m_ports, m_store);
    // What is sent before the MIDI system is reached (patch 1, from the patch list)
    // waits for the stored device.
    m_ports.MIDIOutput1.hold();
    m_sound->loadLocks();
    m_controllers->load();
    m_code.InitPatchModel();
    SetMainCaption(QString(), QString());

    PatchWindow = new Patch(m_context);
    m_context.PatchWindow = PatchWindow;
    QMdiSubWindow* listFrame = addChild(PatchWindow, false);
    listFrame->setFixedSize(listFrame->sizeHint());
    listFrame->move(0, 0);
    PatchWindow->Form_Load();
    m_librarian = new Librarian(
        m_context, [this](int patch) { m_commands->RefreshEditor(patch); }, this);
    m_librarian->attachToList(PatchWindow->PatchList);

    Play = new PlayWindow(m_context);
    QMdiSubWindow* playFrame = addChild(Play, true);
    // The inner area gets its size from the window's layout; settle it before placing
    // (the window is not shown yet, so the area's own frame gives its inner height).
    layout()->activate();
    Play->Form_Load(listFrame->geometry(), Mdi->contentsRect().height());
    Q_UNUSED(playFrame);

    Mdi->setActiveSubWindow(listFrame);
    PatchWindow->PatchList->setFocus();
    // The bank as the program starts is where the history begins, and it holds
    // nothing that needs keeping.
    m_history->reset();
    m_unsaved->markSaved(QString());
}

void BackgroundMDI::openMidiDevices(bool sendWaiting) {
    if (!sendWaiting) m_ports.MIDIOutput1.dropHeld();
    OpenStoredDevices(m_midi, m_ports, m_store);
}

void BackgroundMDI::SetStatusText(const QString& text) { m_status->setProgress(text); }

void BackgroundMDI::ShowBusyPointer() { m_desktop.ShowBusyPointer(); }
void BackgroundMDI::ShowNormalPointer() { m_desktop.ShowNormalPointer(); }

std::optional<int> BackgroundMDI::CurrentPatchTarget() const {
    // The current child stays current while another program has the focus.
    QMdiSubWindow* active = Mdi->currentSubWindow();
    if (!active)
        return std::nullopt;
    auto* child = dynamic_cast<MdiChild*>(active->widget());
    if (!child)
        return std::nullopt;
    const QString tag = child->tag();
    const int patch = tag == "Patch" ? PatchWindow->selectedRowPatch() : tag.toInt();
    if (patch < kFirstPatch || patch > kLastPatch)
        return std::nullopt;
    return patch;
}

void BackgroundMDI::QuitProgram() { QCoreApplication::exit(0); }

void BackgroundMDI::mnu_Contents_Click() {
    if (!m_help)
        m_help = new HelpViewer(this);
    m_help->showContents();
}

void BackgroundMDI::mnu_About_Click() {
    Splash about(this);
    about.exec();
}

void BackgroundMDI::Toolbar_ButtonClick(QAction* button) {
    const QString key = button->data().toString();
    if (key == "BankNew")
        mnu_New_Click();
    else if (key == "BankOpen")
        mnu_Open_Click();
    else if (key == "BankSave")
        m_commands->SaveBank();
}

void BackgroundMDI::MIDIInput1_Message() {
    ::MIDIInput1_Message(m_code, m_ports,
                         [this](const ShortMessage& m, const PassOn& passOn) {
                             return m_controllers->take(m, passOn);
                         });
    m_controllers->finish();
}

void BackgroundMDI::StartTestNote() {
    if (m_code.Midi)
        m_code.Midi->PlayNoteOn(m_code.outputChannel(), TestNote::kNote, TestNote::kVelocity);
}

void BackgroundMDI::StopTestNote() {
    if (m_code.Midi)
        m_code.Midi->PlayNoteOff(m_code.outputChannel(), TestNote::kNote);
}

void BackgroundMDI::keepWork() {
    if (PatchWindow)
        for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
            if (EditorWindow* editor = PatchWindow->openEditor(patch))
                editor->commitTyping();
    m_unsaved->writeNow();
}

void BackgroundMDI::shutDown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    keepWork();
    Mdi->closeAllSubWindows();
    if (m_help)
        m_help->close();
    m_unsaved->finish();
    // The user's last edit leaves the cable before the program ends (a second or two at
    // most, under the busy pointer).
    m_midi.CloseMidiOut();
}

// Closing the main window is never refused: the editors run their own close handling,
// nothing is asked and nothing is saved.
void BackgroundMDI::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
    QCoreApplication::quit();
}

// A press on the empty background between the child windows plays the test note and
// every release of a button pressed there ends it, so that two buttons give two note
// ends. Releases that a child window passes on to the background are not its own.
bool BackgroundMDI::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Mdi->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress &&
            !Mdi->viewport()->childAt(mouse->position().toPoint())) {
            m_testNoteButtons |= mouse->button();
            StartTestNote();
        } else if (event->type() == QEvent::MouseButtonRelease &&
                   (m_testNoteButtons & mouse->button())) {
            m_testNoteButtons &= ~mouse->button();
            StopTestNote();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
