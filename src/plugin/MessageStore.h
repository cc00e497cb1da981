#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The track's MIDI messages waiting for the cable, oldest first, in a fixed 16 KB ring
// (nothing is allocated while the host runs the plugin). A quarter of it is kept for
// Note Offs: messages of other kinds stop being taken while it is three quarters full,
// so that a note that started always ends, however much else the track sends.
class MessageStore {
public:
    static constexpr std::size_t kBytes = 16 * 1024;
    static constexpr std::size_t kLongestMessage = 4 * 1024;

    struct Header {
        uint64_t Arrival; // the frame the message came at
        uint32_t Size;
    };

    // False when the message was dropped: too long, or no room for its kind.
    bool push(uint64_t arrival, const uint8_t* bytes, std::size_t size);
    bool empty() const { return m_used == 0; }
    // The oldest message's header; only when not empty.
    Header front() const;
    // Copies the oldest message's bytes (front().Size of them) to `out`.
    void copyFront(uint8_t* out) const;
    void pop();
    void clear() { m_read = m_used = 0; }

    // A Note Off, or a Note On of velocity 0.
    static bool isNoteOff(const uint8_t* bytes, std::size_t size);

private:
    void copyIn(std::size_t at, const void* from, std::size_t size);
    void copyOut(std::size_t at, void* to, std::size_t size) const;

    std::array<uint8_t, kBytes> m_ring{};
    std::size_t m_read = 0;
    std::size_t m_used = 0;
};
