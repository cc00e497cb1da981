#include "LibraryScanner.h"

#include "FolderWalker.h"
#include "LibraryDatabase.h"
#include "LibraryText.h"
#include "LibraryWriter.h"
#include "storage/FileCheck.h"
#include "storage/RegularFile.h"
#include "storage/SysExFile.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// The patches of one file and, when it could not be read completely, why.
std::vector<FoundPatch> readPatches(const FoundFile& file, QString& problem) {
    std::vector<FoundPatch> patches;
    const std::string path = file.Path.toStdString();
    // Read whole and without waiting: what stands at the path now may not be the
    // regular file the walk found there.
    const RegularFile contents = readRegularFile(path, LibraryScanner::kMaxFileSize);
    if (contents.refused()) {
        problem = contents.TooLarge
                      ? QStringLiteral("larger than 16 MiB, which no file of patches needs")
                  : contents.NotRegular ? QStringLiteral("not a regular file")
                                        : QStringLiteral("cannot be opened: ") +
                                              QString::fromLocal8Bit(contents.Refusal.c_str());
        return patches;
    }
    const int slash = file.Path.lastIndexOf('/');
    if (patchFileKind(file.Path.mid(slash + 1)) == PatchFileKind::SysEx) {
        const SysExScan scan = scanSysEx(contents.Bytes.data(), contents.Bytes.size());
        if (scan.refused()) {
            problem = QString::fromStdString(scan.Refusal);
            return patches;
        }
        for (std::size_t i = 0; i < scan.Dumps.size(); ++i) {
            // Named after the file, as Import SysEx names them.
            const std::string name = importedPatchName(path, i, scan.DumpCount);
            patches.push_back({scan.Dumps[i].Patch.Values,
                               pathText(QByteArray::fromStdString(name)), int(i) + 1});
        }
        if (!scan.Skipped.empty()) {
            problem = QString::fromStdString(formatSkipped(scan.Skipped.front()));
            if (scan.SkippedCount > 1)
                problem += QStringLiteral(" (%1 messages skipped in all)").arg(scan.SkippedCount);
        }
        return patches;
    }
    Bank bank;
    std::vector<std::string> names;
    std::istringstream records(std::string(contents.Bytes.begin(), contents.Bytes.end()));
    const LoadedFile loaded = loadRecords(records, kindOf(path), bank, &names);
    for (int record = 1; record <= loaded.Records; ++record) {
        FoundPatch patch;
        std::copy(bank.row(record), bank.row(record) + kParameterSlots, patch.Values.begin());
        const std::string& name = names[static_cast<std::size_t>(record - 1)];
        patch.Name = QString::fromLatin1(name.data(), qsizetype(name.size()));
        patch.Position = record;
        patches.push_back(std::move(patch));
    }
    if (loaded.Failure) problem = QString::fromStdString(describeFinding(*loaded.Failure));
    return patches;
}

struct KnownFile {
    qint64 Id = 0;
    qint64 Size = 0;
    qint64 Modified = 0;
    bool Missing = false;
};

} // namespace

