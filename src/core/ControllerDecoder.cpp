#include "ControllerDecoder.h"

namespace {
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kKindMask = 0xF0;
constexpr uint8_t kChannelMask = 0x0F;
constexpr uint8_t kDataMask = 0x7F;
constexpr uint8_t kNull = 127; // the number selecting nothing, in both halves
constexpr int kBitsPerByte = 7;
} // namespace

// A new kind of number starts from 0 in the half not sent yet.
void ControllerDecoder::select(Channel& channel, Selected kind, bool upper, uint8_t bits) {
    if (channel.Kind != kind) channel.Upper = channel.Lower = 0;
    channel.Kind = kind;
    (upper ? channel.Upper : channel.Lower) = bits;
    if (channel.Upper == kNull && channel.Lower == kNull) channel.Kind = Selected::None;
}

std::optional<ControllerMove> ControllerDecoder::read(uint8_t status, uint8_t data1,
                                                      uint8_t data2) {
    if ((status & kKindMask) != kControlChange) return std::nullopt;
    Channel& channel = m_channels[status & kChannelMask];
    const int number = data1 & kDataMask;
    const uint8_t value = data2 & kDataMask;
    ControllerMove move;
    move.Source.Channel = (status & kChannelMask) + 1;
    move.Source.Number = number;
    move.Value = value;

    switch (number) {
    case kNrpnUpper:
    case kNrpnLower:
        select(channel, Selected::Nrpn, number == kNrpnUpper, value);
        return std::nullopt;
    case kRpnUpper:
    case kRpnLower:
        select(channel, Selected::Rpn, number == kRpnUpper, value);
        return std::nullopt;
    case kDataEntry:
    case kDataEntryFine:
        if (channel.Kind == Selected::Rpn) return std::nullopt;
        if (channel.Kind == Selected::None) return move;
        if (number == kDataEntry) channel.Coarse = value;
        move.Source.Type = Controller::Kind::Nrpn;
        move.Source.Number = channel.Upper << kBitsPerByte | channel.Lower;
        move.Fine = number == kDataEntryFine;
        move.Value = channel.Coarse << kBitsPerByte | (move.Fine ? value : 0);
        return move;
    default:
        return move;
    }
}
