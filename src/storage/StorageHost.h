#pragma once

#include "core/FileChoice.h"

#include <cstdint>
#include <optional>
#include <string>

// What the bank and patch commands need of the windows: the patch list's names, the
// main window's title, status bar and pointer, the editors' repaint, and the file
// dialog and message box. Names are 8-bit text (Latin-1 bytes); paths are in the
// file system's own encoding. The application implements it; tests give their own.
class StorageHost {
public:
    virtual ~StorageHost() = default;

    // Patch list (names live in its rows).
    virtual std::string PatchName(int patch) = 0;
    virtual void SetPatchName(int patch, const std::string& name) = 0;
    // Names the patch after a file: the name is in the file system's encoding, as paths
    // are, and reads as the system spells its file names. Windows that keep 8-bit names
    // only take its bytes as they are.
    virtual void setPatchNameOfFile(int patch, const std::string& name) {
        SetPatchName(patch, name);
    }
    virtual void FillPatchList() = 0;
    // Selects the first row and sends patch 1, also when that row was selected already,
    // then gives the patch list the focus.
    virtual void selectFirstPatch() = 0;

    // Editor registry: 0 none, 1 normal editor, 2 parameter-table editor.
    virtual int16_t OpenEditorKind(int patch) = 0;
    // Asks the open editor of the patch to repaint itself at once.
    virtual void repaintEditor(int patch) = 0;

    // Main window.
    virtual void SetMainCaption(const std::string& title, const std::string& path) = 0;
    virtual void clearBankFile() = 0;
    virtual std::string BankFileTitle() = 0;
    virtual std::string BankFilePath() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ShowBusyPointer() = 0;
    virtual void ShowNormalPointer() = 0;

    // File dialog: filter as "Description|pattern|...", default extension or empty.
    virtual std::optional<FileChoice> showOpenDialog(const std::string& filter,
                                                     const std::string& defaultExtension) = 0;
    virtual std::optional<FileChoice> showSaveDialog(const std::string& filter,
                                                     const std::string& defaultExtension) = 0;
    // A message box with an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // The same with details the user can open, such as the reasons behind it; where
    // there is nothing to open, they follow the text.
    virtual void showDetailedMessage(const std::string& text, const std::string& details) {
        showMessage(details.empty() ? text : text + "\n\n" + details);
    }

    // The whole bank now equals a file: it was read completely, or written.
    virtual void bankFileRead() {}
    virtual void bankFileWritten(const std::string& path) { (void)path; }
};
