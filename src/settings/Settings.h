#pragma once

class QuenlorCode;
class MIDIUtilities;
class MidiPorts;
class SettingsStore;

// Sets the settings to their defaults, overrides them with what the store holds,
// selects the MIDI devices by their stored product names and opens them. A stored
// device name that no device carries selects the default device (input 0, output
// -1), and a stored channel outside 1..16 is taken as 1.
void LoadSettings(QuenlorCode& code, MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store);

// Writes the eight settings, with the product names of the open devices.
void SaveSettings(const QuenlorCode& code, MidiPorts& ports, SettingsStore& store);
