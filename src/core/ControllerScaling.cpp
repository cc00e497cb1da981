#include "ControllerScaling.h"

#include <algorithm>
#include <array>

namespace ControllerScaling {

namespace {
constexpr int kSevenBits = 128;
constexpr int kMiddle = 64;
constexpr int kBitsPerByte = 7;
constexpr std::size_t kMostMembers = 4;

constexpr bool membersFit() {
    for (const SwitchGroup& group : kSwitchGroups)
        if (static_cast<std::size_t>(group.Count) > kMostMembers) return false;
    return true;
}
static_assert(membersFit(), "a switch group has more members than apply() keeps");

// The choice a group's values show, as an index into its choices: the member on (the
// highest, as the dump carries it); with none on, "None" where the group has it, else the
// first member, as the editors show it.
int shownChoice(const SwitchGroup& group, const int16_t* values) {
    const int chosen = group.chosenMember(values);
    if (chosen >= 0) return chosen;
    return group.OneRequired ? 0 : group.Count;
}

// The steps a move sends, for the relative modes.
int stepsOf(ControllerMode mode, const ControllerMove& move) {
    if (move.Source.Type != Controller::Kind::Nrpn) return relativeSteps(mode, move.Value);
    return move.Fine ? 0 : relativeSteps(mode, move.Value >> kBitsPerByte);
}
} // namespace

int relativeSteps(ControllerMode mode, int value) {
    value &= kSevenBits - 1;
    switch (mode) {
    case ControllerMode::RelativeTwos:
        return value < kMiddle ? value : value - kSevenBits;
    case ControllerMode::Relative64:
        return value - kMiddle;
    case ControllerMode::Absolute:
        break;
    }
    return 0;
}

bool apply(int16_t* values, int parameter, ControllerMode mode, const ControllerMove& move) {
    if (parameter < kFirstParameter || parameter > kLastParameter) return false;
    const int top = move.Source.top();
    const int value = std::clamp(move.Value, 0, top);
    const bool absolute = mode == ControllerMode::Absolute;
    const int steps = absolute ? 0 : stepsOf(mode, move);

    if (const SwitchGroup* group = switchGroupOf(parameter)) {
        const int16_t* first = values + group->FirstMember;
        std::array<int16_t, kMostMembers> before{};
        std::copy(first, first + group->Count, before.begin());
        const int choices = group->choices();
        const int choice = absolute ? value * choices / (top + 1)
                                    : std::clamp(shownChoice(*group, values) + steps, 0, choices - 1);
        group->choose(values, choice);
        return !std::equal(first, first + group->Count, before.begin());
    }

    int16_t& cell = values[parameter];
    const int most = kParameterRows[static_cast<std::size_t>(parameter)].MaxValue;
    int next;
    if (absolute)
        next = most == 1 ? (value >= (top + 1) / 2 ? 1 : 0) : (2 * value * most + top) / (2 * top);
    else if (steps == 0)
        return false;
    else if (most == 1)
        next = steps > 0 ? 1 : 0;
    else
        next = std::clamp(std::clamp<int>(cell, 0, most) + steps, 0, most);
    if (cell == next) return false;
    cell = static_cast<int16_t>(next);
    return true;
}

} // namespace ControllerScaling
