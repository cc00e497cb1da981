#include "FileCommands.h"

#include "CommandLine.h"
#include "SysExCompanion.h"
#include "core/QuenlorCode.h"
#include "storage/FileCheck.h"
#include "storage/SaveFile.h"
#include "storage/SysExFile.h"

#include <QFile>
#include <algorithm>
#include <cctype>

namespace {

// Files read as SysEx rather than as bank or patch files: *.syx and *.mid in any case.
bool isSysExFile(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto endsWith = [&lower](const char* tail) {
        const std::string end(tail);
        return lower.size() >= end.size() &&
               lower.compare(lower.size() - end.size(), end.size(), end) == 0;
    };
    return endsWith(".syx") || endsWith(".mid");
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

int FileCommands::check(const CommandLine& line) {
    ParamTable table;
    BuildParameterTable(table);
    int status = SysExCompanion::kSuccess;
    for (const std::string& path : line.Files) {
        if (isSysExFile(path)) {
            if (!checkSysEx(path)) status = SysExCompanion::kFailed;
            continue;
        }
        Bank bank;
        const LoadedFile loaded = loadFile(path, bank);
        const std::vector<Finding> findings = checkValues(bank, loaded.Records, table);
        for (const Finding& finding : findings)
            m_world.Err << formatFinding(path, finding) << '\n';
        if (loaded.Failure) m_world.Err << formatFinding(path, *loaded.Failure) << '\n';

        m_world.Out << path << ": ";
        if (!loaded.loads())
            m_world.Out << "does not load";
        else
            m_world.Out << "loads (" << loaded.Records
                        << (loaded.Records == 1 ? " patch)" : " patches)");
        if (!findings.empty())
            m_world.Out << ", " << findings.size() << (findings.size() == 1 ? " fault" : " faults")
                        << " in the patches read";
        m_world.Out << '\n';
        if (!loaded.loads() || !findings.empty()) status = SysExCompanion::kFailed;
    }
    return status;
}

// Every reason kept, then how many more there were.
void FileCommands::writeSkipped(const std::string& path, const SysExScan& scan) {
    const std::string reasons = skippedReasons(scan, SysExFile::kMaxKept, path + ": ");
    if (!reasons.empty()) m_world.Err << reasons << '\n';
}

// Names each skipped message by its offset; true when the file holds dumps and nothing
// was skipped.
bool FileCommands::checkSysEx(const std::string& path) {
    const SysExScan scan = readSysExFile(path);
    if (scan.refused()) {
        m_world.Err << path << ": " << scan.Refusal << '\n';
        m_world.Out << path << ": does not load\n";
        return false;
    }
    writeSkipped(path, scan);
    m_world.Out << path << ": " << plural(scan.DumpCount, "patch", "patches");
    if (scan.SkippedCount > 0)
        m_world.Out << ", " << plural(scan.SkippedCount, "message", "messages") << " skipped";
    m_world.Out << '\n';
    return scan.DumpCount > 0 && scan.SkippedCount == 0;
}

int FileCommands::importSysEx(const CommandLine& line) {
    const std::string& path = line.Files.front();
    const SysExScan scan = readSysExFile(path);
    if (scan.refused()) return failure("cannot read '" + path + "': " + scan.Refusal);
    writeSkipped(path, scan);
    if (scan.Dumps.empty()) return failure("No Bit 01 patches found in '" + path + "'.");

    QuenlorCode code;
    code.InitPatchModel();
    std::vector<std::string> names(kPatchSlots);
    const std::size_t count = std::min<std::size_t>(scan.Dumps.size(), kLastPatch);
    for (std::size_t i = 0; i < count; ++i) {
        const int patch = kFirstPatch + static_cast<int>(i);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(patch, p) = scan.Dumps[i].Patch.Values[static_cast<std::size_t>(p)];
        // A bank file holds names as 8-bit text, the file's name as the system spells it.
        names[static_cast<std::size_t>(patch)] =
            QFile::decodeName(QByteArray::fromStdString(importedPatchName(path, i, scan.DumpCount)))
                .toLatin1()
                .toStdString();
    }
    if (scan.DumpCount > count)
        m_world.Err << path << ": " << scan.DumpCount - count << " dumps after the 74th left out\n";

    SaveFile file(*line.Output);
    bool ok = file.open();
    for (int patch = kFirstPatch; ok && patch <= kLastPatch; ++patch)
        ok = WritePatchRecord(file.stream(), code.PatchBank, patch,
                              names[static_cast<std::size_t>(patch)]);
    if (!ok || !file.commit()) return failure("cannot write '" + *line.Output + "'");
    m_world.Out << *line.Output << ": " << plural(count, "patch", "patches") << " imported\n";
    return SysExCompanion::kSuccess;
}

int FileCommands::syx(const CommandLine& line) {
    const std::string& path = line.Files.front();
    QuenlorCode code;
    code.InitPatchModel();
    const LoadedFile loaded = loadFile(path, code.PatchBank);
    std::vector<int> patches;
    std::string error;
    if (!choosePatches(line, loaded.Kind, true, patches, error)) return usageError(error);
    if (loaded.Failure) return failure(formatFinding(path, *loaded.Failure));
    code.MIDIChannelOut = static_cast<int16_t>(line.Channel.value_or(1));
    code.Bit99Compatible = line.Bit99 ? 1 : 0;

    std::string bytes;
    for (int patch : patches) {
        code.preparePatchDump(patch);
        bytes.append(reinterpret_cast<const char*>(code.PatchDump.data()), code.PatchDump.size());
    }
    const std::string& out = *line.Output;
    if (out == "-") {
        m_world.Out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        m_world.Out.flush();
        return m_world.Out.good() ? SysExCompanion::kSuccess : failure("the standard output cannot be written");
    }
    // An existing file is replaced only once the new one is complete.
    SaveFile file(out);
    const bool written =
        file.open() &&
        file.stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size())) &&
        file.commit();
    return written ? SysExCompanion::kSuccess : failure("cannot write '" + out + "'");
}
