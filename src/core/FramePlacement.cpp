#include "FramePlacement.h"

#include "CablePacing.h"

using CablePacing::frameBefore;

void FramePlacement::beginCycle(uint32_t cycleStart, uint32_t rate) {
    m_cycleStart = cycleStart;
    m_rate = rate;
    // A server that changes its period can start a cycle a little before the last
    // frame it played (the counter steps back): the last message then lies ahead of the
    // cycle, and its gap still holds. Only a last frame a minute or more away, either
    // way, is forgotten.
    const int64_t distance = int32_t(cycleStart - m_lastFrame);
    const int64_t limit = kComparableSeconds * int64_t(rate);
    if (m_placedAny && (distance > limit || distance < -limit))
        m_placedAny = false;
}

uint32_t FramePlacement::place(uint32_t dueFrame, int64_t gapUs) const {
    uint32_t frame = dueFrame;
    if (m_placedAny) {
        const uint32_t earliest = m_lastFrame + CablePacing::framesFor(gapUs, m_rate);
        if (frameBefore(frame, earliest)) frame = earliest;
    }
    if (frameBefore(frame, m_cycleStart)) frame = m_cycleStart;
    return frame;
}

void FramePlacement::placed(uint32_t frame) {
    m_lastFrame = frame;
    m_placedAny = true;
}
