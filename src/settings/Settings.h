#pragma once

#include <QString>

#include <cstdint>

class ParameterLocks;
class QuenlorCode;
class MIDIUtilities;
class MidiPorts;
class SettingsStore;

// Sets the settings to their defaults, overrides them with what the store holds,
// selects the MIDI devices by their stored product names and opens them. A stored
// device name that no device carries selects the default device (input 0, output
// -1), and a stored channel outside 1..16 is taken as 1.
void LoadSettings(QuenlorCode& code, MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store);
// The two halves of LoadSettings: the settings but the devices, and the devices, which
// reaches the MIDI system.
void LoadSettingValues(QuenlorCode& code, MidiPorts& ports, SettingsStore& store);
void OpenStoredDevices(MIDIUtilities& midi, MidiPorts& ports, SettingsStore& store);

// Writes the settings, with the product names of the open devices: the eight of the
// sections "Update" and "MIDI", then the two of "Timing" and the one of "Library".
void SaveSettings(const QuenlorCode& code, MidiPorts& ports, SettingsStore& store);

// The product name of the output device the settings name; empty when they name none.
QString storedOutputName(SettingsStore& store);

// Hands the timing settings to the output port.
void applyTiming(const QuenlorCode& code, MidiPorts& ports);

// A stored pause as the number rule reads it, brought within 0..2000; no number gives 0.
int16_t readPauseAfterPatch(const QString& text);

// The locked parameters, section "Locks", key "Parameters": their numbers, comma-separated.
// What is no parameter number in a hand-edited list is passed over.
ParameterLocks LoadLocks(SettingsStore& store);
void SaveLocks(const ParameterLocks& locks, SettingsStore& store);
