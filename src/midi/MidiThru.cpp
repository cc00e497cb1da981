#include "MidiThru.h"

#include "MidiPorts.h"
#include "core/QuenlorCode.h"

void MIDIInput1_Message(const QuenlorCode& code, MidiPorts& ports) {
    MIDIInput& in = ports.MIDIInput1;
    while (in.messageCount() > 0) {
        const ShortMessage m = in.oldestMessage();
        // Forwarded as received: no channel filter, no change of channel or data.
        if (code.MIDIThru == kOn)
            ports.MIDIOutput1.sendShort(m.Status, m.Data1, m.Data2, OutputKind::Forwarded);
        in.dropMessage();
    }
}
