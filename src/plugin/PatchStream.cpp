#include "PatchStream.h"

#include "core/CablePacing.h"
#include "core/PluginInterface.h"

#include <algorithm>

namespace {
constexpr int64_t kMicrosPerMilli = 1000;

bool sameSettings(const PatchStream::Settings& a, const PatchStream::Settings& b) {
    return a.Values == b.Values && a.Channel == b.Channel && a.Bit99 == b.Bit99;
}
} // namespace

PatchStream::PatchStream(uint32_t rate) : m_rate(rate) {}

uint32_t PatchStream::framesFor(std::size_t bytes) const {
    return CablePacing::framesFor(CablePacing::cableMicros(bytes), m_rate);
}

void PatchStream::begin(const Settings& settings) {
    // Whatever the host hands over, the instrument gets values of its own ranges.
    m_settings = settings;
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        int16_t& value = m_settings.Values[std::size_t(p)];
        value = std::clamp<int16_t>(value, 0, kParameterRows[std::size_t(p)].MaxValue);
    }
    m_settings.Channel = std::clamp(settings.Channel, PatchTransmission::kLowestChannel,
                                    PatchTransmission::kHighestChannel);
    m_settings.PauseMs = std::clamp(settings.PauseMs, 0, PluginInterface::kLongestPauseMs);
    const bool changed = !m_firstBlock && !sameSettings(m_settings, m_sent);
    if ((m_recall || changed) && !m_patchPending) {
        m_patchPending = true;
        m_patchArrival = m_now;
    }
    m_recall = false;
    m_firstBlock = false;
    m_sent = m_settings;
}

void PatchStream::input(uint32_t frame, const uint8_t* bytes, std::size_t size) {
    if (!m_store.push(m_now + frame, bytes, size)) ++m_dropped;
}

bool PatchStream::sendPatchDump(uint64_t at, uint64_t blockStart, EventSink& sink) {
    m_encoder.encode(m_settings.Values, m_settings.Bit99, m_settings.Channel, m_dump);
    if (!sink.write(uint32_t(at - blockStart), m_dump.data(), m_dump.size())) return false;
    m_program[0] = PatchTransmission::programChangeStatus(m_settings.Channel);
    m_program[1] = PatchTransmission::kFirstProgram;
    m_programOpen = true;
    m_patchPending = false;
    m_cableFree = at + framesFor(m_dump.size());
    return true;
}

void PatchStream::run(uint32_t frames, EventSink& sink) {
    const uint64_t end = m_now + frames;
    uint64_t at = std::max(m_now, m_cableFree);
    while (at < end) {
        if (m_programOpen) {
            if (!sink.write(uint32_t(at - m_now), m_program, sizeof m_program)) break;
            m_programOpen = false;
            m_cableFree = at + framesFor(sizeof m_program);
            // The pause is counted from the end of the Program Change, as one span
            // rounded up once, so that it never comes out a frame short.
            m_patchFree = at + CablePacing::framesFor(
                                   CablePacing::cableMicros(sizeof m_program) +
                                       m_settings.PauseMs * kMicrosPerMilli,
                                   m_rate);
            at = m_cableFree;
            continue;
        }
        const bool messageWaits = !m_store.empty();
        const uint64_t arrival = messageWaits ? m_store.front().Arrival : 0;
        const bool messageNow = messageWaits && arrival <= at;
        const bool patchNow = m_patchPending && m_patchFree <= at;
        // Both ready: the one asked for first. A message does not wait for the pause.
        const bool patchFirst = patchNow && (!messageNow || m_patchArrival < arrival);
        if (patchFirst) {
            if (!sendPatchDump(at, m_now, sink)) break;
            at = m_cableFree;
        } else if (messageNow) {
            const MessageStore::Header header = m_store.front();
            m_store.copyFront(m_message);
            if (!sink.write(uint32_t(at - m_now), m_message, header.Size)) break;
            m_store.pop();
            m_cableFree = at + framesFor(header.Size);
            at = m_cableFree;
        } else {
            // Nothing is ready yet: on to the first frame something is.
            uint64_t next = end;
            if (messageWaits) next = std::min(next, arrival);
            if (m_patchPending) next = std::min(next, m_patchFree);
            at = std::max(at + 1, next);
        }
    }
    m_now = end;
}
