// The patch library's figures: indexing 1,000 bank files cold and rescanning them
// unchanged, then, with 100,000 distinct patches, the start-up of the program, the
// Library window's opening, search as you type (from key to rows painted) and memory.
// A program that reports, not a timed test: bench/bench_library [folder for the files].
#include "app/BackgroundMDI.h"
#include "librarywindow/LibraryMenu.h"
#include "librarywindow/LibraryModel.h"
#include "librarywindow/LibraryWindow.h"
#include "core/QuenlorCode.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"
#include "storage/PatchRecord.h"
#include "support/FakeDesktop.h"
#include "support/MemoryMidiWorld.h"
#include "support/MemorySettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <vector>

namespace {

constexpr int kBankFiles = 1000;
constexpr int kDistinctPatches = 100'000;

// Sound n: six levels carry n in base 64, so every n below 64^6 is its own sound.
PatchValues soundOf(long n) {
    PatchValues values{};
    values[24] = 1;
    values[35] = 1;
    for (int p : {8, 9, 10, 11, 12, 13}) {
        values[std::size_t(p)] = int16_t(n % 64);
        n /= 64;
    }
    return values;
}

// Names as musicians give them.
QString nameOf(long n) {
    static const char* const kWords[] = {"Warm", "Fat", "Glass", "Dark", "Soft", "Brass",
                                         "Sync", "Hollow", "Bright", "Wide", "Acid", "Sweep"};
    static const char* const kKinds[] = {"Pad", "Bass", "Lead", "Strings", "Bell", "Organ",
                                         "Keys", "Pluck", "Choir", "Drone", "Arp", "Hit"};
    return QStringLiteral("%1 %2 %3").arg(QLatin1String(kWords[n % 12]))
        .arg(QLatin1String(kKinds[n / 12 % 12]))
        .arg(n / 144);
}

// The time this thread has run: on a machine shared with other work, what the wall clock
// would show on an idle one.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// 1,000 banks of 74 patches; every fourth record and the last repeat the same record of
// the bank before, so that a quarter of the patches are duplicates.
void writeBanks(const QString& folder) {
    QDir().mkpath(folder);
    long next = 0;
    std::vector<long> before(kLastPatch + 1, 0);
    for (int file = 0; file < kBankFiles; ++file) {
        std::ofstream out(QFile::encodeName(QStringLiteral("%1/bank%2.bbk").arg(folder).arg(file)).toStdString(),
                          std::ios::binary);
        for (int record = 1; record <= kLastPatch; ++record) {
            const bool duplicate = file > 0 && (record % 4 == 0 || record == kLastPatch);
            const long n = duplicate ? before[std::size_t(record)] : next++;
            before[std::size_t(record)] = n;
            WritePatchRecord(out, soundOf(n).data(), nameOf(n).toStdString());
        }
    }
}

// The program on an in-memory MIDI system, its library wherever XDG_DATA_HOME points.
struct Program {
    QuenlorCode code;
    MemoryMidiWorld midi{{}, {"Synth"}};
    MemorySettingsStore store;
    FakeDesktop desktop;
    BackgroundMDI window{code, midi, store, desktop};

