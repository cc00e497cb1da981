#include "FolderWalker.h"

#include "LibraryText.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The system's own trees: they hold no patches, /proc and /sys never end, and /proc
// names other programs' folders (/proc/<pid>/cwd), which would stay "missing" for ever.
constexpr const char* kSystemTrees[] = {"/proc", "/sys", "/dev", "/run"};
// Removable disks are put here by the desktop on some systems: a patch folder may be one.
constexpr const char* kRemovableDisks = "/run/media";

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool within(const QByteArray& path, const QByteArray& tree) {
    return path == tree || (path.startsWith(tree) && path.at(tree.size()) == '/');
}

// The path with every link resolved; empty when it cannot be.
QByteArray realPathOf(const QByteArray& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

// "." and ".." taken out of an absolute path, byte by byte (the path need not be text).
QByteArray cleaned(const QByteArray& path) {
    QList<QByteArray> parts;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts << part;
    }
    return '/' + parts.join('/');
}

// A name below a real folder; the root's own path already ends in its slash.
QByteArray childOf(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Where a link points as written, made absolute against its folder; empty when it
// cannot be read.
QByteArray linkText(const QByteArray& link, const QByteArray& folder) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length <= 0 || std::size_t(length) >= sizeof target) return {};
    const QByteArray text(target, qsizetype(length));
    return cleaned(text.startsWith('/') ? text : childOf(folder, text));
}

qint64 nanoseconds(const struct timespec& time) {
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}
} // namespace

PatchFileKind patchFileKind(const QByteArray& name) {
    const int dot = name.lastIndexOf('.');
    if (dot < 0) return PatchFileKind::None;
    const QByteArray extension = name.mid(dot + 1).toLower();
    if (extension == "bbk" || extension == "b01") return PatchFileKind::Records;
    if (extension == "syx" || extension == "mid") return PatchFileKind::SysEx;
    return PatchFileKind::None;
}

bool FolderWalker::isSystemPath(const QByteArray& realPath) {
    if (within(realPath, kRemovableDisks)) return false;
    return std::any_of(std::begin(kSystemTrees), std::end(kSystemTrees),
                       [&](const char* tree) { return within(realPath, tree); });
}

bool FolderWalker::insideWatched(const QByteArray& realPath) const {
    return std::any_of(m_roots.begin(), m_roots.end(),
                       [&](const QByteArray& root) { return within(realPath, root); });
}

void FolderWalker::walk(const std::vector<std::pair<qint64, QByteArray>>& roots) {
    Problems.assign(roots.size(), QString());
    m_unreadable.assign(roots.size(), {});
    std::vector<Pending> starts;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        const QByteArray& root = roots[i].second;
        struct stat info {};
        if (::stat(root.constData(), &info) != 0) {
            Problems[i] = errno == ENOENT
                              ? QStringLiteral("the folder is not there (is its disk connected?)")
                              : QStringLiteral("the folder cannot be reached: ") + systemError();
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            Problems[i] = QStringLiteral("not a folder");
            continue;
        }
        const QByteArray real = realPathOf(root);
        if (isSystemPath(real)) {
            Problems[i] = QStringLiteral("a folder of the system, which holds no patches");
            continue;
        }
        m_roots.push_back(real);
        if (m_folders.insert({info.st_dev, info.st_ino}).second)
            starts.push_back({root, real, roots[i].first, int(i)});
    }
    for (const Pending& start : starts)
        walkReal(start);
    // Links met on the way, in the order met; those met while following one join the end.
    for (std::size_t i = 0; i < m_links.size() && !cancelled(); ++i)
        followLink(Pending(m_links[i]));

    for (std::size_t i = 0; i < roots.size(); ++i) {
        const std::vector<QString>& unreadable = m_unreadable[i];
        if (unreadable.empty()) continue;
        Problems[i] = QStringLiteral("cannot read ") + unreadable.front();
        if (unreadable.size() > 1)
            Problems[i] += QStringLiteral(" (and %1 more folders)").arg(unreadable.size() - 1);
    }
}

void FolderWalker::addFile(const QByteArray& path, const QByteArray& name, qint64 folder,
                           const struct stat& info) {
    if (!S_ISREG(info.st_mode) || patchFileKind(name) == PatchFileKind::None) return;
    if (!m_files.insert({info.st_dev, info.st_ino}).second) return;
    Files.push_back({path, folder, qint64(info.st_size), nanoseconds(info.st_mtim)});
}

void FolderWalker::walkReal(const Pending& start) {
    std::vector<Pending> pending{start};
    while (!pending.empty() && !cancelled()) {
        const Pending dir = pending.back();
        pending.pop_back();
        DIR* handle = ::opendir(dir.Path.constData());
        if (!handle) {
            m_unreadable[std::size_t(dir.Root)].push_back(pathText(dir.Path) +
                                                          QStringLiteral(": ") + systemError());
            continue;
        }
        std::vector<QByteArray> names;
        while (const dirent* entry = ::readdir(handle)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(handle);
        std::sort(names.begin(), names.end());
        std::vector<Pending> below;
        for (const QByteArray& name : names) {
            const QByteArray path = dir.Path + '/' + name;
            struct stat entry {};
            if (::lstat(path.constData(), &entry) != 0) continue; // gone since it was listed
            if (S_ISLNK(entry.st_mode)) {
                m_links.push_back({path, dir.Real, dir.Folder, dir.Root});
            } else if (S_ISDIR(entry.st_mode)) {
                const QByteArray real = childOf(dir.Real, name);
                if (!isSystemPath(real) && m_folders.insert({entry.st_dev, entry.st_ino}).second)
                    below.push_back({path, real, dir.Folder, dir.Root});
            } else {
                addFile(path, name, dir.Folder, entry);
            }
        }
        pending.insert(pending.end(), below.rbegin(), below.rend());
    }
}

// `link.Real` is the real path of the folder the link stands in.
void FolderWalker::followLink(const Pending& link) {
    struct stat info {};
    if (::stat(link.Path.constData(), &info) != 0) return; // a link to nothing
    const int slash = link.Path.lastIndexOf('/');
    const QByteArray name = link.Path.mid(slash + 1);
    const bool folder = S_ISDIR(info.st_mode);
    // A link to a file that holds no patches would not be read wherever it led.
    if (!folder && patchFileKind(name) == PatchFileKind::None) return;
    const QByteArray written = linkText(link.Path, link.Real);
    const QByteArray real = realPathOf(link.Path);
    if (real.isEmpty()) return;
    if (isSystemPath(real) || (!written.isEmpty() && isSystemPath(written))) {
        LinksRefused.push_back({link.Path, written.isEmpty() ? real : written});
        return;
    }
    if (!folder) {
        const std::size_t before = Files.size();
        addFile(link.Path, name, link.Folder, info);
        if (Files.size() > before && !insideWatched(real)) LinksOut.push_back({link.Path, real});
        return;
    }
    if (!m_folders.insert({info.st_dev, info.st_ino}).second) return; // a loop, or met already
    if (!insideWatched(real)) LinksOut.push_back({link.Path, real});
    walkReal({link.Path, real, link.Folder, link.Root});
}
