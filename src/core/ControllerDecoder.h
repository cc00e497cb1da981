#pragma once

#include "ControllerMap.h"

#include <array>
#include <cstdint>
#include <optional>

// A controller moved: its value, 0..127, or 0..16383 for an NRPN. An NRPN's value comes
// in two messages, the coarse part (data entry, CC 6) and then, from 14-bit controllers,
// the fine part (CC 38); the coarse one clears the fine part.
struct ControllerMove {
    Controller Source;
    int Value = 0;
    bool Fine = false; // completed by the fine part
};

// Reads controller moves out of the Control Change messages that arrive, channel by
// channel: a plain Control Change is a move of its own; CC 99 and 98 select an NRPN
// (its number's upper and lower seven bits), whose value the data entry messages then
// carry. Data entry after CC 101 and 100 sets an RPN (such as the pitch bend range), which
// is no controller of ours; with nothing selected, or after the null selection (127, 127),
// data entry is a plain Control Change like any other.
class ControllerDecoder {
public:
    static constexpr int kDataEntry = 6;
    static constexpr int kDataEntryFine = 38;
    static constexpr int kDataIncrement = 96;
    static constexpr int kDataDecrement = 97;
    static constexpr int kNrpnLower = 98;
    static constexpr int kNrpnUpper = 99;
    static constexpr int kRpnLower = 100;
    static constexpr int kRpnUpper = 101;
    // The NRPN number that both halves at 127 make: it selects nothing.
    static constexpr int kNullNrpn = 16383;

    // The move a message makes; nothing for a message that moves no controller.
    std::optional<ControllerMove> read(uint8_t status, uint8_t data1, uint8_t data2);

private:
    enum class Selected : uint8_t { None, Nrpn, Rpn };
    struct Channel {
        Selected Kind = Selected::None;
        uint8_t Upper = 0; // the selected number's upper and lower seven bits
        uint8_t Lower = 0;
        uint8_t Coarse = 0; // the last data entry
    };
    void select(Channel& channel, Selected kind, bool upper, uint8_t bits);
    std::array<Channel, Controller::kChannels> m_channels{};
};
