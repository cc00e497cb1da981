#pragma once

#include "ShortMessage.h"

#include <functional>

class QuenlorCode;
class MidiPorts;

// Sends a message out as MIDI thru does, when it is on.
using PassOn = std::function<void(const ShortMessage& message)>;
// What the program makes of a received message before MIDI thru: true when it took the
// message for itself, which then does not go on. A message it held back for a while,
// until a later one told what it was for, it gives back through `passOn`, before that
// later one goes on.
using InputUse = std::function<bool(const ShortMessage& message, const PassOn& passOn)>;

// The main window's handler of the input port's message event: empties the
// received-message queue, each message offered to `use` first and then, unless taken,
// sent out unchanged when MIDI thru is on.
void MIDIInput1_Message(const QuenlorCode& code, MidiPorts& ports, const InputUse& use = {});
