#include "QuenlorCode.h"

#include "DumpEncoder.h"
#include "PatchTransmission.h"

int16_t validChannel(int16_t channel) { return channel >= 1 && channel <= 16 ? channel : 1; }

void QuenlorCode::InitPatchModel() {
    BuildParameterTable(ParameterTable);
    ClearBank();
    fillFixedDumpBytes(PatchDump);
}

void QuenlorCode::ClearPatch(int patch) {
    PatchBank(patch, 0) = 0;
    PatchBank.setValues(patch, PatchTransmission::blankPatch());
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
    PatchDump.Bytes[DumpBytes::kHeaderOffset] =
        PatchTransmission::headerByte(Bit99Compatible == 1, outputChannel());
}

void QuenlorCode::preparePatchDump(int patch) {
    EncodePatch(patch);
    stampHeader();
}

void QuenlorCode::transmitPatchDump() {
    if (!Midi)
        return;
    Midi->SendSysEx(PatchDump);
    Midi->SendProgramChange(outputChannel(), PatchTransmission::kFirstProgram);
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
