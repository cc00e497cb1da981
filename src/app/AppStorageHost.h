#pragma once

#include "storage/StorageHost.h"

class BackgroundMDI;
class Desktop;

// Connects the bank and patch commands to the windows: names go between the patch
// list's text and the files' 8-bit bytes as Latin-1, paths in the file system's encoding.
class AppStorageHost : public StorageHost {
public:
    AppStorageHost(BackgroundMDI& window, Desktop& desktop) : m_window(window), m_desktop(desktop) {}

    std::string PatchName(int patch) override;
    void SetPatchName(int patch, const std::string& name) override;
    void setPatchNameOfFile(int patch, const std::string& name) override;
    void FillPatchList() override;
    void selectFirstPatch() override;
    int16_t OpenEditorKind(int patch) override;
    void repaintEditor(int patch) override;
    void SetMainCaption(const std::string& title, const std::string& path) override;
    void clearBankFile() override;
    std::string BankFileTitle() override;
    std::string BankFilePath() override;
    void SetStatusText(const std::string& text) override;
    void ShowBusyPointer() override;
    void ShowNormalPointer() override;
    std::optional<FileChoice> showOpenDialog(const std::string& filter,
                                             const std::string& defaultExtension) override;
    std::optional<FileChoice> showSaveDialog(const std::string& filter,
                                             const std::string& defaultExtension) override;
    void showMessage(const std::string& text) override;
    void showDetailedMessage(const std::string& text, const std::string& details) override;
    void bankFileRead() override;
    void bankFileWritten(const std::string& path) override;

private:
    BackgroundMDI& m_window;
    Desktop& m_desktop;
};
