#include "BankCommands.h"

#include "LineReader.h"
#include "PatchRecord.h"
#include "SaveFile.h"
#include "SysExFile.h"
#include "UnsavedCopy.h"
#include "core/NumberText.h"
#include "core/ScopedFlag.h"
#include "core/QuenlorCode.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr const char* kBankFilter = "Bit-01 banks (*.bbk)|*.bbk|All files|*.*";
constexpr const char* kBankExtension = "bbk";
constexpr const char* kPatchFilter = "Bit-01 patches (*.b01)|*.b01|All files|*.*";
constexpr const char* kPatchExtension = "b01";
constexpr const char* kNoExtension = "";
constexpr const char* kSysExImportFilter = "SysEx files (*.syx *.mid)|*.syx *.mid|All files|*.*";
constexpr const char* kSysExExportFilter = "SysEx files (*.syx)|*.syx|All files|*.*";
constexpr const char* kSysExExtension = "syx";
constexpr std::size_t kReasonsShown = 3;      // in the message's text
constexpr std::size_t kReasonsInDetails = 10; // in its details
constexpr const char* kNamesStayBehind =
    "Patch names are not part of SysEx dumps; Save Bank keeps them.";

std::string savingFailed(const std::string& path) { return "Error saving file '" + path + "'."; }
std::string openingFailed(const std::string& path) { return "Unable to open file '" + path + "'."; }

// "1 message was skipped", "12 messages were skipped"
std::string skippedCount(const SysExScan& scan) {
    return std::to_string(scan.SkippedCount) +
           (scan.SkippedCount == 1 ? " message was" : " messages were") + " skipped";
}

// "Reading bank ( 1%)" for patch 1 up to "Reading bank ( 100%)" for patch 74; the
// quotient is taken in single precision and cut to its integer part.
std::string progressText(int patch) {
    const float percent = static_cast<float>(patch) * 100.0f / static_cast<float>(kLastPatch);
    return "Reading bank (" + NumberText::writeNumber(static_cast<long>(percent)) + "%)";
}

// The title must be the bare file name; take it from the path when the dialog gave none.
std::string titleOf(const FileChoice& choice) {
    if (!choice.FileName.empty())
        return choice.FileName;
    const auto slash = choice.Path.rfind('/');
    return slash == std::string::npos ? choice.Path : choice.Path.substr(slash + 1);
}

void copyIntoPatch(Bank& bank, int patch, const ReadingBuffer& values) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        bank(patch, p) = values[p];
}

} // namespace

void BankCommands::NewBank() {
    m_code.ClearBank();
    m_host.FillPatchList();
    m_host.clearBankFile();
    m_host.SetMainCaption("", "");
    RefreshAllEditors();
}

bool BankCommands::OpenBank(const std::optional<FileChoice>& chosen) {
    const auto choice = chosen ? chosen : m_host.showOpenDialog(kBankFilter, kNoExtension);
    if (!choice)
        return false;
    std::ifstream file(choice->Path, std::ios::binary);
    if (!file.is_open()) {
        m_host.showMessage(openingFailed(choice->Path));
        return false;
    }
    m_host.ShowBusyPointer();
    LineReader reader(file);
    ReadingBuffer values{};
    std::string name;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
        m_host.SetStatusText(progressText(patch));
        if (!readPatchRecord(reader, name, values).ok()) {
            // The patches read before keep their new values and names, so the user
            // must hear that the bank is only partly loaded before saving it again.
            file.close();
            m_host.SetStatusText("");
            m_host.ShowNormalPointer();
            m_host.showMessage(openingFailed(choice->Path));
            return false;
        }
        copyIntoPatch(m_code.PatchBank, patch, values);
        m_code.ParameterChanged(patch);
        m_host.SetPatchName(patch, name);
    }
    file.close();
    RefreshAllEditors();
    m_host.SetStatusText("");
    m_host.SetMainCaption(titleOf(*choice), choice->Path);
    m_host.selectFirstPatch();
    m_code.ParameterChanged(kFirstPatch);
    m_host.ShowNormalPointer();
    m_host.bankFileRead();
    return true;
}

void BankCommands::readInBank(const UnsavedCopy::Image& image) {
    m_host.ShowBusyPointer();
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
        const auto n = static_cast<std::size_t>(patch);
        copyIntoPatch(m_code.PatchBank, patch, image.Values[n]);
        m_code.ParameterChanged(patch);
        m_host.SetPatchName(patch, image.Names[n]);
    }
    RefreshAllEditors();
    m_host.SetStatusText("");
    m_host.selectFirstPatch();
    m_code.ParameterChanged(kFirstPatch);
    m_host.ShowNormalPointer();
}

