#pragma once

#include "ParameterLocks.h"
#include "PatchBank.h"
#include "SoundRandom.h"

#include <vector>

// New sounds from old ones: mutating, randomizing, morphing and breeding patches. Every
// result is a patch the editors could have written (isValidPatch), and a switch group
// changes as one choice, never member by member. Locked parameters keep what they hold,
// as the instrument plays them: a locked value out of range (only a hand-made file holds
// one) is brought to the value the instrument gets for it. Each action draws the same
// random numbers whatever is locked, so that with one seed a lock changes nothing but the
// parameters it holds.
namespace SoundRules {

inline constexpr int kMostPercent = 100;
inline constexpr int kMorphMiddle = 50; // where two-state parameters and choices turn to B
inline constexpr int kMostParents = 3;

// Each value inside its parameter's range; each octave group with exactly one member on,
// each LFO waveform group with one or none.
bool isValidPatch(const PatchValues& values);

// Moves each unlocked level by a normal deviate with the standard deviation
// amount % of (range + 1) / 2, rounded and kept in range; flips each unlocked two-state
// parameter, and changes each unlocked choice to another one, with the probability
// amount % / 2. amount 0..100; 0 only brings the unlocked parameters into range.
PatchValues mutatePatch(const PatchValues& patch, int amount, const ParameterLocks& locks,
                        SoundRandom& random);

// Every unlocked parameter any of its values, every one as likely; every unlocked
// choice any of its choices.
PatchValues randomizePatch(const PatchValues& patch, const ParameterLocks& locks,
                           SoundRandom& random);

// The patch `position` % of the way from a to b: levels round(a + t (b - a)), halves to
// the even neighbour; two-state parameters and choices a's below 50 and b's from 50 on.
// Locked parameters keep the target's own. position 0..100.
PatchValues morphPatches(const PatchValues& a, const PatchValues& b, const PatchValues& target,
                         int position, const ParameterLocks& locks);

// A child of one to three parents: each parameter, a choice as one, from a parent picked
// at random, then the whole mutated by amount %. Locked parameters come from `base`.
PatchValues breedChild(const std::vector<PatchValues>& parents, const PatchValues& base,
                       int amount, const ParameterLocks& locks, SoundRandom& random);

// `made` with each locked parameter (a choice as one) taken from `own` as the instrument
// plays it: a level inside its range, the nearest end for one outside; a two-state
// parameter on only at 1; a choice the member the dump carries, or the first where one
// is needed and none is set. Keep in the Breed window writes a variation this way.
PatchValues keepLocked(const PatchValues& made, const PatchValues& own, const ParameterLocks& locks);

} // namespace SoundRules
