#include "QuenlorCode.h"

#include "DumpEncoder.h"

namespace {
constexpr int16_t kFirstProgram = 0; // the instrument's program 1
} // namespace

int16_t validChannel(int16_t channel) { return channel >= 1 && channel <= 16 ? channel : 1; }

void QuenlorCode::InitPatchModel() {
    BuildParameterTable(ParameterTable);
    ClearBank();
    fillFixedDumpBytes(PatchDump);
}

void QuenlorCode::ClearPatch(int patch) {
    for (int p = 0; p < kParameterSlots; ++p)
        PatchBank(patch, p) = 0;
    for (const SwitchGroup& group : kSwitchGroups)
        if (group.OneRequired)
            PatchBank(patch, group.FirstMember) = 1;
}

void QuenlorCode::ClearBank() {
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        ClearPatch(n);
}

void QuenlorCode::EncodePatch(int patch) {
    DumpEncoder(PatchBank, ParameterTable, PatchDump).EncodePatch(patch);
}

int16_t QuenlorCode::outputChannel() const { return validChannel(MIDIChannelOut); }

void QuenlorCode::stampHeader() {
    const int header = (Bit99Compatible == 1 ? 2 : 1) * 16 + (outputChannel() - 1);
    PatchDump.Bytes[DumpBytes::kHeaderOffset] = static_cast<uint8_t>(header);
}

void QuenlorCode::preparePatchDump(int patch) {
    EncodePatch(patch);
    stampHeader();
}

void QuenlorCode::transmitPatchDump() {
    if (!Midi)
        return;
    Midi->SendSysEx(PatchDump);
    Midi->SendProgramChange(outputChannel(), kFirstProgram);
}

void QuenlorCode::SendPatch(int patch) {
    preparePatchDump(patch);
    transmitPatchDump();
}

void QuenlorCode::sendPatchValues(const PatchValues& values) {
    // The encoder reads a bank; the values get one of their own for the moment.
    Bank scratch;
    scratch.setValues(kFirstPatch, values);
    DumpEncoder(scratch, ParameterTable, PatchDump).EncodePatch(kFirstPatch);
    stampHeader();
    transmitPatchDump();
}

void QuenlorCode::ParameterChanged(int patch) {
    if (AutoUpdate == kOff || EditorReady == kOff)
        return;
    SendPatch(patch);
}
