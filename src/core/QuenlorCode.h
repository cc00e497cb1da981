#pragma once

#include "ControllerMap.h"
#include "MidiSink.h"
#include "ParameterTable.h"
#include "PatchBank.h"
#include "PatchDump.h"

#include <cstdint>

// On/off values as the program keeps them.
inline constexpr int16_t kOn = -1;
inline constexpr int16_t kOff = 0;

// The program's shared state: the bank, the parameter table, the dump buffer and the
// settings, with the operations of the patch model. main() owns one; every window
// gets it by reference, and each test starts from a fresh one.
class QuenlorCode {
public:
    Bank PatchBank;
    ParamTable ParameterTable;
    SysExMessage PatchDump;

    int16_t SelectedPatch = 0;  // the patch an editor window about to load will show
    int16_t EditorReady = kOff; // gate of automatic sending
    int16_t RefreshPending = kOff;

    // Settings, as the settings store loads and saves them.
    int16_t AutoUpdate = kOff;
    int16_t SendToOne = kOn;
    int16_t MIDIChannelIn = 1;
    int16_t MIDIChannelOut = 1;
    int16_t MIDIThru = kOff;
    int16_t Bit99Compatible = 0;
    // How the output paces patches: the pause before a patch dump that follows another
    // patch (milliseconds, 0..2000), and whether a newer patch replaces a waiting one.
    int16_t PauseAfterPatch = 0;
    int16_t SendNewestOnly = kOn;
    // Whether the test note follows a patch auditioned from the library.
    int16_t PlayNoteWhenAuditioning = kOff;
    // The controllers that play parameters, and whether their messages go on through
    // MIDI thru as well.
    ControllerMap Controllers;
    int16_t ControllerPassThrough = kOff;

    // Where patches go; set by whoever owns the MIDI ports. Sends go nowhere without it.
    MidiSink* Midi = nullptr;

    // Builds the parameter table, clears the bank and fills the dump's fixed bytes.
    void InitPatchModel();
    void ClearPatch(int patch);
    void ClearBank();

    // Fills the dump's data area from the patch (header and fixed bytes untouched).
    void EncodePatch(int patch);

    // Encodes the patch and stamps the header byte from Bit99Compatible and the output
    // channel: the dump exactly as SendPatch sends it, for whoever writes it elsewhere.
    void preparePatchDump(int patch);

    // Prepares the patch's dump, sends it, then Program Change 0.
    void SendPatch(int patch);
    // Sends values that are not in the bank (a variation being auditioned) as SendPatch
    // sends a patch; the bank is not touched.
    void sendPatchValues(const PatchValues& values);

    // Called after a patch's values were written: sends it when automatic update is
    // on and no editor is filling its controls.
    void ParameterChanged(int patch);

    // The output channel as sent on the wire: a channel outside 1..16 can only come
    // from a damaged settings store and is taken as 1.
    int16_t outputChannel() const;

private:
    // The header byte from Bit99Compatible and the output channel.
    void stampHeader();
    // The prepared dump, then Program Change 0.
    void transmitPatchDump();
};

// A channel number 1..16, or 1 for anything else.
int16_t validChannel(int16_t channel);
