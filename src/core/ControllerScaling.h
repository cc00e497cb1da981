#pragma once

#include "ControllerDecoder.h"

#include <cstdint>

// What a controller's move does to the parameter it plays, in one patch's values.
// - Absolute: a level goes to round(value × MaxValue / top), top being 127 (16383 for an
//   NRPN); a two-state parameter is on from the middle of the range (64, or 8192); a
//   switch group's choices share the range in equal parts, in the order the normal
//   editor lists them (a waveform group's "None" last).
// - Relative: each message moves a level, a two-state parameter or a choice by the steps it
//   sends, up or down, stopping at the ends. An NRPN's steps are read from its coarse part
//   alone, as seven bits; its fine part moves nothing.
namespace ControllerScaling {

// The steps one value of a relative controller sends (0..127): two's complement, 1..63 up
// and 127..64 down; or around 64, 65..127 up and 63..0 down. 0 in Absolute.
int relativeSteps(ControllerMode mode, int value);

// Sets parameter `parameter` (its whole group, for a member of a switch group) in
// `values`, a patch's 64 cells. True when a value changed.
bool apply(int16_t* values, int parameter, ControllerMode mode, const ControllerMove& move);

} // namespace ControllerScaling
