#include "MidiThru.h"

#include "MidiPorts.h"
#include "core/QuenlorCode.h"

void MIDIInput1_Message(const QuenlorCode& code, MidiPorts& ports, const InputUse& use) {
    MIDIInput& in = ports.MIDIInput1;
    while (in.messageCount() > 0) {
        const ShortMessage m = in.oldestMessage();
        const bool taken = use && use(m);
        // Forwarded as received: no channel filter, no change of channel or data.
        if (!taken && code.MIDIThru == kOn)
            ports.MIDIOutput1.sendShort(m.Status, m.Data1, m.Data2, OutputKind::Forwarded);
        in.dropMessage();
    }
}
