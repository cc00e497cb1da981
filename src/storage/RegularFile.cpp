#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};
} // namespace

RegularFile readRegularFile(const std::string& path, std::size_t maxSize) {
    RegularFile file;
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer; O_NOCTTY: a
    // terminal must never become the program's. Neither changes how a regular file reads.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        file.Refusal = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        file.Refusal = std::strerror(errno);
        return file;
    }
    if (!S_ISREG(info.st_mode)) {
        file.NotRegular = true;
        file.Refusal = "not a regular file";
        return file;
    }
    if (static_cast<uint64_t>(info.st_size) > maxSize) {
        file.TooLarge = true;
        file.Refusal = "larger than the limit";
        return file;
    }
    // Read to the end, also past the size fstat gave, but never past the limit.
    file.Bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == file.Bytes.size()) {
            if (file.Bytes.size() > maxSize) break;
            file.Bytes.resize(std::min(file.Bytes.size() * 2, maxSize + 1));
        }
        const ssize_t n = ::read(fd.get(), file.Bytes.data() + got, file.Bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            file.Refusal = std::strerror(errno);
            file.Bytes.clear();
            return file;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxSize) {
        file.TooLarge = true;
        file.Refusal = "larger than the limit";
        file.Bytes.clear();
        return file;
    }
    file.Bytes.resize(got);
    return file;
}
