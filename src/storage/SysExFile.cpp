#include "SysExFile.h"

#include "core/PatchDump.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace SysExFile;

namespace {
constexpr uint8_t kSysExStart = DumpBytes::kSysExStart;
constexpr uint8_t kSysExEnd = DumpBytes::kSysExEnd;
constexpr uint8_t kStatusBit = 0x80;
constexpr uint8_t kMetaEvent = 0xFF;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr char kHeaderChunk[] = "MThd";
constexpr char kTrackChunk[] = "MTrk";
constexpr std::size_t kChunkHead = 8;
constexpr int kMaxQuantityBytes = 4;

// Collects what the readers find, keeping only the first kMaxKept of each.
class Collector {
public:
    explicit Collector(SysExScan& scan) : m_scan(scan) {}

    // A whole message from F0 to F7, as found at the offset.
    void message(std::size_t offset, const uint8_t* bytes, std::size_t length) {
        if (length > 1 && bytes[1] != DumpBytes::kManufacturer) {
            if (!keeping())
                countSkipped();
            else
                skip(offset, "a message of another maker (identifier " + hex(bytes[1]) + ")");
            return;
        }
        const DumpDecoding read = decodePatch(bytes, length);
        if (!read.ok()) {
            skip(offset + static_cast<std::size_t>(read.Offset), read.Reason);
            return;
        }
        if (m_scan.Dumps.size() < kMaxKept) m_scan.Dumps.push_back({offset, read.Patch});
        ++m_scan.DumpCount;
    }

    void tooLong(std::size_t offset) { skip(offset, "a message longer than 64 KiB"); }

    // Whether the next reason is kept; past the limit reasons are only counted, so a
    // file of many broken messages costs no time building texts nobody reads.
    bool keeping() const { return m_scan.Skipped.size() < kMaxKept; }
    void countSkipped() { ++m_scan.SkippedCount; }

    void skip(std::size_t offset, const std::string& reason) {
        if (m_scan.Skipped.size() < kMaxKept) m_scan.Skipped.push_back({offset, reason});
        ++m_scan.SkippedCount;
    }

    static std::string hex(int value) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
        return text;
    }

private:
    SysExScan& m_scan;
};

// Messages back to back; bytes outside a message are skipped. Any status byte other than
// F7 inside a message ends it early, and the message is skipped as cut off.
void scanRaw(const uint8_t* bytes, std::size_t size, Collector& out) {
    std::size_t i = 0;
    while (i < size) {
        if (bytes[i] != kSysExStart) {
            ++i;
            continue;
        }
        const std::size_t start = i++;
        while (i < size && (bytes[i] & kStatusBit) == 0)
            ++i;
        if (i < size && bytes[i] == kSysExEnd) {
            const std::size_t length = i + 1 - start;
            if (length > kMaxMessage)
                out.tooLong(start);
            else
                out.message(start, bytes + start, length);
            ++i;
        } else if (i >= size) {
            out.skip(start, "a message cut off by the end of the file");
        } else if (out.keeping()) {
            out.skip(start, "a message cut off by status byte " + Collector::hex(bytes[i]) +
                                " at offset " + std::to_string(i));
        } else {
            out.countSkipped();
        }
    }
}

uint32_t bigEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// One track's events. A SysEx event may be split: an F0 event without a closing F7 is
// continued by F7 events until one ends with F7. Everything else is stepped over.
class TrackReader {
public:
    TrackReader(const uint8_t* bytes, std::size_t begin, std::size_t end, Collector& out)
        : m_bytes(bytes), m_at(begin), m_end(end), m_out(out) {}

    void read() {
        uint8_t runningStatus = 0;
        while (m_at < m_end) {
            std::size_t delta = 0;
            if (!quantity(delta)) return;
            if (m_at >= m_end) return damaged("an event cut off by the end of its track");
            const std::size_t eventStart = m_at;
            uint8_t status = m_bytes[m_at];
            if (status & kStatusBit) {
                ++m_at;
            } else if (runningStatus != 0) {
                status = runningStatus; // running status: the data bytes follow at once
            } else {
                return damaged("a data byte where an event's status belongs");
            }
            if (status == kSysExStart || status == kSysExEnd) {
                runningStatus = 0;
                if (!sysExEvent(status, eventStart)) return;
            } else if (status == kMetaEvent) {
                runningStatus = 0;
                if (m_at >= m_end) return damaged("a meta event cut off by the end of its track");
                const uint8_t type = m_bytes[m_at++];
                std::size_t length = 0;
                if (!quantity(length) || !skipData(length, "a meta event")) return;
                if (type == kEndOfTrack) break;
            } else if (status >= 0xF0) {
                return damaged("status byte " + Collector::hex(status) +
                               ", which a MIDI file cannot hold");
            } else {
                runningStatus = status;
                const uint8_t kind = status & 0xF0;
                const std::size_t data = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
                if (!skipData(data, "a channel event")) return;
            }
        }
        if (m_pending) m_out.skip(m_pendingOffset, "a split message never finished in its track");
    }

private:
    // A variable-length quantity of at most four bytes.
    bool quantity(std::size_t& value) {
        value = 0;
        for (int i = 0; i < kMaxQuantityBytes; ++i) {
            if (m_at >= m_end) {
                damaged("a length cut off by the end of its track");
                return false;
            }
            const uint8_t byte = m_bytes[m_at++];
            value = (value << 7) | (byte & 0x7F);
            if ((byte & kStatusBit) == 0) return true;
        }
        damaged("a length of more than four bytes");
        return false;
    }

