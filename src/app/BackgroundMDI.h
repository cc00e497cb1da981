#pragma once

#include "core/FileChoice.h"
#include "core/Version.h"
#include "editors/BankStep.h"
#include "editors/EditorContext.h"
#include "librarywindow/LibraryHost.h"

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;
class Desktop;
class MidiPorts;
class MIDIUtilities;
class MidiWorld;
class SettingsStore;
class QuenlorCode;
class Patch;
class PlayWindow;
class BankCommands;
class AppStorageHost;
class HelpViewer;
class BankHistory;
class UnsavedBank;
class Librarian;
class CompareWindow;
class PatchWriter;
class SoundMenu;
class StatusLine;
class LibraryMenu;
class ControllerInput;

// The main window: holds the patch list, the play window and the editors as child
// windows, owns the title and the remembered bank file, the status bar and the menus
// and toolbar through which every program-wide command runs.
class BackgroundMDI : public QMainWindow, public LibraryHost {
    Q_OBJECT
public:
    BackgroundMDI(QuenlorCode& code, MidiWorld& midi, SettingsStore& store, Desktop& desktop);
    ~BackgroundMDI() override;

    static constexpr const char* AppName = "Quenlor";
    static constexpr const char* AppVersion = kQuenlorVersion;
    static QString AppTitle();

    // Runs once, before the window is first shown: loads the settings and the patch
    // model, and loads the patch list and the play window. What it sends waits until
    // openMidiDevices().
    void MDIForm_Load();
    // Runs once, when the window is on the screen: reaches the MIDI system, opens the
    // stored devices, and lets what waits leave to them (patch 1 of the new bank), or,
    // with `sendWaiting` false, throws it away.
    void openMidiDevices(bool sendWaiting = true);

    void SetMainCaption(const QString& title, const QString& path);
    // The progress of a long command, shown at once; empty when it has ended.
    void SetStatusText(const QString& text);
    // The status bar's notices, which SetStatusText's progress never takes away.
    StatusLine& statusLine() { return *m_status; }
    void ShowBusyPointer();
    void ShowNormalPointer();

    // The patch a patch-file command works on, from the active child window.
    std::optional<int> CurrentPatchTarget() const;

    QString BankFileTitle;
    QString BankFilePath;

    QMdiArea* Mdi = nullptr;
    Patch* PatchWindow = nullptr;
    PlayWindow* Play = nullptr;
    QToolBar* Toolbar = nullptr;
    QLabel* Status = nullptr;
    // The number of messages the MIDI output dropped because more came than the cable
    // carries; empty until one is dropped, then brought up to date once a second at most.
    QLabel* MidiDropStatus = nullptr;

    QMenu* mnu_File = nullptr;
    QMenu* mnu_Edit = nullptr;
    QMenu* mnu_Window = nullptr;
    QMenu* mnu_Help = nullptr;
    QAction* mnu_New = nullptr;
    QAction* mnu_Open = nullptr;
    QAction* mnu_Save = nullptr;
    QAction* mnu_SaveAs = nullptr;
    // "&Restore Unsaved Bank": one item per copy that can be restored, newest first.
    QMenu* mnu_Restore = nullptr;
    QAction* mnu_NewPatch = nullptr;
    QAction* mnu_OpenPatch = nullptr;
    QAction* mnu_SavePatchAs = nullptr;
    QAction* mnu_ImportSysEx = nullptr;
    QAction* mnu_ExportSysEx = nullptr;
    QAction* mnu_ExportPresets = nullptr;
    QAction* mnu_Options = nullptr;
    QAction* mnu_Quit = nullptr;
    QAction* mnu_Undo = nullptr;
    QAction* mnu_Redo = nullptr;
    QAction* mnu_CopyPatch = nullptr;
    QAction* mnu_PastePatch = nullptr;
    QAction* mnu_Compare = nullptr;
    QAction* mnu_Contents = nullptr;
    QAction* mnu_About = nullptr;

    BankCommands& Commands() { return *m_commands; }
    EditorContext& context() override { return m_context; }
    BankHistory& history() { return *m_history; }
    UnsavedBank& unsaved() { return *m_unsaved; }
    SoundMenu& sound() { return *m_sound; }
    ControllerInput& controllers() { return *m_controllers; }

