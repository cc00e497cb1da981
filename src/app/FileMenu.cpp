// The main window's File menu: the bank and patch files, the unsaved banks to restore,
// the title that names the bank's file, the options and Quit.
#include "BackgroundMDI.h"

#include "AppStorageHost.h"
#include "StatusLine.h"
#include "core/QuenlorCode.h"
#include "editors/BankHistory.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "knobs/ControllerInput.h"
#include "settings/Options.h"
#include "storage/BankCommands.h"
#include "storage/PatchRecord.h"
#include "storage/PresetExport.h"
#include "storage/UnsavedCopy.h"
#include "unsaved/UnsavedBank.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <filesystem>

namespace {
const QString kRestoredMark = QStringLiteral(" (restored)");
} // namespace

// The menu is greyed out while there is nothing to restore.
void BackgroundMDI::updateRestoreMenu() {
    // An item may be the one whose restoring changed the list: it goes once that is over.
    for (QAction* old : mnu_Restore->actions()) {
        mnu_Restore->removeAction(old);
        old->deleteLater();
    }
    const std::vector<UnsavedBank::Copy>& copies = m_unsaved->copies();
    for (std::size_t i = 0; i < copies.size(); ++i) {
        QAction* entry =
            mnu_Restore->addAction(numberedCaption(int(i), UnsavedBank::caption(copies[i])));
        connect(entry, &QAction::triggered, this,
                [this, path = copies[i].Path] { mnu_Restore_Click(path); });
    }
    mnu_Restore->menuAction()->setEnabled(!copies.empty());
}

void BackgroundMDI::offerUnsavedBank() {
    m_status->tell(StatusLine::Notice::UnsavedCopies, m_unsaved->lookForCopies());
    m_offering = true;
    renewRestoreOffer();
}

// Once made, the offer names the newest bank there is to restore, and goes with the last.
void BackgroundMDI::renewRestoreOffer() {
    if (!m_offering) return;
    const std::vector<UnsavedBank::Copy>& copies = m_unsaved->copies();
    m_offering = !copies.empty();
    m_status->tell(StatusLine::Notice::RestoreOffer,
                   copies.empty() ? QString()
                                  : "Unsaved changes from " +
                                        QLocale().toString(copies.front().Time, QLocale::ShortFormat) +
                                        " can be restored with File > Restore Unsaved Bank");
}

void BackgroundMDI::bankFileRead() {
    m_unsaved->markSaved(BankFilePath);
    emit bankFileStored();
}

void BackgroundMDI::bankFileWritten(const QString& path) {
    m_unsaved->markSaved(path);
    // A restored bank, once saved, is the file's again: the title loses its mark.
    if (!BankFileTitle.isEmpty())
        SetMainCaption(BankFileTitle, BankFilePath);
    emit bankFileStored();
}

void BackgroundMDI::SetMainCaption(const QString& title, const QString& path) {
    QString caption = AppTitle();
    if (!title.isEmpty()) {
        BankFileTitle = title;
        BankFilePath = path;
        caption += " - " + BankFileTitle;
    }
    // Qt takes "[*]" in a title for its modified marker; doubled, it shows as it is.
    setWindowTitle(caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
    m_restored = false;
    // Whether the bank needs a copy depends on the file it is now the bank of.
    if (m_unsaved)
        m_unsaved->bankChanged();
}

BankFile BackgroundMDI::bankFile() const { return {BankFileTitle, BankFilePath, m_restored}; }

// A bank without a file is as after New Bank: Save Bank asks for one.
void BackgroundMDI::setBankFile(const BankFile& file) {
    if (file.Title.isEmpty()) {
        BankFileTitle.clear();
        BankFilePath.clear();
    }
    SetMainCaption(file.Title, file.Path);
    if (file.Restored) {
        setWindowTitle(windowTitle() + kRestoredMark);
        m_restored = true;
    }
}

// New Bank, Open Bank and Open Patch are steps of the history like any edit; the first
// two replace the whole bank, and take its file with them.
void BackgroundMDI::mnu_New_Click() {
    const BankHistory::Step step(m_history.get(), "New Bank", BankHistory::Scope::WholeBank);
    m_commands->NewBank();
    // An empty bank holds nothing worth keeping; in a session it is the session's bank
    // emptied, unsaved until the session is saved.
    if (m_sessionBank)
        setBankFile(*m_sessionBank);
    else
        m_unsaved->markSaved(QString());
}

void BackgroundMDI::mnu_Open_Click() { openBank(std::nullopt); }

bool BackgroundMDI::openBank(const std::optional<FileChoice>& file) {
    const BankHistory::Step step(m_history.get(), "Open Bank", BankHistory::Scope::WholeBank);
    const bool read = m_commands->OpenBank(file);
    // Imported into a session, the bank stays the session's.
    if (m_sessionBank)
        setBankFile(*m_sessionBank);
    return read;
}

void BackgroundMDI::openFile(const std::string& path) {
    // The file dialogs hand back full paths; so does this, for the title and for Save Bank.
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error).lexically_normal();
    if (error)
        full = path;
    const FileChoice file{full.string(), full.filename().string()};
    const bool patchFile = kindOf(file.Path) == FileKind::Patch;
    const bool read = patchFile ? openPatch(file) : openBank(file);
    // Open Bank sends patch 1 as it selects it, and a patch read in is sent as an edit
    // is, with automatic update on; otherwise the selected patch goes out here.
    if (!read || (patchFile && m_code.AutoUpdate == kOff))
        m_code.SendPatch(CurrentPatchTarget().value_or(kFirstPatch));
}

