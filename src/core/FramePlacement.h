#pragma once

#include <cstdint>

// Where on a frame counter each paced message goes: at the frame it is due, but never
// sooner than its gap (in microseconds, rounded up to whole frames) after the frame of
// the message before it, and never before the cycle being filled. The last frame is
// carried from cycle to cycle, so the gap holds across cycles whatever their length.
// The counter is 32 bits and wraps; a last frame more than a minute away from the
// cycle, in either direction, is forgotten as meaningless.
class FramePlacement {
public:
    // Starts filling the cycle that begins at `cycleStart`.
    void beginCycle(uint32_t cycleStart, uint32_t rate);
    // The frame for a message due at `dueFrame` whose gap after the last one is `gapUs`;
    // at or after the cycle's start. Nothing is recorded until placed().
    uint32_t place(uint32_t dueFrame, int64_t gapUs) const;
    // The message went at `frame`.
    void placed(uint32_t frame);
    // Forgets the last message: the next goes at its due frame.
    void reset() { m_placedAny = false; }

    bool placedAny() const { return m_placedAny; }
    uint32_t lastFrame() const { return m_lastFrame; }

private:
    static constexpr int64_t kComparableSeconds = 60;
    uint32_t m_cycleStart = 0;
    uint32_t m_rate = 0;
    uint32_t m_lastFrame = 0;
    bool m_placedAny = false;
};