    // Opens a file named on the command line: a patch file (*.b01) as Open Patch opens
    // one, any other file as Open Bank does, the messages for a file that cannot be read
    // included. `path` is in the file system's encoding, relative to the current folder.
    // The instrument then hears the patch the list selects, once: the file's, or, when
    // the file cannot be read, what the bank holds.
    void openFile(const std::string& path);
    // After start-up: offers the unsaved banks that earlier runs left behind.
    void offerUnsavedBank();
    // The whole bank was read from a file or written to one.
    void bankFileRead();
    void bankFileWritten(const QString& path);
    // The remembered bank file, with the title's mark of a restored bank.
    BankFile bankFile() const;
    void setBankFile(const BankFile& file);
    // Commits the value being typed in an editor and writes the copy of unsaved work at
    // once: the desktop session is about to end.
    void keepWork();
    // Under a studio session the bank's file is the session's, at `bankPath`, from now on:
    // Open Bank and Save Bank As import and export, leaving it in place, New Bank empties
    // it, and Quit hides the window as closing it does.
    void enterSession(const QString& bankPath);
    bool inSession() const { return m_sessionBank.has_value(); }

    void mnu_New_Click();
    void mnu_Open_Click();
    void mnu_Save_Click();
    void mnu_SaveAs_Click();
    // Reads in the copy at `path`, one item of the Restore Unsaved Bank menu.
    void mnu_Restore_Click(const QString& path);
    void mnu_OpenPatch_Click();
    void mnu_SavePatchAs_Click();
    void mnu_ImportSysEx_Click();
    void mnu_ExportSysEx_Click();
    void mnu_ExportPresets_Click();
    void mnu_Options_Click();
    void mnu_Quit_Click();
    void mnu_Undo_Click();
    void mnu_Redo_Click();
    void mnu_CopyPatch_Click();
    void mnu_PastePatch_Click();
    void mnu_Compare_Click();
    Librarian& patchLibrarian() override { return *m_librarian; }
    LibraryMenu& library() { return *m_library; }
    CompareWindow* compare() const;
    void mnu_Contents_Click();
    void mnu_About_Click();
    void Toolbar_ButtonClick(QAction* button);
    void MIDIInput1_Message();

    void StartTestNote();
    void StopTestNote();

    // Ends the program at once: no question, nothing saved.
    static void QuitProgram();

    QMenu* createPopupMenu() override;

    // Adds a child window to the area and shows it; a closable one has the full frame.
    QMdiSubWindow* addChild(QWidget* child, bool closable) override;
    QMainWindow& mainWindow() override { return *this; }
    QString bankFileTitle() const override { return BankFileTitle; }
    void tellLibrary(const QString& text) override;

signals:
    // The whole bank was read from its file or written to one.
    void bankFileStored();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createArea();
    void createBank();
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void connectMidi();
    // An item of a menu that lists things: the first nine carry their number as access key.
    static QString numberedCaption(int index, const QString& text);
    void updateWindowMenu();
    void updateEditMenu();
    void updateRestoreMenu();
    void renewRestoreOffer();
    // However the program ends, while all it uses still stands: the value being typed
    // is committed, the editors close and the copy of unsaved work is written.
    void shutDown();
    void midiDropped();
    void showMidiDrops();
    // Open Bank and Open Patch, asking for the file unless it is given.
    // True when the file was read whole.
    bool openBank(const std::optional<FileChoice>& file);
    bool openPatch(const std::optional<FileChoice>& file);

    QuenlorCode& m_code;
    MidiPorts& m_ports;
    MIDIUtilities& m_midi;
    SettingsStore& m_store;
    Desktop& m_desktop;
    EditorContext m_context;
    std::unique_ptr<AppStorageHost> m_storageHost;
    std::unique_ptr<BankCommands> m_commands;
    std::unique_ptr<BankHistory> m_history;
    std::unique_ptr<UnsavedBank> m_unsaved;
    std::unique_ptr<StatusLine> m_status;
    HelpViewer* m_help = nullptr;
    Librarian* m_librarian = nullptr;
    LibraryMenu* m_library = nullptr;
    QPointer<CompareWindow> m_compare;
    bool m_restored = false; // the title marks the bank as restored
    bool m_offering = false; // the status bar offers banks to restore
    bool m_shutDown = false;
    std::optional<BankFile> m_sessionBank; // the studio session's bank file
    std::unique_ptr<PatchWriter> m_writer;
    SoundMenu* m_sound = nullptr;
    ControllerInput* m_controllers = nullptr;
    // The mouse buttons held since a press on the background.
    Qt::MouseButtons m_testNoteButtons;
    QTimer* m_dropTimer = nullptr;
    bool m_dropsPending = false;
    std::atomic<bool> m_dropNoticePosted{false};
};