    void start() {
        window.MDIForm_Load();
        window.show();
        QCoreApplication::processEvents();
    }
    void settle() {
        while (window.library().pendingJobs() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
};

// The medians of five starts: wall clock, and this thread's time on the processor.
std::pair<double, double> startUpMs() {
    std::vector<double> starts;
    std::vector<double> onProcessor;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = threadCpuMs();
        Program program;
        program.start();
        program.window.library().openInBackground(); // as Main does
        starts.push_back(double(timer.nsecsElapsed()) / 1e6);
        onProcessor.push_back(threadCpuMs() - cpu);
        program.settle();
    }
    return {median(starts), median(onProcessor)};
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
    qputenv("XDG_STATE_HOME", (root + "/state").toUtf8());
    std::printf("Files and library in %s\n", qPrintable(root));

    // Indexing 1,000 bank files cold, then unchanged. A folder given again skips the
    // figures that only building its files gives.
    const bool reuse = QFileInfo::exists(LibraryDatabase::defaultPath());
    if (!reuse) {
        const QString banks = root + "/banks";
        writeBanks(banks);
        LibraryDatabase database(root + "/index/library.sqlite");
        database.open();
        LibraryEdits::addFolder(database, banks);
        QElapsedTimer timer;
        timer.start();
        double cpu = threadCpuMs();
        const ScanSummary cold = LibraryScanner(database).scan();
        const double coldS = double(timer.nsecsElapsed()) / 1e9;
        const double coldCpu = (threadCpuMs() - cpu) / 1e3;
        timer.restart();
        cpu = threadCpuMs();
        const ScanSummary again = LibraryScanner(database).scan();
        const double againS = double(timer.nsecsElapsed()) / 1e9;
        const double againCpu = (threadCpuMs() - cpu) / 1e3;
        std::printf("Index 1,000 bank files cold: %.2f s (%.2f s on the processor; %s)\n", coldS,
                    coldCpu, qPrintable(cold.text()));
        std::printf("Rescan, unchanged:           %.3f s (%.3f s on the processor; %s)\n", againS,
                    againCpu, qPrintable(again.text()));
    }

    startUpMs(); // the first window of a process sets up fonts and styles
    const auto emptyStart = reuse ? std::pair<double, double>() : startUpMs();

    // 100,000 distinct patches, as collections of 1,000.
    if (!reuse) {
        LibraryDatabase database(LibraryDatabase::defaultPath());
        database.open();
        for (long first = 0; first < kDistinctPatches; first += 1000) {
            std::vector<FoundPatch> patches;
            for (long n = first; n < first + 1000; ++n)
                patches.push_back({soundOf(n), nameOf(n), int(n - first + 1)});
            LibraryEdits::addToCollection(database, QStringLiteral("Set %1").arg(first / 1000), patches);
        }
    }
    const auto fullStart = startUpMs();
    std::printf("Start-up to the window shown: %.1f ms with an empty library, %.1f ms with "
                "100,000 patches (on the processor: %.1f ms and %.1f ms)\n",
                emptyStart.first, fullStart.first, emptyStart.second, fullStart.second);

    {
        // The read itself, on this thread, apart from the library thread's turn.
        LibraryDatabase database(LibraryDatabase::defaultPath());
        QElapsedTimer timer;
        timer.start();
        database.open();
        const double openMs = double(timer.nsecsElapsed()) / 1e6;
        QString error;
        timer.restart();
        const double cpu = threadCpuMs();
        const auto catalogue = LibraryCatalogue::load(database, error);
        std::printf("Library file opened and checked in %.0f ms, read in %.0f ms (%.0f ms on the "
                    "processor; %zu patches)\n",
                    openMs, double(timer.nsecsElapsed()) / 1e6, threadCpuMs() - cpu,
                    catalogue->Entries.size());
    }

    Program program;
    program.start();
    const long beforeKb = residentKb();
    LibraryMenu& library = program.window.library();
    QElapsedTimer timer;
    timer.start();
    library.openInBackground();
    program.settle();
    const double readMs = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    double cpu = threadCpuMs();
    library.mnu_ShowLibrary->trigger();
    LibraryWindow& window = *library.window();
    window.PatchTable->viewport()->repaint();
    const double openMs = double(timer.nsecsElapsed()) / 1e6;
    const double openCpu = threadCpuMs() - cpu;
    QCoreApplication::processEvents();
    std::printf("Library opened and read on its thread after start-up: %.0f ms (%d patches)\n", readMs,
                window.model().rowCount());
    std::printf("Library window opens in:    %.1f ms (%.1f ms on the processor)\n", openMs, openCpu);

    // Search as you type: each key from its press to the rows painted.
    std::vector<double> keys;
    std::vector<double> keysCpu;
    const QString typed = QStringLiteral("warm pad 1");
    for (int round = 0; round < 5; ++round) {
        window.SearchBox->clear();
        QCoreApplication::processEvents();
        for (const QChar c : typed) {
            timer.restart();
            cpu = threadCpuMs();
            QTest::keyClick(window.SearchBox, c.toLatin1());
            window.PatchTable->viewport()->repaint();
            keys.push_back(double(timer.nsecsElapsed()) / 1e6);
            keysCpu.push_back(threadCpuMs() - cpu);
        }
        for (int i = 0; i < typed.size(); ++i) {
            timer.restart();
            cpu = threadCpuMs();
            QTest::keyClick(window.SearchBox, Qt::Key_Backspace);
            window.PatchTable->viewport()->repaint();
            keys.push_back(double(timer.nsecsElapsed()) / 1e6);
            keysCpu.push_back(threadCpuMs() - cpu);
        }
    }
    std::printf("Search as you type: median %.1f ms, slowest %.1f ms per key (on the processor: "
                "median %.1f ms, slowest %.1f ms; %zu keys, typing and deleting \"%s\")\n",
                median(keys), *std::max_element(keys.begin(), keys.end()), median(keysCpu),
                *std::max_element(keysCpu.begin(), keysCpu.end()), keys.size(), qPrintable(typed));
    const long afterKb = residentKb();
    std::printf("Memory: %.1f MB more with 100,000 patches read and shown (%.1f MB before)\n",
                double(afterKb - beforeKb) / 1024, double(beforeKb) / 1024);
    return 0;
}
