#include "AppStorageHost.h"

#include "BackgroundMDI.h"
#include "desktop/Desktop.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"

#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {
QString fromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string toPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

std::string AppStorageHost::PatchName(int patch) {
    // Latin-1 keeps every byte read from a file; a typed character it cannot hold
    // becomes "?".
    return m_window.PatchWindow->PatchName(patch).toLatin1().toStdString();
}

void AppStorageHost::SetPatchName(int patch, const std::string& name) {
    m_window.PatchWindow->SetPatchName(patch, QString::fromLatin1(name.data(), qsizetype(name.size())));
}

void AppStorageHost::setPatchNameOfFile(int patch, const std::string& name) {
    m_window.PatchWindow->SetPatchName(patch, fromPath(name));
}

void AppStorageHost::FillPatchList() { m_window.PatchWindow->FillPatchList(); }

void AppStorageHost::selectFirstPatch() {
    m_window.PatchWindow->clickPatchRow(1);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(m_window.PatchWindow->parentWidget()))
        m_window.Mdi->setActiveSubWindow(frame);
    m_window.PatchWindow->PatchList->setFocus();
}

int16_t AppStorageHost::OpenEditorKind(int patch) {
    return m_window.PatchWindow->editorKindOf(patch);
}

void AppStorageHost::repaintEditor(int patch) {
    if (EditorWindow* editor = m_window.PatchWindow->openEditor(patch))
        editor->repaintNow();
}

void AppStorageHost::SetMainCaption(const std::string& title, const std::string& path) {
    m_window.SetMainCaption(fromPath(title), fromPath(path));
}

void AppStorageHost::clearBankFile() {
    m_window.BankFileTitle.clear();
    m_window.BankFilePath.clear();
}

std::string AppStorageHost::BankFileTitle() { return toPath(m_window.BankFileTitle); }
std::string AppStorageHost::BankFilePath() { return toPath(m_window.BankFilePath); }

void AppStorageHost::SetStatusText(const std::string& text) {
    m_window.SetStatusText(QString::fromStdString(text));
}

void AppStorageHost::ShowBusyPointer() { m_window.ShowBusyPointer(); }
void AppStorageHost::ShowNormalPointer() { m_window.ShowNormalPointer(); }

std::optional<FileChoice>
AppStorageHost::showOpenDialog(const std::string& filter, const std::string& defaultExtension) {
    return m_desktop.showOpen(
        {QString::fromStdString(filter), QString::fromStdString(defaultExtension)});
}

std::optional<FileChoice>
AppStorageHost::showSaveDialog(const std::string& filter, const std::string& defaultExtension) {
    return m_desktop.showSave(
        {QString::fromStdString(filter), QString::fromStdString(defaultExtension)});
}

void AppStorageHost::bankFileRead() { m_window.bankFileRead(); }
void AppStorageHost::bankFileWritten(const std::string& path) {
    m_window.bankFileWritten(fromPath(path));
}

// The messages name a path, which is in the file system's encoding.
void AppStorageHost::showMessage(const std::string& text) { m_desktop.showMessage(fromPath(text)); }

void AppStorageHost::showDetailedMessage(const std::string& text, const std::string& details) {
    m_desktop.showDetailedMessage(fromPath(text), fromPath(details));
}
