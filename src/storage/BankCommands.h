#pragma once

#include "StorageHost.h"

#include <optional>
#include <string>

namespace UnsavedCopy {
struct Image;
}

class QuenlorCode;

// The bank and patch file commands of the File menu and the toolbar.
class BankCommands {
public:
    BankCommands(QuenlorCode& code, StorageHost& host) : m_code(code), m_host(host) {}

    void NewBank();
    // Open Bank and Open Patch ask for the file, unless it was chosen already (named on
    // the command line); either way it is read, and a failure told, alike. True when the
    // whole file was read.
    bool OpenBank(const std::optional<FileChoice>& chosen = std::nullopt);
    void SaveBank();
    void SaveBankAs();
    // Save Bank As in a studio session: writes the bank to a file of the user's choice,
    // which does not become the bank's file. True when it was written.
    bool exportBank();
    bool OpenPatchFile(int patch, const std::optional<FileChoice>& chosen = std::nullopt);
    // Reads a whole bank held in memory as Open Bank reads a file: every patch sent when
    // automatic update is on, names, editors refreshed, patch 1 selected and sent. The
    // title is the caller's.
    void readInBank(const UnsavedCopy::Image& image);

    // Reads the dumps of a SysEx file into patches target, target + 1, ... up to patch
    // 74, or of a file of 74 dumps or more into patches 1 to 74, and says in one message
    // box what was skipped; false when nothing changed.
    bool importSysEx(int target);
    // Writes the 74 dumps the program would send, as they would be sent, to one file;
    // the first time, the status bar says that the names are not in it.
    bool exportBankAsSysEx();
    void SavePatchAs(int patch, const std::string& name);

    // Write the file, replacing an existing one only once the new one is complete;
    // report a failure with a message box themselves. True on success.
    bool WriteBankFile(const std::string& path);
    // The same without a message box: a studio session tells its manager instead.
    bool writeBank(const std::string& path);
    bool WritePatchFile(int patch, const std::string& name, const std::string& path);

    void RefreshEditor(int patch);
    void RefreshAllEditors();

private:
    QuenlorCode& m_code;
    StorageHost& m_host;
    bool m_namesNoteShown = false;
};
