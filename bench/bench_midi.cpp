#include "core/QuenlorCode.h"
#include "midi/OutputQueue.h"
#include "support/MemoryMidiWorld.h"

#include "midi/CaptureClient.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>

#include <chrono>
#include <cmath>
#include <thread>

// SendPatch through the port component: encoding, the dump and the Program Change.
static void sendPatches(benchmark::State& state, MidiWorld& world, const QString& output,
                        MemoryMidiBackend* record) {
    MIDIUtilities& midi = world.midi();
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
            record->clearRecord();
    }
    state.SetItemsProcessed(state.iterations());
}

static void BM_SendPatchMemory(benchmark::State& state) {
    MemoryMidiWorld world({}, {"Bit01:in"});
    world.memory().Sent.reserve(2 * 4096);
    sendPatches(state, world, "Bit01:in", &world.memory());
}
BENCHMARK(BM_SendPatchMemory);

// The output queue's own work for one message: queued, found due, taken.
static void BM_OutputQueue(benchmark::State& state) {
    OutputQueue queue;
    const uint8_t note[] = {0x90, 60, 100};
    OutputQueue::Time now{0};
    OutputQueue::Taken taken;
    for (auto _ : state) {
        queue.push(note, sizeof note, OutputKind::Forwarded);
        now = *queue.nextDue();
        queue.take(now, now, taken);
        benchmark::DoNotOptimize(taken);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OutputQueue);

// One forwarded message through the output port on the in-memory system, whose clock
// leaps to each message's time: the port's whole cost per message, the recording of the
// message by the in-memory system included.
static void BM_ForwardMemory(benchmark::State& state) {
    MemoryMidiWorld world({}, {"Bit01:in"});
    MemoryMidiBackend& backend = world.memory();
    backend.Sent.reserve(4096);
    world.midi().OpenMidiOut("Bit01:in");
    int sends = 0;
    for (auto _ : state) {
        world.ports().MIDIOutput1.sendShort(0x90, 60, 100, OutputKind::Forwarded);
        if (++sends % 4096 == 0) backend.Sent.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ForwardMemory);

// Needs a running JACK server (jackd -d dummy); the dumps go out of the program's
// own output port, one process cycle at a time.
static void BM_SendPatchJack(benchmark::State& state) {
    std::unique_ptr<MidiBackend> backend = openJackMidi();
    if (!backend) {
        state.SkipWithError("no JACK server running");
        return;
    }
    MidiWorld world(std::move(backend));
    sendPatches(state, world, MidiBackend::defaultOutputName(), nullptr);
}
BENCHMARK(BM_SendPatchJack)->UseRealTime();

// Needs a running JACK server. Bursts of 32 notes go out of the program's output into a
// client that records the frame of each; every note is due 960 us (its cable time) after
// the one before, the first when it is sent. Reports how far each arrived from its due
// frame: the goal is within one process period.
static void BM_JackTimingError(benchmark::State& state) {
    std::unique_ptr<MidiBackend> backend = openJackMidi();
    CaptureClient capture;
    if (!backend || !capture.isOpen()) {
        state.SkipWithError("no JACK server running");
        return;
    }
    MidiWorld world(std::move(backend));
    MIDIOutput& out = world.ports().MIDIOutput1;
    out.open(); // the default output, connected here to the capture client
    jack_connect(capture.client(), "Quenlor:MIDI Out", "capture:input");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const jack_nframes_t rate = capture.sampleRate();
    const double period = 1e6 * jack_get_buffer_size(capture.client()) / rate;
    constexpr int kBurst = 32;
    double worst = 0, total = 0;
    int64_t messages = 0;
    for (auto _ : state) {
        capture.clearReceived();
        const jack_time_t sent = jack_get_time();
        for (int i = 0; i < kBurst; ++i)
            out.sendShort(0x90, i, 100);
        while (capture.receivedCount() < std::size_t(kBurst))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::vector<jack_nframes_t> frames = capture.receivedFrames();
        for (int i = 0; i < kBurst; ++i) {
            const jack_time_t due = sent + jack_time_t(i) * 960;
            const double error =
                1e6 * int32_t(frames[std::size_t(i)] - jack_time_to_frames(capture.client(), due)) /
                rate;
            worst = std::max(worst, std::abs(error));
            total += std::abs(error);
            ++messages;
        }
    }
    state.counters["period_us"] = period;
    state.counters["worst_error_us"] = worst;
    state.counters["mean_error_us"] = total / double(std::max<int64_t>(messages, 1));
    state.counters["worst_in_periods"] = worst / period;
}
BENCHMARK(BM_JackTimingError)->UseRealTime()->Iterations(50);

BENCHMARK_MAIN();