QString ScanSummary::text() const {
    const auto count = [](int n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QString text = count(Files, "file", "files") + QStringLiteral(", %1 read, ").arg(Read) +
                   count(Patches, "patch", "patches") + QStringLiteral(", ") +
                   count(NewSounds, "new sound", "new sounds");
    if (Missing > 0) text += QStringLiteral(", %1 gone").arg(Missing);
    if (Problems > 0) text += QStringLiteral(", %1 not readable").arg(Problems);
    // The first link of each kind is named, the others counted.
    const auto links = [](const QStringList& links, const char* one, const char* many) {
        if (links.isEmpty()) return QString();
        QString text =
            links.size() == 1
                ? QStringLiteral("; a link %1: ").arg(QLatin1String(one))
                : QStringLiteral("; %1 links %2: ").arg(links.size()).arg(QLatin1String(many));
        text += links.front();
        if (links.size() > 1) text += QStringLiteral(" (and %1 more)").arg(links.size() - 1);
        return text;
    };
    text += links(LinksOut, "leads out of the watched folders", "lead out of the watched folders");
    text += links(LinksRefused, "into a system folder was not followed",
                  "into system folders were not followed");
    return text;
}

ScanSummary LibraryScanner::scan() {
    ScanSummary summary;
    QSqlDatabase& db = m_database.database();
    const auto failed = [&] {
        summary.Error = m_database.lastError();
        return summary;
    };

    const auto watched = m_database.folders();
    if (!watched) return failed();
    const std::vector<std::pair<qint64, QByteArray>>& folders = *watched;
    FolderWalker walker(m_cancel);
    walker.walk(folders);
    if (cancelled()) {
        summary.Cancelled = true;
        return summary;
    }
    const std::vector<FoundFile>& found = walker.Files;
    const std::vector<QString>& folderProblems = walker.Problems;
    summary.Files = int(found.size());
    for (const LinkSeen& link : walker.LinksOut)
        summary.LinksOut << pathText(link.Link) + QStringLiteral(" \u2192 ") +
                                pathText(link.Target);
    for (const LinkSeen& link : walker.LinksRefused)
        summary.LinksRefused << pathText(link.Link) + QStringLiteral(" \u2192 ") +
                                    pathText(link.Target);

    QHash<QByteArray, KnownFile> known;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT path, id, size, modified, missing FROM files "
                                       "WHERE kind = %1").arg(LibraryFiles::kWatched)))
            return failed();
        while (query.next())
            known.insert(query.value(0).toByteArray(),
                         {query.value(1).toLongLong(), query.value(2).toLongLong(),
                          query.value(3).toLongLong(), query.value(4).toBool()});
    }

    // Folders' problems, files gone, and files back unchanged, in one step.
    std::vector<FoundFile> changed;
    {
        LibraryDatabase::Transaction transaction(m_database);
        if (!transaction.ok()) return failed();
        QSqlQuery folderProblem(db);
        folderProblem.prepare(QStringLiteral("UPDATE folders SET problem = ? WHERE id = ?"));
        for (std::size_t i = 0; i < folders.size(); ++i) {
            folderProblem.bindValue(0, folderProblems[i].isEmpty() ? QVariant() : folderProblems[i]);
            folderProblem.bindValue(1, folders[i].first);
            if (!m_database.exec(folderProblem)) return failed();
        }
        QSqlQuery setMissing(db);
        setMissing.prepare(QStringLiteral("UPDATE files SET missing = ? WHERE id = ?"));
        QSet<QByteArray> present;
        for (const FoundFile& file : found) {
            present.insert(file.Path);
            const auto at = known.constFind(file.Path);
            if (at == known.constEnd() || at->Size != file.Size || at->Modified != file.Modified) {
                changed.push_back(file);
            } else if (at->Missing) {
                setMissing.bindValue(0, 0);
                setMissing.bindValue(1, at->Id);
                if (!m_database.exec(setMissing)) return failed();
            }
        }
        for (auto at = known.constBegin(); at != known.constEnd(); ++at) {
            if (at->Missing || present.contains(at.key())) continue;
            setMissing.bindValue(0, 1);
            setMissing.bindValue(1, at->Id);
            if (!m_database.exec(setMissing)) return failed();
            ++summary.Missing;
        }
        if (!transaction.commit()) return failed();
    }

    // The changed files, a batch at a time: read first, then written in one step.
    LibraryWriter writer(m_database);
    const int total = int(changed.size());
    for (int start = 0; start < total && !summary.Cancelled; start += kBatch) {
        if (cancelled()) {
            summary.Cancelled = true;
            break;
        }
        const int end = std::min(total, start + kBatch);
        std::vector<std::pair<std::vector<FoundPatch>, QString>> read;
        for (int i = start; i < end; ++i) {
            if (cancelled()) {
                summary.Cancelled = true;
                break;
            }
            QString problem;
            std::vector<FoundPatch> patches = readPatches(changed[std::size_t(i)], problem);
            read.emplace_back(std::move(patches), problem);
        }
        LibraryDatabase::Transaction transaction(m_database);
        if (!transaction.ok()) return failed();
        for (std::size_t i = 0; i < read.size(); ++i) {
            const FoundFile& file = changed[std::size_t(start) + i];
            const auto& [patches, problem] = read[i];
            const qint64 id = writer.recordFile(LibraryFiles::kWatched, file.Path, file.Folder,
                                                file.Size, file.Modified, problem);
            if (id < 0 || !writer.replaceCopies(id, patches)) return failed();
            summary.Patches += int(patches.size());
        }
        if (!transaction.commit()) return failed();
        summary.Read += int(read.size());
        if (m_progress) m_progress(summary.Read, total);
    }
    summary.NewSounds = writer.newSounds();

    QSqlQuery problems(db);
    if (problems.exec(QStringLiteral(
            "SELECT (SELECT count(*) FROM files WHERE problem IS NOT NULL AND missing = 0)"
            " + (SELECT count(*) FROM folders WHERE problem IS NOT NULL)")) &&
        problems.next())
        summary.Problems = problems.value(0).toInt();
    return summary;
}
