#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <set>
#include <sys/types.h>
#include <utility>
#include <vector>

// What a file holds, by its extension: records (.bbk, .b01), SysEx (.syx, .mid) or none.
enum class PatchFileKind { None, Records, SysEx };
PatchFileKind patchFileKind(const QByteArray& name);

// A patch file found in a watched folder: its path as the file system gave it (the
// bytes, which need not be UTF-8), the watched folder it belongs to, its size and time.
struct FoundFile {
    QByteArray Path;
    qint64 Folder = 0;
    qint64 Size = 0;
    qint64 Modified = 0; // nanoseconds
};

// A symbolic link the walk met that leads out of the watched folders or into the
// system's own folders: the link's path and where it leads.
struct LinkSeen {
    QByteArray Link;
    QByteArray Target;
};

// Walks the watched folders for .bbk, .b01, .syx and .mid files, depth-first in name
// order. Symbolic links are followed (patch folders on another disk are linked in), but
// only once the real folders are walked, so that a folder that is both inside a watched
// folder and linked to is found at its own place; each real folder and file is taken
// once, which also ends link loops. The system's own folders (/proc, /sys, /dev, /run)
// are never entered: they hold no patches, never end, and name other programs' files.
class FolderWalker {
public:
    explicit FolderWalker(const std::atomic<bool>* cancel) : m_cancel(cancel) {}

    // Walks the folders, given by id and path; asked to stop, it ends after the folder
    // it is in.
    void walk(const std::vector<std::pair<qint64, QByteArray>>& roots);

    std::vector<FoundFile> Files;
    // For each folder given, in order, why it or a folder below it could not be read;
    // empty when all could.
    std::vector<QString> Problems;
    std::vector<LinkSeen> LinksOut;     // followed, though they lead out of the watched folders
    std::vector<LinkSeen> LinksRefused; // not followed: they lead into the system's folders

    // True for a real path inside /proc, /sys, /dev or /run (but for /run/media, where
    // removable disks are put).
    static bool isSystemPath(const QByteArray& realPath);

private:
    struct Pending {
        QByteArray Path; // as the walk reached it
        QByteArray Real; // with no link in it
        qint64 Folder = 0;
        int Root = 0; // index into Problems
    };
    using Key = std::pair<dev_t, ino_t>;

    bool cancelled() const { return m_cancel && m_cancel->load(); }
    // Walks the folders below `start` that are reached without a link; the links met
    // are kept for later.
    void walkReal(const Pending& start);
    void followLink(const Pending& link);
    void addFile(const QByteArray& path, const QByteArray& name, qint64 folder,
                 const struct stat& info);
    bool insideWatched(const QByteArray& realPath) const;

    const std::atomic<bool>* m_cancel;
    std::set<Key> m_folders;
    std::set<Key> m_files;
    std::vector<QByteArray> m_roots; // the watched folders' real paths
    std::vector<Pending> m_links;    // links met, followed once the real folders are done
    std::vector<std::vector<QString>> m_unreadable; // by root
};
