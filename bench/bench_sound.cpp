#include "WindowBenchmarks.h"
#include "sound/MorphWindow.h"
#include "editors/PatchWriter.h"
#include "core/SoundRules.h"
#include "editors/BankHistory.h"
#include "editors/LockedParameters.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "support/EditorWorld.h"

#include <QApplication>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QSlider>

// What new sounds cost: a mutation of one patch, a generation of 16 variations (the first
// one, mutations, and a bred one, from three parents), and one position of a morph drag
// as the windows take it: the target written, the undo step merged, the open editor
// refilled and painted, the patch sent.
namespace {

using namespace SoundRules;

PatchValues livelyPatch() {
    SoundRandom random(24);
    QuenlorCode code;
    code.InitPatchModel();
    return randomizePatch(code.PatchBank.values(kFirstPatch), {}, random);
}

void BM_Mutate(benchmark::State& state) {
    SoundRandom random(1);
    PatchValues patch = livelyPatch();
    for (auto _ : state) {
        patch = mutatePatch(patch, 10, {}, random);
        benchmark::DoNotOptimize(patch);
    }
}

void BM_FirstGeneration(benchmark::State& state) {
    SoundRandom random(2);
    const PatchValues base = livelyPatch();
    std::array<PatchValues, 16> generation{};
    for (auto _ : state) {
        for (PatchValues& variation : generation)
            variation = mutatePatch(base, 10, {}, random);
        benchmark::DoNotOptimize(generation);
    }
}

void BM_BredGeneration(benchmark::State& state) {
    SoundRandom random(3);
    const PatchValues base = livelyPatch();
    const std::vector<PatchValues> parents{mutatePatch(base, 25, {}, random),
                                           mutatePatch(base, 25, {}, random),
                                           mutatePatch(base, 25, {}, random)};
    std::array<PatchValues, 16> generation{};
    for (auto _ : state) {
        for (PatchValues& child : generation)
            child = breedChild(parents, base, 10, {}, random);
        benchmark::DoNotOptimize(generation);
    }
}

// A drag over the whole slider and back, with automatic update on and the target's
// normal editor open beside the Morph window; with argument 1 each position is painted
// before the next, as the screen shows it, with 0 the painting is left out.
void BM_MorphPosition(benchmark::State& state) {
    EditorWorld world;
    BankHistory history(*world.Context);
    LockedParameters locks;
    world.Context->History = &history;
    world.Context->Locks = &locks;
    world.Code.AutoUpdate = kOn;
    SoundRandom random(4);
    world.Code.PatchBank.setValues(3, randomizePatch(livelyPatch(), {}, random));
    world.Code.PatchBank.setValues(4, randomizePatch(livelyPatch(), {}, random));
    history.reset();
    world.openEditor(3, Patch::NormalEditor);
    PatchWriter writer(*world.Context);
    auto* morph = new MorphWindow(*world.Context, writer, writer.selectedPatch());
    world.Mdi->addSubWindow(morph)->show();
    QApplication::processEvents();
    int position = 0;
    int step = 1;
    for (auto _ : state) {
        if (position + step < 0 || position + step > 100) step = -step;
        position += step;
        morph->Position->setValue(position);
        if (state.range(0) == 1) QApplication::processEvents(); // the repaints
    }
    state.counters["dumps"] = world.Midi.dumps();
    state.counters["steps"] = history.count();
}

} // namespace

BENCHMARK(BM_Mutate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstGeneration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BredGeneration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MorphPosition)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1);

int main(int argc, char** argv) { return runWindowBenchmarks(argc, argv); }
