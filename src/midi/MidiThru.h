#pragma once

#include "ShortMessage.h"

#include <functional>

class QuenlorCode;
class MidiPorts;

// What the program makes of a received message before MIDI thru: true when it took the
// message for itself, which then does not go on.
using InputUse = std::function<bool(const ShortMessage& message)>;

// The main window's handler of the input port's message event: empties the
// received-message queue, each message offered to `use` first and then, unless taken,
// sent out unchanged when MIDI thru is on.
void MIDIInput1_Message(const QuenlorCode& code, MidiPorts& ports, const InputUse& use = {});
