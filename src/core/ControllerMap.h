#pragma once

#include "ParameterTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A knob, fader or button of a MIDI controller as the program tells them apart: a Control
// Change number or an NRPN number, on one channel.
struct Controller {
    enum class Kind : uint8_t { ControlChange, Nrpn };
    static constexpr int kChannels = 16;
    static constexpr int kLastControlChange = 127;
    static constexpr int kLastNrpn = 16383;

    int Channel = 1; // 1..16
    Kind Type = Kind::ControlChange;
    int Number = 0; // 0..127, or 0..16383 for an NRPN

    // The largest value the controller sends: 127, or 16383 for an NRPN's 14 bits.
    int top() const { return Type == Kind::Nrpn ? kLastNrpn : kLastControlChange; }
    bool operator==(const Controller& o) const {
        return Channel == o.Channel && Type == o.Type && Number == o.Number;
    }
    bool operator!=(const Controller& o) const { return !(*this == o); }
};

// How a controller's value moves its parameter: to the place the value has in the
// controller's range, or by steps, as endless encoders send them (1..63 up and 127..65
// down, or 65..127 up and 63..1 down around 64).
enum class ControllerMode : uint8_t { Absolute, RelativeTwos, Relative64 };

struct ControllerMapping {
    Controller Source;
    ControllerMode Mode = ControllerMode::Absolute;
    bool operator==(const ControllerMapping& o) const {
        return Source == o.Source && Mode == o.Mode;
    }
};

// The controllers that play parameters: at most one for a parameter, and one parameter
// for a controller. A switch group is one choice, played as a whole under the number of
// its first member, whichever member it is asked for.
class ControllerMap {
public:
    // The parameter that plays `parameter`: its group's first member, or itself.
    static int target(int parameter);
    // Whether a controller can play a parameter at all: the Control Changes that select an
    // NRPN or RPN or carry its value (CC 98..101, 6 and 38) never arrive as a plain
    // controller's move, and NRPN 16383 selects nothing.
    static bool playable(const Controller& source);

    // The mapping of a parameter (or of its group); nothing for none or for no parameter.
    std::optional<ControllerMapping> mapping(int parameter) const;
    bool mapped(int parameter) const { return mapping(parameter).has_value(); }
    // The parameter a controller plays, 0 for none.
    int parameterOf(const Controller& source) const;
    // The parameters played, ascending (a group by its first member).
    std::vector<int> parameters() const;
    bool empty() const { return parameters().empty(); }

    // The controller plays the parameter from now on, and no longer the one it played
    // before, whose number is returned (0 for none). Nothing happens for no parameter
    // or a controller that cannot play.
    int bind(int parameter, const ControllerMapping& mapping);
    void forget(int parameter);
    void setMode(int parameter, ControllerMode mode);
    void clear() { m_mappings = {}; }

    bool operator==(const ControllerMap& o) const { return m_mappings == o.m_mappings; }
    bool operator!=(const ControllerMap& o) const { return !(*this == o); }

    // How the settings keep a mapping: "1 cc 74 absolute", "16 nrpn 1234 relative-64".
    static std::string text(const ControllerMapping& mapping);
    // Reads such a text, words apart by blanks; nothing for anything else, a controller
    // that cannot play among it.
    static std::optional<ControllerMapping> fromText(std::string_view text);
    // The settings key of a parameter, "P19", and the parameter a key names (1..63).
    static std::string key(int parameter);
    static std::optional<int> parameterOfKey(std::string_view key);
    static const char* modeText(ControllerMode mode);

private:
    std::array<std::optional<ControllerMapping>, kParameterSlots> m_mappings{};
};
