#include "core/QuenlorCode.h"
#include "storage/BankCommands.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Windows that answer at once: the open dialog always picks the bank file, names live
// in an array, everything else does nothing.
class QuietHost : public StorageHost {
public:
    std::string File;
    std::array<std::string, 75> Names;
    int Messages = 0;

    std::string PatchName(int patch) override { return Names[patch]; }
    void SetPatchName(int patch, const std::string& name) override { Names[patch] = name; }
    void FillPatchList() override {}
    void selectFirstPatch() override {}
    int16_t OpenEditorKind(int) override { return 0; }
    void repaintEditor(int) override {}
    void SetMainCaption(const std::string&, const std::string&) override {}
    void clearBankFile() override {}
    std::string BankFileTitle() override { return {}; }
    std::string BankFilePath() override { return {}; }
    void SetStatusText(const std::string&) override {}
    void ShowBusyPointer() override {}
    void ShowNormalPointer() override {}
    std::optional<FileChoice> showOpenDialog(const std::string&, const std::string&) override {
        return FileChoice{File, "bench.bbk"};
    }
    std::optional<FileChoice> showSaveDialog(const std::string&, const std::string&) override {
        return FileChoice{File, "bench.bbk"};
    }
    void showMessage(const std::string&) override { ++Messages; }
};

// A bank of typical patches and names in a fresh temporary folder, automatic update off.
struct BenchWorld {
    QuenlorCode code;
    QuietHost host;
    BankCommands commands{code, host};
    std::string folder;

    BenchWorld() {
        code.InitPatchModel();
        code.EditorReady = kOn;
        code.AutoUpdate = kOff;
        for (int n = 1; n <= 74; ++n) {
            host.Names[n] = "Patch " + std::to_string(n);
            for (int p = 1; p <= 63; ++p)
                code.PatchBank(n, p) = int16_t((n * 7 + p) % (code.ParameterTable.MaxValue(p) + 1));
        }
        char pattern[] = "/tmp/quenlor-bench-XXXXXX";
        folder = ::mkdtemp(pattern) ? pattern : ".";
        host.File = folder + "/bench.bbk";
        commands.WriteBankFile(host.File);
    }
    ~BenchWorld() {
        ::unlink(host.File.c_str());
        ::rmdir(folder.c_str());
    }
};

} // namespace

// Open Bank of a 74-patch file without the dialog: reading, 74 status texts, names.
static void BM_OpenBank(benchmark::State& state) {
    BenchWorld world;
    for (auto _ : state) {
        world.commands.OpenBank();
        benchmark::DoNotOptimize(world.code.PatchBank(74, 63));
    }
    if (world.host.Messages > 0)
        state.SkipWithError("the bank could not be read");
}
BENCHMARK(BM_OpenBank)->Unit(benchmark::kMicrosecond);

// Writing a 74-patch bank file, replacing the old one only once the new one is on disk.
static void BM_WriteBankFile(benchmark::State& state) {
    BenchWorld world;
    for (auto _ : state)
        benchmark::DoNotOptimize(world.commands.WriteBankFile(world.host.File));
    if (world.host.Messages > 0)
        state.SkipWithError("the bank could not be written");
}
BENCHMARK(BM_WriteBankFile)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
