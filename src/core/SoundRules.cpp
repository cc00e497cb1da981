#include "SoundRules.h"

#include <algorithm>
#include <cstddef>

namespace SoundRules {
namespace {

constexpr int kPercent = 100;
// A flip or a new choice comes with the probability amount % / 2.
constexpr int kChanceDenominator = 2 * kPercent;

int16_t mostOf(int p) { return kParameterRows[static_cast<std::size_t>(p)].MaxValue; }

int16_t& at(PatchValues& values, int p) { return values[static_cast<std::size_t>(p)]; }
int16_t at(const PatchValues& values, int p) { return values[static_cast<std::size_t>(p)]; }

// A level as the editors would show it: inside its range.
int16_t levelOf(const PatchValues& values, int p) {
    return std::clamp<int16_t>(at(values, p), 0, mostOf(p));
}

// A two-state parameter counts as on only at 1.
int16_t stateOf(const PatchValues& values, int p) { return at(values, p) == 1 ? 1 : 0; }

// The choice a group's values make, as the instrument plays it: the winning member's
// index, or `Count` for "none"; a group that needs one and has none plays its first.
int choiceOf(const PatchValues& values, const SwitchGroup& group) {
    const int member = group.chosenMember(values.data());
    if (member >= 0) return member;
    return group.OneRequired ? 0 : group.Count;
}

// Calls unit(p, group) for each parameter and for each switch group once, at its first
// member, with group nullptr for a parameter of its own; in parameter order, which fixes
// the order of the random draws.
template <typename Unit>
void forEachUnit(Unit unit) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const SwitchGroup* group = switchGroupOf(p);
        if (!group || p == group->FirstMember) unit(p, group);
    }
}

// Copies one unit, a parameter or a whole group, from one patch to another.
void copyUnit(PatchValues& to, const PatchValues& from, int p, const SwitchGroup* group) {
    const int last = group ? group->lastMember() : p;
    for (int m = p; m <= last; ++m)
        at(to, m) = at(from, m);
}

// n / 100 rounded to the nearest whole number, halves to the even neighbour, as the
// program rounds everywhere; n is not negative.
int16_t percentRounded(int n) {
    int quotient = n / kPercent;
    const int rest = n % kPercent;
    if (rest > kPercent / 2 || (rest == kPercent / 2 && quotient % 2 == 1)) ++quotient;
    return static_cast<int16_t>(quotient);
}

} // namespace

bool isValidPatch(const PatchValues& values) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (at(values, p) < 0 || at(values, p) > mostOf(p)) return false;
    for (const SwitchGroup& group : kSwitchGroups) {
        int on = 0;
        for (int m = group.FirstMember; m <= group.lastMember(); ++m)
            on += at(values, m);
        if (on > 1 || (group.OneRequired && on == 0)) return false;
    }
    return true;
}

PatchValues mutatePatch(const PatchValues& patch, int amount, const ParameterLocks& locks,
                        SoundRandom& random) {
    const int percent = std::clamp(amount, 0, kMostPercent);
    PatchValues result = patch;
    forEachUnit([&](int p, const SwitchGroup* group) {
        // Drawn whether locked or not, so that locks leave the other draws as they were.
        if (group) {
            const bool change = random.chance(percent, kChanceDenominator);
            const int other = random.below(group->choices() - 1);
            if (locks.locked(p)) return;
            int choice = choiceOf(patch, *group);
            // Any choice but the current one, every one as likely.
            if (change) choice = other >= choice ? other + 1 : other;
            group->choose(result.data(), choice);
        } else if (mostOf(p) == 1) {
            const bool flip = random.chance(percent, kChanceDenominator);
            if (locks.locked(p)) return;
            at(result, p) = static_cast<int16_t>(stateOf(patch, p) ^ (flip ? 1 : 0));
        } else {
            // Standard deviation amount % * (range + 1) / 2.
            const int step = random.normal(int64_t(percent) * (mostOf(p) + 1), 2 * kPercent);
            if (locks.locked(p)) return;
            at(result, p) = static_cast<int16_t>(std::clamp(levelOf(patch, p) + step, 0, int(mostOf(p))));
        }
    });
    return keepLocked(result, patch, locks);
}

PatchValues randomizePatch(const PatchValues& patch, const ParameterLocks& locks,
                           SoundRandom& random) {
    PatchValues result = patch;
    forEachUnit([&](int p, const SwitchGroup* group) {
        const int value = random.below(group ? group->choices() : mostOf(p) + 1);
        if (locks.locked(p)) return;
        if (group)
            group->choose(result.data(), value);
        else
            at(result, p) = static_cast<int16_t>(value);
    });
    return keepLocked(result, patch, locks);
}

PatchValues morphPatches(const PatchValues& a, const PatchValues& b, const PatchValues& target,
                         int position, const ParameterLocks& locks) {
    const int t = std::clamp(position, 0, kMostPercent);
    const PatchValues& near = t < kMorphMiddle ? a : b;
    PatchValues result = target;
    forEachUnit([&](int p, const SwitchGroup* group) {
        if (locks.locked(p)) return;
        if (group)
            group->choose(result.data(), choiceOf(near, *group));
        else if (mostOf(p) == 1)
            at(result, p) = stateOf(near, p);
        else
            at(result, p) = percentRounded(levelOf(a, p) * (kPercent - t) + levelOf(b, p) * t);
    });
    return keepLocked(result, target, locks);
}

PatchValues breedChild(const std::vector<PatchValues>& parents, const PatchValues& base,
                       int amount, const ParameterLocks& locks, SoundRandom& random) {
    PatchValues child = base;
    const int count = std::clamp(static_cast<int>(parents.size()), 0, kMostParents);
    forEachUnit([&](int p, const SwitchGroup* group) {
        const int parent = random.below(count);
        if (count > 0 && !locks.locked(p))
            copyUnit(child, parents[static_cast<std::size_t>(parent)], p, group);
    });
    return mutatePatch(child, amount, locks, random);
}

PatchValues keepLocked(const PatchValues& made, const PatchValues& own, const ParameterLocks& locks) {
    PatchValues result = made;
    forEachUnit([&](int p, const SwitchGroup* group) {
        if (!locks.locked(p)) return;
        if (group)
            group->choose(result.data(), choiceOf(own, *group));
        else
            at(result, p) = mostOf(p) == 1 ? stateOf(own, p) : levelOf(own, p);
    });
    return result;
}

} // namespace SoundRules
