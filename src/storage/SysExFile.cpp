#include "SysExFile.h"

#include "RegularFile.h"
#include "core/PatchDump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace SysExFile;

namespace {
constexpr uint8_t kSysExStart = DumpBytes::kSysExStart;
constexpr uint8_t kSysExEnd = DumpBytes::kSysExEnd;
constexpr uint8_t kStatusBit = 0x80;
// Timing clock, start, stop, active sensing and the like: a byte of its own that may
// stand anywhere, even inside a System Exclusive message, without ending it.
constexpr uint8_t kFirstRealTime = 0xF8;
constexpr uint8_t kMetaEvent = 0xFF;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr char kHeaderChunk[] = "MThd";
constexpr char kTrackChunk[] = "MTrk";
constexpr std::size_t kChunkHead = 8;
constexpr int kMaxQuantityBytes = 4;

bool isRealTime(uint8_t byte) {
    return byte >= kFirstRealTime;
}

// One message as it is put together from the file: its bytes without the real-time bytes
// that stood among them, and where each stretch of them lies in the file, so that a byte
// the dump reader refuses is named by its own offset in the file, also when the message
// was split over events.
class Message {
public:
    // Starts again, keeping the memory: a file of many short messages reuses it.
    void start(std::size_t offset) {
        m_inPlace = nullptr;
        m_bytes.clear();
        m_bytes.push_back(kSysExStart);
        m_stretches.clear();
        m_stretches.push_back({0, offset});
        m_last = kSysExStart;
        m_tooLong = false;
    }

