#include "PatchTransmission.h"

#include "DumpEncoder.h"

namespace PatchTransmission {
PatchValues blankPatch() {
    PatchValues values{};
    for (const SwitchGroup& group : kSwitchGroups)
        if (group.OneRequired) values[std::size_t(group.FirstMember)] = 1;
    return values;
}

namespace {
int wireChannel(int channel) {
    return channel >= kLowestChannel && channel <= kHighestChannel ? channel : kLowestChannel;
}
} // namespace

uint8_t headerByte(bool bit99, int channel) {
    return uint8_t((bit99 ? DumpBytes::kHeaderBit99 : DumpBytes::kHeaderBit01) +
                   (wireChannel(channel) - 1));
}

uint8_t programChangeStatus(int channel) {
    return uint8_t(kProgramChange + (wireChannel(channel) - 1));
}
} // namespace PatchTransmission

ValuesEncoder::ValuesEncoder() { BuildParameterTable(m_table); }

void ValuesEncoder::encode(const PatchValues& values, bool bit99, int channel, SysExMessage& dump) {
    fillFixedDumpBytes(dump);
    m_scratch.setValues(kFirstPatch, values);
    DumpEncoder(m_scratch, m_table, dump).EncodePatch(kFirstPatch);
    dump.Bytes[DumpBytes::kHeaderOffset] = PatchTransmission::headerByte(bit99, channel);
}
