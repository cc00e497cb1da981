#pragma once

#include "CaptureClient.h"

#include "core/QuenlorCode.h"
#include "midi/JackMidiBackend.h"
#include "midi/MidiThru.h"
#include "support/SystemMidiWorld.h"

#include <QTest>

// The program's MIDI side on the test's JACK server, with the patch model that sends
// through it.
struct JackWorld : SystemMidiWorld<JackMidiBackend> {
    using Bytes = CaptureClient::Bytes;
    QuenlorCode code;

    JackWorld() : SystemMidiWorld(JackMidiBackend::open()) {
        if (!backend)
            return;
        code.Midi = midi;
        code.InitPatchModel();
    }
    // Opens the capture client's ports as the program's devices; false when the capture
    // client has not learnt of both connections within a few seconds.
    bool openCapture(const CaptureClient& capture) {
        midi->OpenMidiIn("capture:output");
        midi->OpenMidiOut("capture:input");
        return QTest::qWaitFor([&] {
            return capture.connected("capture:output", "Quenlor:MIDI In") &&
                   capture.connected("Quenlor:MIDI Out", "capture:input");
        });
    }
    // MIDI thru on, and the input port's messages handled as the main window handles them.
    void forwardInput() {
        code.MIDIThru = kOn;
        QObject::connect(&ports->MIDIInput1, &MIDIInput::Message, &ports->MIDIInput1,
                         [this] { MIDIInput1_Message(code, *ports); });
    }
    // The dump sent last.
    Bytes dump() const { return Bytes(code.PatchDump.data(), code.PatchDump.data() + 80); }
    // Sends patch 1 with parameter 10 at `value`, as a slider's change does; its dump.
    Bytes edit(int value) {
        code.PatchBank(1, 10) = int16_t(value);
        code.SendPatch(1);
        return dump();
    }
};