    // The bytes at the offset, less any real-time bytes among them.
    void append(const uint8_t* bytes, std::size_t length, std::size_t offset) {
        std::size_t i = 0;
        while (i < length) {
            if (isRealTime(bytes[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < length && !isRealTime(bytes[end]))
                ++end;
            m_last = bytes[end - 1];
            keep(bytes + i, end - i, offset + i);
            i = end;
        }
    }

    // A whole message with nothing among its bytes, as most are: read where it lies in
    // the file, without a copy.
    void whole(const uint8_t* bytes, std::size_t length, std::size_t offset) {
        m_inPlace = bytes;
        m_inPlaceLength = length;
        m_inPlaceOffset = offset;
        m_tooLong = length > kMaxMessage;
    }

    bool ended() const { return m_last == kSysExEnd; }
    bool tooLong() const { return m_tooLong; }
    const uint8_t* data() const { return m_inPlace ? m_inPlace : m_bytes.data(); }
    std::size_t size() const { return m_inPlace ? m_inPlaceLength : m_bytes.size(); }
    std::size_t offset() const { return m_inPlace ? m_inPlaceOffset : m_stretches.front().second; }

    // The file offset of the message's byte at the index.
    std::size_t offsetOf(std::size_t index) const {
        if (m_inPlace) return m_inPlaceOffset + index;
        auto stretch =
            std::upper_bound(m_stretches.begin(), m_stretches.end(), index,
                             [](std::size_t at, const std::pair<std::size_t, std::size_t>& s) {
                                 return at < s.first;
                             });
        --stretch;
        return stretch->second + (index - stretch->first);
    }

private:
    void keep(const uint8_t* bytes, std::size_t length, std::size_t offset) {
        if (m_tooLong || length > kMaxMessage - m_bytes.size()) {
            m_tooLong = true;
            return;
        }
        const auto [index, at] = m_stretches.back();
        if (at + (m_bytes.size() - index) != offset)
            m_stretches.push_back({m_bytes.size(), offset});
        m_bytes.insert(m_bytes.end(), bytes, bytes + length);
    }

    std::vector<uint8_t> m_bytes; // at most kMaxMessage
    // (index in the message, offset in the file) where each stretch starts.
    std::vector<std::pair<std::size_t, std::size_t>> m_stretches;
    uint8_t m_last = 0;
    bool m_tooLong = false;
    const uint8_t* m_inPlace = nullptr;
    std::size_t m_inPlaceLength = 0;
    std::size_t m_inPlaceOffset = 0;
};

// Collects what the readers find, keeping only the first kMaxKept of each.
class Collector {
public:
    explicit Collector(SysExScan& scan) : m_scan(scan) {}

    // A whole message from F0 to F7.
    void message(const Message& message) {
        const std::size_t offset = message.offset();
        if (message.tooLong()) return skip(offset, "a message longer than 64 KiB");
        const uint8_t* bytes = message.data();
        const std::size_t length = message.size();
        if (length == 2) return skip(offset, "an empty message");
        if (bytes[1] != DumpBytes::kManufacturer) {
            return skipWith(offset, [&] {
                return "a message of another maker (identifier " + hex(bytes[1]) + ")";
            });
        }
        const DumpDecoding read = decodePatch(bytes, length);
        if (!read.ok()) {
            skipWith(message.offsetOf(static_cast<std::size_t>(read.Offset)),
                     [&] { return read.Reason; });
            return;
        }
        if (m_scan.Dumps.size() < kMaxKept) m_scan.Dumps.push_back({offset, read.Patch});
        ++m_scan.DumpCount;
    }

    // Past the limit reasons are only counted, and their texts never made, so that a file
    // of many broken messages costs no time building texts nobody reads.
    template <typename MakeReason> void skipWith(std::size_t offset, const MakeReason& reason) {
        if (m_scan.Skipped.size() < kMaxKept) m_scan.Skipped.push_back({offset, reason()});
        ++m_scan.SkippedCount;
    }
    void skip(std::size_t offset, const char* reason) {
        skipWith(offset, [reason] { return std::string(reason); });
    }

    static std::string hex(int value) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
        return text;
    }

private:
    SysExScan& m_scan;
};

// Messages back to back between the offsets begin and end; bytes outside a message are
// skipped. Any status byte other than F7 or a real-time byte inside a message ends it
// early, and the message is skipped as cut off; `end` names what ends the stretch.
void scanRaw(const uint8_t* bytes, std::size_t begin, std::size_t size, const char* end,
             Collector& out, Message& message) {
    std::size_t i = begin;
    while (i < size) {
        if (bytes[i] != kSysExStart) {
            ++i;
            continue;
        }
        const std::size_t start = i++;
        bool realTime = false;
        for (; i < size && ((bytes[i] & kStatusBit) == 0 || isRealTime(bytes[i])); ++i)
            realTime = realTime || isRealTime(bytes[i]);
        if (i < size && bytes[i] == kSysExEnd) {
            if (realTime) {
                message.start(start);
                message.append(bytes + start + 1, i + 1 - (start + 1), start + 1);
            } else {
                message.whole(bytes + start, i + 1 - start, start);
            }
            out.message(message);
            ++i;
        } else if (i >= size) {
            out.skipWith(start,
                         [end] { return std::string("a message cut off by the end of ") + end; });
        } else {
            out.skipWith(start, [&] {
                return "a message cut off by status byte " + Collector::hex(bytes[i]) +
                       " at offset " + std::to_string(i);
            });
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
// continued by F7 events until one ends with F7. An F7 event that continues nothing is an
// escape, whose bytes go to the instrument as they stand: the messages in it are read as
// in a raw file. Everything else is stepped over.
class TrackReader {
public:
    TrackReader(const uint8_t* bytes, std::size_t begin, std::size_t end, Collector& out,
                Message& message)
        : m_bytes(bytes), m_at(begin), m_end(end), m_out(out), m_message(message) {}

    void read() {
        // Meta and SysEx events end running status, but files are written that rely on it
        // after them; a data byte there can only mean the last channel status, so it is
        // taken as that rather than losing the rest of the track.
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
                if (!sysExEvent(status, eventStart)) return;
            } else if (status == kMetaEvent) {
                if (m_at >= m_end) return damaged("a meta event cut off by the end of its track");
                const uint8_t type = m_bytes[m_at++];
                std::size_t length = 0;
                if (!quantity(length) || !skipData(length, "a meta event")) return;
                // Events after the end of the track are read all the same, so that no dump
                // there is lost; padding of zero bytes is no event.
                if (type == kEndOfTrack && onlyZeros()) break;
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
        if (m_pending)
            m_out.skip(m_message.offset(), "a split message never finished in its track");
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

    bool onlyZeros() const {
        return std::all_of(m_bytes + m_at, m_bytes + m_end, [](uint8_t b) { return b == 0; });
    }

    bool sysExEvent(uint8_t status, std::size_t eventStart) {
        std::size_t length = 0;
        if (!quantity(length)) return false;
        if (length > m_end - m_at) {
            damaged("a SysEx event longer than the rest of its track");
            return false;
        }
        const std::size_t data = m_at;
        m_at += length;
        if (status == kSysExStart) {
            if (m_pending) m_out.skip(m_message.offset(), "a split message never finished");
            m_message.start(eventStart);
            m_pending = true;
        } else if (!m_pending) {
            scanRaw(m_bytes, data, m_at, "its escape event", m_out, m_message);
            return true;
        }
        m_message.append(m_bytes + data, length, data);
        if (m_message.ended()) {
            m_out.message(m_message);
            m_pending = false;
        }
        return true;
    }

    void damaged(const std::string& reason) {
        m_out.skipWith(m_at, [&] { return reason + "; the rest of the track is skipped"; });
        m_pending = false;
    }

    const uint8_t* m_bytes;
    std::size_t m_at;
    std::size_t m_end;
    Collector& m_out;
    Message& m_message;
    bool m_pending = false;
};

void scanMidiFile(const uint8_t* bytes, std::size_t size, SysExScan& scan, Collector& out) {
    scan.StandardMidiFile = true;
    if (size < kChunkHead + 6) {
        scan.Refusal = "the MIDI file's header is cut off";
        return;
    }
    std::size_t at = 0;
    bool first = true;
    Message message; // one buffer for all the tracks' messages
    while (size - at >= kChunkHead) {
        const uint8_t* head = bytes + at;
        const std::size_t declared = bigEndian(head + 4, 4);
        const std::size_t begin = at + kChunkHead;
        std::size_t end = begin + std::min(declared, size - begin);
        if (declared > size - begin)
            out.skipWith(at, [&] {
                return "a chunk that claims " + std::to_string(declared) + " bytes where " +
                       std::to_string(size - begin) + " remain; read up to the end";
            });
        if (first && (std::memcmp(head, kHeaderChunk, 4) != 0 || declared < 6)) {
            scan.Refusal = "the MIDI file's header is damaged";
            return;
        }
        if (!first && std::memcmp(head, kTrackChunk, 4) == 0)
            TrackReader(bytes, begin, end, out, message).read();
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
    else if (bytes) {
        Message message;
        scanRaw(bytes, 0, size, "the file", out, message);
    }
    return scan;
}

SysExScan readSysExFile(const std::string& path) {
    const RegularFile file = readRegularFile(path, kMaxFileSize);
    if (file.refused()) {
        SysExScan scan;
        scan.Refusal = file.TooLarge ? "larger than 16 MiB, which no SysEx file of patches needs"
                                     : file.Refusal;
        return scan;
    }
    return scanSysEx(file.Bytes.data(), file.Bytes.size());
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

std::string skippedReasons(const SysExScan& scan, std::size_t most, const std::string& prefix) {
    std::string text;
    const std::size_t shown = std::min(most, scan.Skipped.size());
    for (std::size_t i = 0; i < shown; ++i)
        text += (i > 0 ? "\n" : "") + prefix + formatSkipped(scan.Skipped[i]);
    if (scan.SkippedCount > shown)
        text += (shown > 0 ? "\n" : "") + prefix + "and " +
                std::to_string(scan.SkippedCount - shown) + " more";
    return text;
}
