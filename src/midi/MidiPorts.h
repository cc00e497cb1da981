#pragma once

#include "MIDIInput.h"
#include "MIDIOutput.h"
#include "MidiBackend.h"

// The two port objects of the main window, on one MIDI system.
class MidiPorts {
public:
    explicit MidiPorts(MidiBackend& backend) : MIDIInput1(backend), MIDIOutput1(backend) {}

    MIDIInput MIDIInput1;
    MIDIOutput MIDIOutput1;
};