void BackgroundMDI::mnu_Save_Click() { m_commands->SaveBank(); }
void BackgroundMDI::mnu_SaveAs_Click() {
    if (m_sessionBank)
        m_commands->exportBank();
    else
        m_commands->SaveBankAs();
}

void BackgroundMDI::enterSession(const QString& bankPath) {
    m_sessionBank = BankFile{QFileInfo(bankPath).fileName(), bankPath, false};
    setBankFile(*m_sessionBank);
}

// Reads the copy in as Open Bank reads a file, as one step. The title names the bank's
// own file, marked as restored, and Save Bank writes there.
void BackgroundMDI::mnu_Restore_Click(const QString& path) {
    UnsavedCopy::Image image;
    QString note;
    if (!m_unsaved->read(path, image, note)) {
        if (!note.isEmpty())
            m_status->tell(StatusLine::Notice::UnsavedCopies, note);
        return;
    }
    {
        const BankHistory::Step step(m_history.get(), "Restore Unsaved Bank",
                                     BankHistory::Scope::WholeBank);
        m_commands->readInBank(image);
        const QString origin = QFile::decodeName(QByteArray::fromStdString(image.Origin));
        const QString title = origin.isEmpty() ? QString() : QFileInfo(origin).fileName();
        setBankFile({title, title.isEmpty() ? QString() : origin, !title.isEmpty()});
        // In a session the restored bank is the session's, whatever file it came from.
        if (m_sessionBank)
            setBankFile({m_sessionBank->Title, m_sessionBank->Path, true});
    }
    m_unsaved->restored(path);
}

void BackgroundMDI::mnu_OpenPatch_Click() { openPatch(std::nullopt); }

bool BackgroundMDI::openPatch(const std::optional<FileChoice>& file) {
    const auto patch = CurrentPatchTarget();
    if (!patch) return false;
    const BankHistory::Step step(m_history.get(), "Open Patch");
    return m_commands->OpenPatchFile(*patch, file);
}

void BackgroundMDI::mnu_SavePatchAs_Click() {
    if (const auto patch = CurrentPatchTarget())
        m_commands->SavePatchAs(*patch, PatchWindow->PatchName(*patch).toLatin1().toStdString());
}

// The dumps go into the patch a patch-file command would work on, or from patch 1 on.
void BackgroundMDI::mnu_ImportSysEx_Click() {
    const BankHistory::Step step(m_history.get(), "Import SysEx");
    m_commands->importSysEx(CurrentPatchTarget().value_or(kFirstPatch));
}

void BackgroundMDI::mnu_ExportSysEx_Click() { m_commands->exportBankAsSysEx(); }
void BackgroundMDI::mnu_ExportPresets_Click() {
    PresetExport::exportBank(m_code.PatchBank, *m_storageHost, QDir::homePath().toStdString());
}

void BackgroundMDI::mnu_Options_Click() {
    // The dialog works on a copy of the controllers, which OK puts back: a controller
    // learnt meanwhile would be lost.
    m_controllers->cancelLearning();
    Options options(m_code, m_midi, m_ports, m_store, this, &NormalEdit::parameterCaption);
    options.exec();
}

// In a session the manager ends the program; Quit hides the window as closing it does.
void BackgroundMDI::mnu_Quit_Click() {
    if (m_sessionBank)
        close();
    else
        QuitProgram();
}
