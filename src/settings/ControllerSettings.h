#pragma once

class QuenlorCode;
class SettingsStore;

// The controllers that play parameters, kept in section "Controllers" of the settings
// store: "P<parameter>" = "<channel> cc <number> <mode>" (or "nrpn") for each parameter
// played, a switch group under its first member, and "PassThrough" = "Yes" or "No".

// Reads the section into the code's controllers and pass-through (none and "No" when
// missing). What cannot be read is passed over: a key that names no parameter, a value
// that names no controller or one that can never play, a parameter or a controller named
// a second time, and the lines the store passed over itself. Returns how many lines were
// passed over.
int LoadControllers(QuenlorCode& code, SettingsStore& store);

// Writes the section as the code holds it: the key of every parameter played and
// PassThrough; the keys of parameters no longer played go.
void SaveControllers(const QuenlorCode& code, SettingsStore& store);

// Writes what one parameter's mapping is now: its key, or the key's removal (for a
// switch group, every member's key but the first goes).
void SaveController(const QuenlorCode& code, SettingsStore& store, int parameter);
