// The plugin's run() in a host's hands (lilv), and the gaps it leaves between messages
// at the sample rates and block sizes hosts use. Goals: a 256-frame block in 2 us with
// nothing to send and in 20 us with a patch to encode; every gap the cable's time or
// more and never more than one frame over it.
#include "core/CablePacing.h"
#include "plugin/PluginHost.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

namespace {
const std::vector<std::string> kBundles = {QUENLOR_LV2_BUNDLE};
constexpr uint32_t kBlock = 256;

// A host that has sent the recall and has nothing waiting.
void settle(PluginHost& host) {
    for (int b = 0; b < 40; ++b) host.run(kBlock);
    host.clearEvents();
}

void nothingToSend(benchmark::State& state) {
    PluginHost host(48000, kBundles);
    settle(host);
    for (auto _ : state) host.run(kBlock);
    state.counters["events"] = double(host.events().size());
}
BENCHMARK(nothingToSend)->Unit(benchmark::kMicrosecond);

void blockThatEncodesAPatch(benchmark::State& state) {
    PluginHost host(48000, kBundles);
    settle(host);
    int value = 0;
    for (auto _ : state) {
        host.setControl("p19", float(++value % 64));
        host.run(kBlock); // the dump starts in this block
        state.PauseTiming();
        for (int b = 0; b < 6; ++b) host.run(kBlock); // its Program Change; the cable free
        host.clearEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(blockThatEncodesAPatch)->Unit(benchmark::kMicrosecond);

// Five seconds of a control changing at every block and a note every 30 ms: for each
// pair of messages in a row, how far the gap lies beyond the first one's cable time.
void gaps() {
    std::printf("%8s %6s %8s %10s %12s %14s\n", "rate", "block", "messages", "short", "over (max)",
                "over < 1 frame");
    for (uint32_t rate : {44100u, 48000u, 96000u})
        for (uint32_t block : {32u, 64u, 128u, 256u, 512u, 1024u, 2048u, 4096u}) {
            PluginHost host(rate, kBundles);
            uint64_t frame = 0;
            uint64_t nextNote = 0;
            for (int b = 0; frame < 5ull * rate; ++b, frame += block) {
                host.setControl("p19", float(b % 64));
                if (frame >= nextNote) {
                    host.feed(0, {0x90, 60, 100});
                    nextNote += rate * 30 / 1000;
                }
                host.run(block);
            }
            const auto& events = host.events();
            int shortGaps = 0;
            double overMax = 0;
            for (std::size_t i = 1; i < events.size(); ++i) {
                const int64_t gap = int64_t(events[i].Frame - events[i - 1].Frame);
                const int64_t cable = CablePacing::cableMicros(events[i - 1].Bytes.size());
                const double gapUs = double(gap) * 1e6 / rate;
                if (gapUs < double(cable)) ++shortGaps;
                // Only messages that waited: the next patch is always pending here.
                if (gap <= int64_t(CablePacing::framesFor(cable, rate)) + 1) {
                    overMax = std::max(overMax, gapUs - double(cable));
                }
            }
            std::printf("%8u %6u %8zu %10d %9.1f us %14s\n", rate, block, events.size(), shortGaps,
                        overMax, overMax < 1e6 / rate ? "yes" : "NO");
        }
}
} // namespace

int main(int argc, char** argv) {
    gaps();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
