#include "SaveFile.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kNewFileMode = 0666; // narrowed by the user's umask, as for any new file
constexpr mode_t kPermissionBits = 07777;
constexpr int kTempNameAttempts = 100;
constexpr std::size_t kMaxTempBaseLength = 200; // keeps the temporary name under NAME_MAX

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name unlikely to be taken; O_EXCL settles any clash.
std::string tempSuffix(unsigned attempt) {
    static unsigned long counter = 0;
    const auto now = static_cast<unsigned long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long mix =
        now ^ (static_cast<unsigned long>(::getpid()) << 20) ^ (++counter * 2654435761UL) ^ attempt;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    for (int i = 0; i < 8; ++i) {
        suffix.push_back(digits[mix % 36]);
        mix /= 36;
    }
    return suffix;
}

void syncFolder(const std::string& folder) {
    // Makes the rename itself durable; a file system that cannot sync a folder still
    // holds the complete new file, so a failure here is not a failed save.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}

} // namespace

SaveFile::FileBuffer::FileBuffer() { setp(m_data.data(), m_data.data() + m_data.size()); }

bool SaveFile::FileBuffer::drain() {
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    if (pending > 0 && (m_failed || m_fd < 0 || !writeAll(m_fd, pbase(), pending)))
        m_failed = true;
    setp(m_data.data(), m_data.data() + m_data.size());
    return !m_failed;
}

SaveFile::FileBuffer::int_type SaveFile::FileBuffer::overflow(int_type c) {
    if (!drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int SaveFile::FileBuffer::sync() { return drain() ? 0 : -1; }

SaveFile::SaveFile(std::string path) : m_path(std::move(path)), m_stream(&m_buffer) {
    m_stream.setstate(std::ios::badbit); // nothing can be written before open()
}

SaveFile::~SaveFile() { discard(); }

void SaveFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.attach(-1);
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    m_stream.setstate(std::ios::badbit);
}

bool SaveFile::open() {
    discard();
    if (m_path.empty())
        return false;

    struct stat old {};
    bool replacing = false;
    if (::stat(m_path.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return false;
        // A device or pipe: there is no old content to keep.
        if (!S_ISREG(old.st_mode))
            return openDirect();
        // A file marked read-only is left alone, although the folder would allow
        // putting another file in its place.
        if (::faccessat(AT_FDCWD, m_path.c_str(), W_OK, AT_EACCESS) != 0)
            return false;
        char resolved[PATH_MAX];
        if (!::realpath(m_path.c_str(), resolved))
            return false;
        m_target = resolved;
        replacing = true;
    } else if (errno == ENOENT) {
        m_target = m_path;
    } else {
        return false;
    }

    const std::string folder = folderOf(m_target);
    const std::string base = baseNameOf(m_target).substr(0, kMaxTempBaseLength);
    for (int attempt = 0; attempt < kTempNameAttempts && m_fd < 0; ++attempt) {
        const std::string candidate = folder + "/." + base + ".save-" + tempSuffix(attempt);
        m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (m_fd >= 0)
            m_tempPath = candidate;
        else if (replacing && (errno == EACCES || errno == EPERM))
            // A file the user may write in a folder where no new file may be put: it is
            // written in place, as it would be without the safe replacement.
            return openDirect();
        else if (errno != EEXIST)
            return false;
    }
    if (m_fd < 0)
        return false;

    if (replacing) {
        // Owner first: changing it clears set-id bits, which the mode then restores.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(m_fd, old.st_uid, old.st_gid);
        if (::fchmod(m_fd, old.st_mode & kPermissionBits) != 0) {
            discard();
            return false;
        }
    }
    m_direct = false;
    m_buffer.attach(m_fd);
    m_stream.clear();
    return true;
}

bool SaveFile::openDirect() {
    // O_NONBLOCK keeps a pipe without a reader from hanging the program; it fails instead.
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_direct = true;
    m_buffer.attach(m_fd);
    m_stream.clear();
    return true;
}

bool SaveFile::commit(Sync sync) {
    if (m_fd < 0)
        return false;
    m_stream.flush();
    bool ok = m_stream.good() && !m_buffer.failed();
    const bool toDisk = sync == Sync::ToDisk && !m_direct;
    if (ok && toDisk)
        ok = ::fsync(m_fd) == 0;
    const int fd = m_fd;
    m_fd = -1;
    m_buffer.attach(-1);
    if (::close(fd) != 0)
        ok = false;
    if (ok && !m_direct)
        ok = ::rename(m_tempPath.c_str(), m_target.c_str()) == 0;
    if (!ok) {
        discard();
        return false;
    }
    m_tempPath.clear();
    m_stream.setstate(std::ios::badbit);
    if (toDisk)
        syncFolder(folderOf(m_target));
    return true;
}

bool syncToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        syncFolder(folderOf(path));
    return ok;
}
