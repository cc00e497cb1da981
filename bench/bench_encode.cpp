#include "core/QuenlorCode.h"

#include <benchmark/benchmark.h>

// EncodePatch of one patch holding typical values.
static void BM_EncodePatch(benchmark::State& state) {
    QuenlorCode code;
    code.InitPatchModel();
    for (int p = 1; p <= 63; ++p)
        code.PatchBank(1, p) = int16_t(p % (code.ParameterTable.MaxValue(p) + 1));
    for (auto _ : state) {
        code.EncodePatch(1);
        benchmark::DoNotOptimize(code.PatchDump.Bytes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodePatch);

BENCHMARK_MAIN();
