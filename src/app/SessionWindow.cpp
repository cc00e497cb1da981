#include "SessionWindow.h"

#include "BackgroundMDI.h"
#include "QuitOnSignal.h"
#include "librarywindow/LibraryMenu.h"
#include "Splash.h"
#include "StatusLine.h"
#include "unsaved/UnsavedBank.h"
#include "editors/BankHistory.h"
#include "editors/Patch.h"
#include "midi/MidiPorts.h"
#include "session/StudioSession.h"
#include "settings/Settings.h"
#include "storage/BankCommands.h"
#include "storage/UnsavedCopy.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolBar>

SessionWindow::SessionWindow(BackgroundMDI& window, StudioSession& session, SettingsStore& store,
                             MidiPorts& ports, const QuitOnSignal& quitOnSignal)
    : m_window(window), m_session(session), m_store(store), m_ports(ports),
      m_quitOnSignal(quitOnSignal) {
    m_window.installEventFilter(this);
    connect(&m_window.history(), &BankHistory::changed, this, [this] { m_session.bankMayHaveChanged(); });
    connect(&m_window, &BackgroundMDI::bankFileStored, this, [this] { m_session.bankMayHaveChanged(); });
}

SessionWindow::~SessionWindow() {
    m_session.leave();
    m_window.removeEventFilter(this);
}

// As Main() starts the program, without the splash: a session's programs come up together,
// most of them hidden, and none holds up the manager's open for three seconds.
bool SessionWindow::start() {
    m_window.MDIForm_Load();
    // The session decides where the bank lives: Open Bank and Save Bank As import and
    // export, under free access keys of the File menu.
    m_window.mnu_Open->setText("I&mport Bank...");
    m_window.mnu_SaveAs->setText("E&xport Bank...");
    m_window.Toolbar->actions()[1]->setToolTip("Import Bank");
    QApplication::setWindowIcon(programIcon());
    m_window.library().openInBackground();
    if (!m_session.start(*this, m_store)) return false;
    m_session.deviceMissing(missingDevice());
    // A signal that came meanwhile has closed the window, before the event loop runs.
    QCoreApplication::processEvents();
    if (m_quitOnSignal.asked()) return false;
    m_window.offerUnsavedBank();
    return true;
}

SessionHost::BankRead SessionWindow::startBank(const QString& path) {
    UnsavedCopy::Image image;
    const UnsavedCopy::ReadResult result =
        UnsavedCopy::readBankFile(QFile::encodeName(path).toStdString(), image);
    if (result != UnsavedCopy::ReadResult::Ok && result != UnsavedCopy::ReadResult::Missing)
        return BankRead::Damaged;
    if (result == UnsavedCopy::ReadResult::Ok)
        m_window.Commands().readInBank(image);
    // The bank as the session left it is where the history begins, and nothing in it
    // is unsaved.
    m_window.history().reset();
    m_window.enterSession(path);
    m_window.unsaved().markSaved(path);
    m_window.openMidiDevices(false);
    return result == UnsavedCopy::ReadResult::Ok ? BankRead::Read : BankRead::Missing;
}

bool SessionWindow::writeBank(const QString& path) {
    return m_window.Commands().writeBank(QFile::encodeName(path).toStdString());
}

bool SessionWindow::bankUnsaved() { return m_window.unsaved().unsavedChanges(); }

int SessionWindow::selectedPatch() {
    const int patch = m_window.PatchWindow->selectedRowPatch();
    return patch > 0 ? patch : kFirstPatch;
}

void SessionWindow::selectPatch(int patch) {
    m_window.PatchWindow->clickPatchRow(patch);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(m_window.PatchWindow->parentWidget()))
        m_window.Mdi->setActiveSubWindow(frame);
    m_window.PatchWindow->PatchList->setFocus();
}

// Hidden means no window of the program's mapped: the help window goes with the main
// window and comes back with it; a dialog or message box that was open is ended, as
// if cancelled.
void SessionWindow::showWindow(bool shown) {
    if (!shown) {
        m_hidden.clear();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window == &m_window || !window->isVisible()) continue;
            if (auto* dialog = qobject_cast<QDialog*>(window))
                dialog->reject();
            else if (window->windowType() != Qt::Popup)
                m_hidden.push_back(window);
            window->hide();
        }
        m_window.hide();
        return;
    }
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    for (const QPointer<QWidget>& window : m_hidden)
        if (window) window->show();
    m_hidden.clear();
}

void SessionWindow::tell(const QString& text) {
    m_window.statusLine().tell(StatusLine::Notice::Session, text);
}

QString SessionWindow::missingDevice() {
    const QString name = storedOutputName(m_store);
    if (name.isEmpty() || m_ports.MIDIOutput1.findDevice(name, MidiPort::NameMatch::FirstWins))
        return QString();
    return "The MIDI Out device '" + name + "' is missing";
}

// The window's close (its close button, the window manager, File > Quit) hides it; only
// a signal, as the session manager ends its clients, ends the program.
bool SessionWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_window && event->type() == QEvent::Close && !m_quitOnSignal.asked()) {
        event->ignore();
        m_session.windowClosed();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
