#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "midi/MemoryMidiBackend.h"
#include "midi/MidiPorts.h"
#include "midi/OutputQueue.h"

#include <benchmark/benchmark.h>

// SendPatch through the port component: encoding, the dump and the Program Change.
static void sendPatches(benchmark::State& state, MidiBackend& backend, const QString& output,
                        MemoryMidiBackend* record) {
    MidiPorts ports(backend);
    MIDIUtilities midi;
    midi.AttachMidiWindow(ports);
    QuenlorCode code;
    code.InitPatchModel();
    code.Midi = &midi;
    for (int p = 1; p <= 63; ++p)
        code.PatchBank(1, p) = int16_t(p % (code.ParameterTable.MaxValue(p) + 1));
    midi.OpenMidiOut(output);
    int sends = 0;
    for (auto _ : state) {
        code.SendPatch(1);
        // The in-memory system keeps every message; empty it now and then.
        if (record && ++sends % 4096 == 0)
            record->ClearRecord();
    }
    state.SetItemsProcessed(state.iterations());
}

static void BM_SendPatchMemory(benchmark::State& state) {
    MemoryMidiBackend backend({}, {"Bit01:in"});
    backend.Sent.reserve(2 * 4096);
    sendPatches(state, backend, "Bit01:in", &backend);
}
BENCHMARK(BM_SendPatchMemory);

// The output queue's own work for one message: queued, found due, taken.
static void BM_OutputQueue(benchmark::State& state) {
    OutputQueue queue;
    const uint8_t note[] = {0x90, 60, 100};
    OutputQueue::Time now{0};
    OutputQueue::Taken taken;
    for (auto _ : state) {
        queue.Push(note, sizeof note, OutputKind::Forwarded);
        now = *queue.NextDue();
        queue.Take(now, {}, taken);
        benchmark::DoNotOptimize(taken);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OutputQueue);

// One forwarded message through the output port on the in-memory system, whose clock
// leaps to each message's time: the port's whole cost per message, the recording of the
// message by the in-memory system included.
static void BM_ForwardMemory(benchmark::State& state) {
    MemoryMidiBackend backend({}, {"Bit01:in"});
    backend.Sent.reserve(4096);
    MidiPorts ports(backend);
    MIDIUtilities midi;
    midi.AttachMidiWindow(ports);
    midi.OpenMidiOut("Bit01:in");
    int sends = 0;
    for (auto _ : state) {
        ports.MIDIOutput1.SendShort(0x90, 60, 100, OutputKind::Forwarded);
        if (++sends % 4096 == 0)
            backend.Sent.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ForwardMemory);

// Needs a running JACK server (jackd -d dummy); the dumps go out of the program's
// own output port, one process cycle at a time.
static void BM_SendPatchJack(benchmark::State& state) {
    std::unique_ptr<MidiBackend> backend = OpenJackMidi();
    if (!backend) {
        state.SkipWithError("no JACK server running");
        return;
    }
    sendPatches(state, *backend, MidiBackend::DefaultOutputName(), nullptr);
}
BENCHMARK(BM_SendPatchJack)->UseRealTime();

BENCHMARK_MAIN();
