#include "LibraryCommand.h"

#include "CommandLine.h"
#include "SysExCompanion.h"
#include "core/QuenlorCode.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"
#include "storage/PatchRecord.h"
#include "storage/SaveFile.h"

#include <algorithm>

namespace {
const char* const kProgram = "quenlor-sysex";

// A name as one field of a tab-separated line.
std::string field(const QString& text) {
    QString cleaned = text;
    for (QChar& c : cleaned)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return cleaned.toStdString();
}

// A path as one field: the file system's bytes, which a script can open again.
std::string field(const QByteArray& bytes) {
    std::string cleaned = bytes.toStdString();
    std::replace_if(
        cleaned.begin(), cleaned.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
        ' ');
    return cleaned;
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
} // namespace

int LibraryCommand::failure(const std::string& text) {
    m_world.Err << kProgram << ": " << text << '\n';
    return SysExCompanion::kFailed;
}

int LibraryCommand::failure(const char* text) {
    return failure(std::string(text));
}

int LibraryCommand::run(const CommandLine& line) {
    LibraryDatabase database(m_world.LibraryPath.empty()
                                 ? LibraryDatabase::defaultPath()
                                 : QString::fromStdString(m_world.LibraryPath));
    const QString notice = database.open();
    if (database.mode() == LibraryDatabase::Mode::Closed) return failure(notice.toStdString());
    if (!notice.isEmpty()) m_world.Err << kProgram << ": " << notice.toStdString() << '\n';
    if (line.Subcommand == "add") return add(line, database);
    if (database.rebuilt() && !rebuild(database)) return SysExCompanion::kFailed;
    return list(line, database);
}

void LibraryCommand::tellScan(LibraryDatabase& database, const ScanSummary& summary) {
    QString error;
    if (const auto catalogue = LibraryCatalogue::load(database, error))
        for (const auto& [path, reason] : catalogue->problems())
            m_world.Err << path.toStdString() << ": " << reason.toStdString() << '\n';
    for (const QString& link : summary.LinksOut)
        m_world.Err << link.toStdString() << ": a link out of the watched folders, followed\n";
    for (const QString& link : summary.LinksRefused)
        m_world.Err << link.toStdString() << ": a link into a system folder, not followed\n";
}

bool LibraryCommand::rebuild(LibraryDatabase& database) {
    const auto folders = database.folders();
    if (!folders || folders->empty()) {
        failure("the library was not built again: no watched folder is known; add them again "
                "with 'quenlor-sysex library add DIR...'");
        return false;
    }
    const ScanSummary summary = LibraryScanner(database).scan();
    if (!summary.Error.isEmpty()) {
        failure("the library was not built again: " + summary.Error.toStdString());
        return false;
    }
    tellScan(database, summary);
    m_world.Err << kProgram
                << ": built again from the watched folders: " << summary.text().toStdString()
                << '\n';
    return true;
}

int LibraryCommand::add(const CommandLine& line, LibraryDatabase& database) {
    // A library for this run only would forget the folders as the companion ends.
    if (database.mode() != LibraryDatabase::Mode::Writable)
        return failure("the library cannot be written");
    int status = SysExCompanion::kSuccess;
    for (const std::string& folder : line.Files) {
        // The argument's bytes, as the file system takes them: they need not be UTF-8.
        if (!LibraryEdits::addFolder(database, QByteArray::fromStdString(folder))) {
            m_world.Err << kProgram << ": '" << folder << "' is not a folder\n";
            status = SysExCompanion::kFailed;
        }
    }
    const ScanSummary summary = LibraryScanner(database).scan();
    if (!summary.Error.isEmpty())
        return failure("the library cannot be written: " + summary.Error.toStdString());
    tellScan(database, summary);
    m_world.Out << summary.text().toStdString() << '\n';
    return status;
}

int LibraryCommand::list(const CommandLine& line, LibraryDatabase& database) {
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    if (!catalogue) return failure("the library cannot be read: " + error.toStdString());
    LibraryFilter filter;
    if (line.Search) filter.Search = QString::fromStdString(*line.Search);
    if (line.Category) {
        filter.Category = catalogue->categoryId(QString::fromStdString(*line.Category));
        if (filter.Category == 0)
            return failure("no category '" + *line.Category + "' in the library");
    }
    filter.FavouritesOnly = line.Favourites;
    filter.MissingOnly = line.Missing;
    const std::vector<int> rows = catalogue->select(filter, catalogue->listOrder());

    if (line.Subcommand == "list") {
        for (const int row : rows) {
            const LibraryEntry& entry = catalogue->Entries[std::size_t(row)];
            const LibraryFile* file = catalogue->firstFile(entry);
            QString categories = catalogue->categoriesText(entry);
            categories.replace(QStringLiteral(", "), QStringLiteral(","));
            m_world.Out << fingerprintText(entry.Fingerprint).toStdString() << '\t'
                        << field(entry.Shown) << '\t' << field(categories) << '\t' << entry.Present
                        << '\t'
                        << (!file                                  ? std::string()
                            : file->Kind == LibraryFiles::kWatched ? field(file->Location)
                                                                   : field(file->Path))
                        << '\n';
        }
        m_world.Out.flush();
        return m_world.Out.good() ? SysExCompanion::kSuccess
                                  : failure("the standard output cannot be written");
    }

    if (rows.empty()) return failure("no patch of the library matches");
    QuenlorCode code;
    code.InitPatchModel();
    std::vector<std::string> names(kPatchSlots);
    const std::size_t count = std::min<std::size_t>(rows.size(), kLastPatch);
    for (std::size_t i = 0; i < count; ++i) {
        const LibraryEntry& entry = catalogue->Entries[std::size_t(rows[i])];
        const int patch = kFirstPatch + int(i);
        code.PatchBank.setValues(patch, entry.Values);
        // The name as its file holds it: the bank keeps the bytes.
        names[std::size_t(patch)] = entry.Name.toLatin1().toStdString();
    }
    SaveFile file(*line.Output);
    bool ok = file.open();
    for (int patch = kFirstPatch; ok && patch <= kLastPatch; ++patch)
        ok = WritePatchRecord(file.stream(), code.PatchBank, patch, names[std::size_t(patch)]);
    if (!ok || !file.commit()) return failure("cannot write '" + *line.Output + "'");
    m_world.Out << *line.Output << ": " << plural(count, "patch", "patches")
                << " from the library\n";
    return SysExCompanion::kSuccess;
}