    bool skipData(std::size_t length, const char* what) {
        if (length > m_end - m_at) {
            damaged(std::string(what) + " longer than the rest of its track");
            return false;
        }
        m_at += length;
        return true;
    }

    bool sysExEvent(uint8_t status, std::size_t eventStart) {
        std::size_t length = 0;
        if (!quantity(length)) return false;
        if (length > m_end - m_at) {
            damaged("a SysEx event longer than the rest of its track");
            return false;
        }
        const uint8_t* data = m_bytes + m_at;
        m_at += length;
        if (status == kSysExStart) {
            if (m_pending) m_out.skip(m_pendingOffset, "a split message never finished");
            m_message.assign(1, kSysExStart);
            m_pending = true;
            m_tooLong = false;
            m_pendingOffset = eventStart;
        } else if (!m_pending) {
            return true; // an escape: raw bytes for the instrument, no message of ours
        }
        if (m_message.size() + length > kMaxMessage + 1) m_tooLong = true;
        if (!m_tooLong) m_message.insert(m_message.end(), data, data + length);
        if (length > 0 && data[length - 1] == kSysExEnd) {
            if (m_tooLong)
                m_out.tooLong(m_pendingOffset);
            else
                m_out.message(m_pendingOffset, m_message.data(), m_message.size());
            m_pending = false;
            m_message.clear();
        }
        return true;
    }

    void damaged(const std::string& reason) {
        if (m_out.keeping())
            m_out.skip(m_at, reason + "; the rest of the track is skipped");
        else
            m_out.countSkipped();
        m_pending = false;
    }

    const uint8_t* m_bytes;
    std::size_t m_at;
    std::size_t m_end;
    Collector& m_out;
    std::vector<uint8_t> m_message; // at most kMaxMessage + 1 bytes
    bool m_pending = false;
    bool m_tooLong = false;
    std::size_t m_pendingOffset = 0;
};

void scanMidiFile(const uint8_t* bytes, std::size_t size, SysExScan& scan, Collector& out) {
    scan.StandardMidiFile = true;
    if (size < kChunkHead + 6) {
        scan.Refusal = "the MIDI file's header is cut off";
        return;
    }
    std::size_t at = 0;
    bool first = true;
    while (size - at >= kChunkHead) {
        const uint8_t* head = bytes + at;
        const std::size_t declared = bigEndian(head + 4, 4);
        const std::size_t begin = at + kChunkHead;
        std::size_t end = begin + std::min(declared, size - begin);
        if (declared > size - begin)
            out.skip(at, "a chunk that claims " + std::to_string(declared) + " bytes where " +
                             std::to_string(size - begin) + " remain; read up to the end");
        if (first && (std::memcmp(head, kHeaderChunk, 4) != 0 || declared < 6)) {
            scan.Refusal = "the MIDI file's header is damaged";
            return;
        }
        if (!first && std::memcmp(head, kTrackChunk, 4) == 0)
            TrackReader(bytes, begin, end, out).read();
        first = false;
        at = end;
    }
    if (at < size) out.skip(at, "bytes after the last chunk");
}
} // namespace

SysExScan scanSysEx(const uint8_t* bytes, std::size_t size) {
    SysExScan scan;
    Collector out(scan);
    if (bytes && size >= 4 && std::memcmp(bytes, kHeaderChunk, 4) == 0)
        scanMidiFile(bytes, size, scan, out);
    else if (bytes)
        scanRaw(bytes, size, out);
    return scan;
}

SysExScan readSysExFile(const std::string& path) {
    SysExScan scan;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        scan.Refusal = std::strerror(errno);
        return scan;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        scan.Refusal = "not a regular file";
        ::close(fd);
        return scan;
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxFileSize) {
        scan.Refusal = "larger than 16 MiB, which no SysEx file of patches needs";
        ::close(fd);
        return scan;
    }
    // Read to the end, also past the size given by fstat, but never past the limit.
    std::vector<uint8_t> bytes(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() > kMaxFileSize) break;
            bytes.resize(std::min(bytes.size() * 2, kMaxFileSize + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            scan.Refusal = std::strerror(errno);
            ::close(fd);
            return scan;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got > kMaxFileSize) {
        scan.Refusal = "larger than 16 MiB, which no SysEx file of patches needs";
        return scan;
    }
    return scanSysEx(bytes.data(), got);
}

std::string importedPatchName(const std::string& path, std::size_t index, std::size_t count) {
    std::string name =
        path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    if (count > 1) name += " " + std::to_string(index + 1);
    return name;
}

std::string formatSkipped(const SkippedMessage& skipped) {
    return "offset " + std::to_string(skipped.Offset) + ": " + skipped.Reason;
}
