#include "WindowBenchmarks.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "support/EditorWorld.h"

#include <QApplication>
#include <QEvent>

// Opening an editor window as a double-click or the "Bit 01 Edit" button does: the
// window is built, loaded and filled from the bank, shown in the main window, activated
// (which sends the patch) and painted once. The window is closed again between runs.
namespace {

void fillBank(QuenlorCode& code) {
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(n, p) = int16_t((n + p) % (code.ParameterTable.MaxValue(p) + 1));
}

void closeAll(EditorWorld& world, int patch) {
    Patch& list = *world.PatchWindow;
    if (list.normalEditWindow(patch))
        list.normalEditWindow(patch)->closeEditor();
    if (list.bit01EditWindow(patch))
        list.bit01EditWindow(patch)->closeEditor();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

void openEditor(benchmark::State& state, int kind) {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    fillBank(world.Code);
    const int patch = 7;
    for (auto _ : state) {
        world.openEditor(patch, kind);
        QApplication::processEvents(); // the first paint
        state.PauseTiming();
        closeAll(world, patch);
        world.Midi.clear();
        state.ResumeTiming();
    }
}

void BM_OpenNormalEdit(benchmark::State& state) { openEditor(state, Patch::NormalEditor); }
void BM_OpenBit01Edit(benchmark::State& state) { openEditor(state, Patch::Bit01Editor); }

} // namespace

BENCHMARK(BM_OpenNormalEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenBit01Edit)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runWindowBenchmarks(argc, argv); }
