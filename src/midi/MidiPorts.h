#pragma once

#include "DeviceWatch.h"
#include "MIDIInput.h"
#include "MIDIOutput.h"
#include "MidiBackend.h"

// The two port objects of the main window, on one MIDI system, and the news of that
// system's devices coming and going.
class MidiPorts {
public:
    explicit MidiPorts(MidiBackend& backend)
        : MIDIInput1(backend), MIDIOutput1(backend), Devices(backend) {}

    MIDIInput MIDIInput1;
    MIDIOutput MIDIOutput1;
    DeviceWatch Devices;
};
