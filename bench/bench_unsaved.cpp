#include "WindowBenchmarks.h"
#include "unsaved/UnsavedBank.h"
#include "editors/BankHistory.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "storage/UnsavedCopy.h"
#include "support/EditorWorld.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

// What keeping work safe costs: a change as the windows see it while a copy of the bank
// is due (the undo step and the check against the saved bank), and writing the copy.
namespace {

struct SafeWorld {
    EditorWorld world;
    QTemporaryDir folder;
    QString origin = "/banks/live.bbk";
    BankHistory history{*world.Context};
    UnsavedBank unsaved{folder.path(), *world.Context, origin};

    SafeWorld() {
        world.Context->History = &history;
        QObject::connect(&history, &BankHistory::changed, &unsaved, &UnsavedBank::bankChanged);
        QObject::connect(&history, &BankHistory::gestureEnded, &unsaved,
                         &UnsavedBank::gestureEnded);
        for (int n = kFirstPatch; n <= kLastPatch; ++n) {
            world.PatchWindow->SetPatchName(n, QString("Patch %1").arg(n));
            for (int p = kFirstParameter; p <= kLastParameter; ++p)
                world.Code.PatchBank(n, p) =
                    int16_t((n + p) % (world.Code.ParameterTable.MaxValue(p) + 1));
        }
        history.reset();
        unsaved.markSaved(origin);
        world.openEditor(7, Patch::NormalEditor);
    }
};

// One slider step with the copy pending: the bank written, the undo history compared
// and merged, the copy's timer checked. `newSteps`: every change a gesture of its own.
void change(benchmark::State& state, bool newSteps) {
    SafeWorld safe;
    QScrollBar* slider = safe.world.PatchWindow->normalEditWindow(7)->Slider[19];
    int value = 0;
    for (auto _ : state) {
        if (newSteps) safe.history.endGesture();
        slider->setValue(++value % 63 + 1);
    }
    if (!safe.unsaved.writePending()) state.SkipWithError("no copy was due");
    state.counters["steps"] = safe.history.count();
}

void BM_ChangeMergedIntoOneStep(benchmark::State& state) {
    change(state, false);
}
void BM_ChangeAsANewStep(benchmark::State& state) {
    change(state, true);
}

// A slider dragged for a second, one step every 16 ms as the pointer moves it, with the
// event loop running as it does in the program: the process's time covers the windows'
// share and the copies the writing thread makes of it; the counters say how many copies
// a second of dragging writes, and how many it puts on the disk.
void BM_SliderDragForASecond(benchmark::State& state) {
    SafeWorld safe;
    QScrollBar* slider = safe.world.PatchWindow->normalEditWindow(7)->Slider[19];
    int value = 0;
    for (auto _ : state) {
        QElapsedTimer drag;
        drag.start();
        while (drag.elapsed() < 1000) {
            slider->setValue(++value % 63 + 1);
            const QDeadlineTimer frame(16);
            while (!frame.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents,
                                                int(std::max<qint64>(1, frame.remainingTime())));
        }
        safe.unsaved.waitForDisk();
    }
    const double seconds = double(state.iterations());
    state.counters["copies/s"] = safe.unsaved.copiesWritten() / seconds;
    state.counters["syncs/s"] = safe.unsaved.copiesSynced() / seconds;
}

// Writing the copy of a whole bank: made from the bank, written beside the old one,
// flushed to the disk (or, during a gesture, left to the system) and put in its place.
void writeCopy(benchmark::State& state, SaveFile::Sync sync) {
    SafeWorld safe;
    std::array<std::string, kPatchSlots> names;
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        names[std::size_t(n)] = "Patch " + std::to_string(n);
    const std::string path = safe.folder.filePath("copy.bbk").toStdString();
    for (auto _ : state) {
        if (!UnsavedCopy::Write(
                path, UnsavedCopy::encode(safe.world.Code.PatchBank, names, "/banks/live.bbk"),
                nullptr, sync))
            state.SkipWithError("the copy could not be written");
    }
}

void BM_WriteCopy(benchmark::State& state) { writeCopy(state, SaveFile::Sync::ToDisk); }
void BM_WriteCopyWithoutSync(benchmark::State& state) { writeCopy(state, SaveFile::Sync::Later); }

// The windows' share of writing the copy, when the wait for it ends: the bank and its
// names taken and handed to the writing thread (which is waited for outside the timing).
void BM_StartWriteOnTheWindowsThread(benchmark::State& state) {
    SafeWorld safe;
    safe.world.Code.PatchBank(7, 19) = 1; // differs from the saved bank
    for (auto _ : state) {
        safe.unsaved.startWrite();
        state.PauseTiming();
        safe.unsaved.waitForDisk();
        state.ResumeTiming();
    }
}

// Only making the copy's bytes, without the disk.
void BM_EncodeCopy(benchmark::State& state) {
    SafeWorld safe;
    std::array<std::string, kPatchSlots> names;
    for (auto _ : state)
        benchmark::DoNotOptimize(UnsavedCopy::encode(safe.world.Code.PatchBank, names, ""));
}

} // namespace

BENCHMARK(BM_ChangeMergedIntoOneStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChangeAsANewStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartWriteOnTheWindowsThread)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SliderDragForASecond)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()
    ->Iterations(5);
BENCHMARK(BM_WriteCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCopyWithoutSync)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeCopy)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) { return runWindowBenchmarks(argc, argv); }
