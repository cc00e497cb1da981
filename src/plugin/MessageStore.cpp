#include "MessageStore.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint8_t kKindMask = 0xF0;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr std::size_t kNoteBytes = 3;
constexpr std::size_t kOthersLimit = MessageStore::kBytes / 4 * 3;
} // namespace

bool MessageStore::isNoteOff(const uint8_t* bytes, std::size_t size) {
    if (size != kNoteBytes) return false;
    const uint8_t kind = bytes[0] & kKindMask;
    return kind == kNoteOff || (kind == kNoteOn && bytes[2] == 0);
}

bool MessageStore::push(uint64_t arrival, const uint8_t* bytes, std::size_t size) {
    if (size == 0 || size > kLongestMessage) return false;
    const std::size_t needed = sizeof(Header) + size;
    const std::size_t limit = isNoteOff(bytes, size) ? kBytes : kOthersLimit;
    if (m_used + needed > limit) return false;
    const Header header{arrival, uint32_t(size)};
    const std::size_t at = (m_read + m_used) % kBytes;
    copyIn(at, &header, sizeof header);
    copyIn((at + sizeof header) % kBytes, bytes, size);
    m_used += needed;
    return true;
}

MessageStore::Header MessageStore::front() const {
    Header header;
    copyOut(m_read, &header, sizeof header);
    return header;
}

void MessageStore::copyFront(uint8_t* out) const {
    copyOut((m_read + sizeof(Header)) % kBytes, out, front().Size);
}

void MessageStore::pop() {
    const std::size_t size = sizeof(Header) + front().Size;
    m_read = (m_read + size) % kBytes;
    m_used -= size;
}

void MessageStore::copyIn(std::size_t at, const void* from, std::size_t size) {
    const std::size_t first = std::min(size, kBytes - at);
    std::memcpy(&m_ring[at], from, first);
    std::memcpy(&m_ring[0], static_cast<const uint8_t*>(from) + first, size - first);
}

void MessageStore::copyOut(std::size_t at, void* to, std::size_t size) const {
    const std::size_t first = std::min(size, kBytes - at);
    std::memcpy(to, &m_ring[at], first);
    std::memcpy(static_cast<uint8_t*>(to) + first, &m_ring[0], size - first);
}
