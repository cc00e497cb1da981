#include "MidiThru.h"

#include "MidiPorts.h"
#include "core/QuenlorCode.h"

void MIDIInput1_Message(const QuenlorCode& code, MidiPorts& ports, const InputUse& use) {
    MIDIInput& in = ports.MIDIInput1;
    // Forwarded as received: no channel filter, no change of channel or data.
    const PassOn passOn = [&code, &ports](const ShortMessage& m) {
        if (code.MIDIThru == kOn)
            ports.MIDIOutput1.sendShort(m.Status, m.Data1, m.Data2, OutputKind::Forwarded);
    };
    while (in.messageCount() > 0) {
        const ShortMessage m = in.oldestMessage();
        if (!use || !use(m, passOn)) passOn(m);
        in.dropMessage();
    }
}
