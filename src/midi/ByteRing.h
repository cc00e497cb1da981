#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// Bytes passed from one thread that writes to one thread that reads, without locks and
// without allocating after construction, so that JACK's process thread can be either
// end. Each end keeps its own position; a position is published only after the bytes
// it covers are written or read. The capacity is a power of two; the memory is taken
// at construction but the system only backs the pages the ring reaches.
class ByteRing {
public:
    // `capacity` is rounded up to a power of two.
    explicit ByteRing(std::size_t capacity);
    ByteRing(const ByteRing&) = delete;
    ByteRing& operator=(const ByteRing&) = delete;

    // The writing end.
    std::size_t writeSpace() const;
    // Writes all `size` bytes, or nothing when they do not fit; false then.
    bool write(const void* bytes, std::size_t size);

    // The reading end.
    std::size_t readSpace() const;
    // Copies the next `size` bytes without taking them; false when fewer wait.
    bool peek(void* bytes, std::size_t size) const;
    // Takes `size` bytes, copying them when `bytes` is not null; false when fewer wait.
    bool read(void* bytes, std::size_t size);

    // Empties the ring; only while neither end is in use.
    void reset();

private:
    void copyOut(std::size_t from, void* bytes, std::size_t size) const;

    const std::size_t m_mask;
    std::unique_ptr<uint8_t[]> m_bytes;
    // Positions count bytes from the start and wrap with size_t; the writer owns m_write,
    // the reader m_read.
    std::atomic<std::size_t> m_write{0};
    std::atomic<std::size_t> m_read{0};
};
