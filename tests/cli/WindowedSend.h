#pragma once

#include "core/QuenlorCode.h"
#include "storage/BankCommands.h"
#include "storage/FakeStorageHost.h"
#include "support/MemoryMidiWorld.h"

#include <QString>

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The bytes the windowed program sends for a patch of a file: Open Bank (or, for a
// patch file, Open Patch into the patch) through the bank commands, then SendPatch
// through the port layer on an in-memory MIDI system.
inline std::vector<Bytes> sentByTheProgram(const QString& path, int patch, int channel, int bit99) {
    MemoryMidiWorld world({}, {"Synth"});
    MIDIUtilities& midi = world.midi();
    midi.OpenMidiOut("Synth");
    QuenlorCode code;
    code.InitPatchModel();
    code.Midi = &midi;
    FakeStorageHost host;
    BankCommands commands(code, host);
    host.answerOpen(path.toStdString());
    if (path.endsWith(".b01"))
        commands.OpenPatchFile(patch);
    else
        commands.OpenBank();
    world.memory().clearRecord();
    code.MIDIChannelOut = static_cast<int16_t>(channel);
    code.Bit99Compatible = static_cast<int16_t>(bit99);
    code.SendPatch(patch);
    return world.memory().sentBytes();
}
