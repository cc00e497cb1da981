#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "midi/MemoryMidiBackend.h"
#include "midi/MidiPorts.h"

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
