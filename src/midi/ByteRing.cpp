#include "ByteRing.h"

#include <algorithm>
#include <cstring>

namespace {
std::size_t powerOfTwoAtLeast(std::size_t n) {
    std::size_t p = 1;
    while (p < n)
        p <<= 1;
    return p;
}
} // namespace

// new[] without () leaves the bytes untouched, so the pages stay unbacked until used.
ByteRing::ByteRing(std::size_t capacity)
    : m_mask(powerOfTwoAtLeast(capacity) - 1), m_bytes(new uint8_t[m_mask + 1]) {}

std::size_t ByteRing::writeSpace() const {
    return m_mask + 1 - (m_write.load(std::memory_order_relaxed) -
                         m_read.load(std::memory_order_acquire));
}

std::size_t ByteRing::readSpace() const {
    return m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed);
}

bool ByteRing::write(const void* bytes, std::size_t size) {
    if (size > writeSpace()) return false;
    const std::size_t at = m_write.load(std::memory_order_relaxed);
    const std::size_t offset = at & m_mask;
    const std::size_t first = std::min(size, m_mask + 1 - offset);
    const auto* from = static_cast<const uint8_t*>(bytes);
    std::memcpy(&m_bytes[offset], from, first);
    std::memcpy(&m_bytes[0], from + first, size - first);
    m_write.store(at + size, std::memory_order_release);
    return true;
}

void ByteRing::copyOut(std::size_t from, void* bytes, std::size_t size) const {
    const std::size_t offset = from & m_mask;
    const std::size_t first = std::min(size, m_mask + 1 - offset);
    auto* to = static_cast<uint8_t*>(bytes);
    std::memcpy(to, &m_bytes[offset], first);
    std::memcpy(to + first, &m_bytes[0], size - first);
}

bool ByteRing::peek(void* bytes, std::size_t size) const {
    if (size > readSpace()) return false;
    copyOut(m_read.load(std::memory_order_relaxed), bytes, size);
    return true;
}

bool ByteRing::read(void* bytes, std::size_t size) {
    if (size > readSpace()) return false;
    const std::size_t at = m_read.load(std::memory_order_relaxed);
    if (bytes) copyOut(at, bytes, size);
    m_read.store(at + size, std::memory_order_release);
    return true;
}

void ByteRing::reset() {
    m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release);
}
