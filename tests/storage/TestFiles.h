#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

// File helpers for the storage tests; every path lies in a test's own QTemporaryDir.
namespace TestFiles {

inline QByteArray read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Everything in a folder, hidden files included: a failed save must leave no
// temporary file behind.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs as the unprivileged user "nobody" for as long as it lives, so that a folder's
// permissions hold even when the tests run as root. Only the effective user changes;
// the destructor takes the old one back.
class AsUnprivilegedUser {
public:
    static constexpr uid_t kNobody = 65534;
    AsUnprivilegedUser() {
        if (::geteuid() == 0)
            m_switched = ::seteuid(kNobody) == 0;
    }
    ~AsUnprivilegedUser() {
        if (m_switched)
            (void)::seteuid(0);
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;
    // False when running as root could not be given up: the permission test means nothing.
    bool effective() const { return ::geteuid() != 0; }

private:
    bool m_switched = false;
};

// Makes every write beyond the given file size fail (EFBIG), as a disk that fills up
// part-way through a save would; the signal the kernel sends with it is ignored.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool effective() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};

} // namespace TestFiles
