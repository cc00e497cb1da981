#pragma once

class QuenlorCode;
class MidiPorts;

// The main window's handler of the input port's message event: empties the
// received-message queue, sending each message out unchanged when MIDI thru is on.
void MIDIInput1_Message(const QuenlorCode& code, MidiPorts& ports);