bool BankCommands::importSysEx(int target) {
    const auto choice = m_host.showOpenDialog(kSysExImportFilter, kNoExtension);
    if (!choice)
        return false;
    const std::string& path = choice->Path;
    const SysExScan scan = readSysExFile(path);
    if (scan.refused()) {
        m_host.showMessage("Unable to read '" + path + "': " + scan.Refusal + ".");
        return false;
    }
    const std::string reasons = skippedReasons(scan, kReasonsInDetails, "");
    if (scan.Dumps.empty()) {
        std::string text = "No Bit 01 patches found in '" + path + "'.";
        if (scan.SkippedCount > 0) text += "\n" + skippedCount(scan) + ".";
        m_host.showDetailedMessage(text, reasons);
        return false;
    }
    // A whole bank goes back where it came from, whichever patch was chosen.
    const int first = scan.DumpCount >= static_cast<std::size_t>(kLastPatch) ? kFirstPatch : target;
    m_host.ShowBusyPointer();
    const std::size_t room = static_cast<std::size_t>(kLastPatch - first + 1);
    const std::size_t count = std::min(scan.Dumps.size(), room);
    for (std::size_t i = 0; i < count; ++i) {
        const int patch = first + static_cast<int>(i);
        copyIntoPatch(m_code.PatchBank, patch, scan.Dumps[i].Patch.Values);
        m_host.setPatchNameOfFile(patch, importedPatchName(path, i, scan.DumpCount));
        m_code.ParameterChanged(patch);
        RefreshEditor(patch);
    }
    m_host.ShowNormalPointer();

    // What was left out, in one message after the import.
    std::string note;
    if (scan.SkippedCount > 0) {
        note = skippedCount(scan) + ":";
        for (std::size_t i = 0; i < std::min(kReasonsShown, scan.Skipped.size()); ++i)
            note += "\n" + formatSkipped(scan.Skipped[i]);
    }
    if (scan.DumpCount > count) {
        const std::size_t left = scan.DumpCount - count;
        note += std::string(note.empty() ? "" : "\n") + std::to_string(left) +
                (left == 1 ? " patch did" : " patches did") + " not fit after patch 74.";
    }
    if (!note.empty())
        m_host.showDetailedMessage("Imported " + std::to_string(count) +
                                       (count == 1 ? " patch" : " patches") + " from '" + path +
                                       "'.\n" + note,
                                   reasons);
    return true;
}

bool BankCommands::exportBankAsSysEx() {
    const auto choice = m_host.showSaveDialog(kSysExExportFilter, kSysExExtension);
    if (!choice)
        return false;
    SaveFile file(choice->Path);
    bool ok = file.open();
    for (int patch = kFirstPatch; ok && patch <= kLastPatch; ++patch) {
        m_code.preparePatchDump(patch);
        ok = static_cast<bool>(
            file.stream().write(reinterpret_cast<const char*>(m_code.PatchDump.data()),
                                static_cast<std::streamsize>(m_code.PatchDump.size())));
    }
    if (ok)
        ok = file.commit();
    if (!ok) {
        m_host.showMessage(savingFailed(choice->Path));
    } else if (!m_namesNoteShown) {
        // Said once, where it does not stand in the way of the next export.
        m_host.SetStatusText(kNamesStayBehind);
        m_namesNoteShown = true;
    }
    return ok;
}

void BankCommands::SaveBank() {
    if (!m_host.BankFileTitle().empty())
        WriteBankFile(m_host.BankFilePath());
    else
        SaveBankAs();
}

void BankCommands::SaveBankAs() {
    const auto choice = m_host.showSaveDialog(kBankFilter, kBankExtension);
    if (!choice)
        return;
    WriteBankFile(choice->Path);
    // The chosen file becomes the bank's file even when writing it failed.
    m_host.SetMainCaption(titleOf(*choice), choice->Path);
}

bool BankCommands::exportBank() {
    const auto choice = m_host.showSaveDialog(kBankFilter, kBankExtension);
    return choice && WriteBankFile(choice->Path);
}

bool BankCommands::WriteBankFile(const std::string& path) {
    const bool ok = writeBank(path);
    if (!ok)
        m_host.showMessage(savingFailed(path));
    return ok;
}

bool BankCommands::writeBank(const std::string& path) {
    SaveFile file(path);
    bool ok = file.open();
    for (int patch = kFirstPatch; ok && patch <= kLastPatch; ++patch)
        ok = WritePatchRecord(file.stream(), m_code.PatchBank, patch, m_host.PatchName(patch));
    if (ok)
        ok = file.commit();
    if (ok)
        m_host.bankFileWritten(path);
    return ok;
}

bool BankCommands::OpenPatchFile(int patch, const std::optional<FileChoice>& chosen) {
    const auto choice = chosen ? chosen : m_host.showOpenDialog(kPatchFilter, kNoExtension);
    if (!choice)
        return false;
    ReadingBuffer values{};
    std::string name;
    bool ok = false;
    {
        std::ifstream file(choice->Path, std::ios::binary);
        if (file.is_open()) {
            LineReader reader(file);
            ok = readPatchRecord(reader, name, values).ok();
        }
    }
    if (!ok) {
        m_host.showMessage(openingFailed(choice->Path));
        return false;
    }
    copyIntoPatch(m_code.PatchBank, patch, values);
    m_code.ParameterChanged(patch);
    m_host.SetPatchName(patch, name);
    RefreshEditor(patch);
    return true;
}

void BankCommands::SavePatchAs(int patch, const std::string& name) {
    const auto choice = m_host.showSaveDialog(kPatchFilter, kPatchExtension);
    if (!choice)
        return;
    WritePatchFile(patch, name, choice->Path);
}

bool BankCommands::WritePatchFile(int patch, const std::string& name, const std::string& path) {
    SaveFile file(path);
    const bool ok = file.open() && WritePatchRecord(file.stream(), m_code.PatchBank, patch, name) &&
                    file.commit();
    if (!ok)
        m_host.showMessage(savingFailed(path));
    return ok;
}

void BankCommands::RefreshEditor(int patch) {
    // RefreshPending is -1 while an editor repaints, whatever the repaint does.
    const ScopedFlag<int16_t> pending(m_code.RefreshPending, kOn, kOff);
    if (m_host.OpenEditorKind(patch) != 0)
        m_host.repaintEditor(patch);
}

void BankCommands::RefreshAllEditors() {
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        RefreshEditor(patch);
}
