#include "LibraryScanner.h"

#include "LibraryDatabase.h"
#include "LibraryWriter.h"
#include "storage/FileCheck.h"
#include "storage/SysExFile.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

struct Candidate {
    QString Path;
    qint64 Folder = 0;
    qint64 Size = 0;
    qint64 Modified = 0; // nanoseconds
};

enum class Format { None, Record, SysEx };

Format formatOf(const QByteArray& name) {
    const int dot = name.lastIndexOf('.');
    if (dot < 0) return Format::None;
    const QByteArray extension = name.mid(dot + 1).toLower();
    if (extension == "bbk" || extension == "b01") return Format::Record;
    if (extension == "syx" || extension == "mid") return Format::SysEx;
    return Format::None;
}

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Walks folders depth-first in name order. A folder or file reached twice (through a
// symbolic link, a link loop, or two watched folders one inside the other) is taken
// once, where it was met first.
class FolderWalker {
public:
    explicit FolderWalker(const std::atomic<bool>* cancel) : m_cancel(cancel) {}

    // The patch files below the folder; the reason when the folder or one below it
    // could not be read, empty otherwise.
    QString walk(qint64 folder, const QString& root, std::vector<Candidate>& out) {
        const QByteArray rootBytes = QFile::encodeName(root);
        struct stat info {};
        if (::stat(rootBytes.constData(), &info) != 0)
            return errno == ENOENT ? QStringLiteral("the folder is not there (is its disk "
                                                    "connected?)")
                                   : QStringLiteral("the folder cannot be reached: ") + systemError();
        if (!S_ISDIR(info.st_mode)) return QStringLiteral("not a folder");
        if (!m_folders.insert({info.st_dev, info.st_ino}).second) return {};
        std::vector<QByteArray> pending{rootBytes};
        QStringList unreadable;
        while (!pending.empty() && !(m_cancel && m_cancel->load())) {
            const QByteArray dir = pending.back();
            pending.pop_back();
            DIR* handle = ::opendir(dir.constData());
            if (!handle) {
                unreadable << QFile::decodeName(dir) + QStringLiteral(": ") + systemError();
                continue;
            }
            std::vector<QByteArray> names;
            while (const dirent* entry = ::readdir(handle)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..") names.push_back(name);
            }
            ::closedir(handle);
            std::sort(names.begin(), names.end());
            std::vector<QByteArray> below;
            for (const QByteArray& name : names) {
                const QByteArray path = dir + '/' + name;
                struct stat entry {};
                if (::stat(path.constData(), &entry) != 0) continue; // a link to nothing
                if (S_ISDIR(entry.st_mode)) {
                    if (m_folders.insert({entry.st_dev, entry.st_ino}).second) below.push_back(path);
                } else if (S_ISREG(entry.st_mode) && formatOf(name) != Format::None &&
                           m_files.insert({entry.st_dev, entry.st_ino}).second) {
                    const qint64 modified =
                        qint64(entry.st_mtim.tv_sec) * 1'000'000'000 + entry.st_mtim.tv_nsec;
                    out.push_back({QFile::decodeName(path), folder, qint64(entry.st_size), modified});
                }
            }
            pending.insert(pending.end(), below.rbegin(), below.rend());
        }
        if (unreadable.isEmpty()) return {};
        QString problem = QStringLiteral("cannot read ") + unreadable.front();
        if (unreadable.size() > 1)
            problem += QStringLiteral(" (and %1 more folders)").arg(unreadable.size() - 1);
        return problem;
    }

private:
    using Key = std::pair<dev_t, ino_t>;
    const std::atomic<bool>* m_cancel;
    std::set<Key> m_folders;
    std::set<Key> m_files;
};

// The patches of one file and, when it could not be read completely, why.
std::vector<FoundPatch> readPatches(const Candidate& file, QString& problem) {
    std::vector<FoundPatch> patches;
    if (file.Size > LibraryScanner::kMaxFileSize) {
        problem = QStringLiteral("larger than 16 MiB, which no file of patches needs");
        return patches;
    }
    const QByteArray encoded = QFile::encodeName(file.Path);
    const std::string path = encoded.toStdString();
    const int slash = encoded.lastIndexOf('/');
    if (formatOf(encoded.mid(slash + 1)) == Format::SysEx) {
        const SysExScan scan = readSysExFile(path);
        if (scan.refused()) {
            problem = QString::fromStdString(scan.Refusal);
            return patches;
        }
        for (std::size_t i = 0; i < scan.Dumps.size(); ++i) {
            const std::string name = importedPatchName(path, i, scan.DumpCount);
            patches.push_back({scan.Dumps[i].Patch.Values,
                               QString::fromLatin1(name.data(), qsizetype(name.size())),
                               int(i) + 1});
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
    const LoadedFile loaded = loadFile(path, bank, &names);
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
    const std::vector<std::pair<qint64, QString>>& folders = *watched;
    FolderWalker walker(m_cancel);
    std::vector<Candidate> found;
    std::vector<QString> folderProblems;
    for (const auto& [id, path] : folders)
        folderProblems.push_back(walker.walk(id, path, found));
    if (cancelled()) {
        summary.Cancelled = true;
        return summary;
    }
    summary.Files = int(found.size());

    QHash<QString, KnownFile> known;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT path, id, size, modified, missing FROM files "
                                       "WHERE kind = %1").arg(LibraryFiles::kWatched)))
            return failed();
        while (query.next())
            known.insert(query.value(0).toString(),
                         {query.value(1).toLongLong(), query.value(2).toLongLong(),
                          query.value(3).toLongLong(), query.value(4).toBool()});
    }

    // Folders' problems, files gone, and files back unchanged, in one step.
    std::vector<Candidate> changed;
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
        QSet<QString> present;
        for (const Candidate& file : found) {
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
            const Candidate& file = changed[std::size_t(start) + i];
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
