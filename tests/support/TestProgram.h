#pragma once

#include "app/BackgroundMDI.h"
#include "core/QuenlorCode.h"
#include "editors/Patch.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"
#include "storage/PatchRecord.h"
#include "support/FakeDesktop.h"
#include "support/MemoryMidiWorld.h"

#include <QStringList>
#include <QTest>
#include <fstream>

// The whole program on the in-memory MIDI system. Its unsaved banks go wherever
// XDG_STATE_HOME points when it is made: each test points it at a folder of its own.
struct TestProgram {
    TestProgram()
        : world({"Keys:out"}, {"Synth:Bit 01 in"}), window(code, world, store, desktop) {}
    QuenlorCode code;
    MemoryMidiWorld world;
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MemorySettingsStore store;
    FakeDesktop desktop;
    BackgroundMDI window;

    void start() {
        window.MDIForm_Load();
        window.show();
        window.openMidiDevices();
        window.activateWindow();
        // Gestures end where the focus moves, which needs an active window.
        if (!QTest::qWaitForWindowActive(&window))
            qWarning("the main window did not become active");
    }
    Patch& list() { return *window.PatchWindow; }
    QStringList names() {
        QStringList all;
        for (int n = kFirstPatch; n <= kLastPatch; ++n)
            all << list().PatchName(n);
        return all;
    }
    // Everything the program put on the wire so far, message by message.
    std::vector<std::vector<uint8_t>> sent() const { return backend.sentBytes(); }
    int dumps() const {
        int n = 0;
        for (const auto& m : sent())
            n += !m.empty() && m[0] == 0xF0;
        return n;
    }
};

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A bank file or patch file of the given bank's patches, as the program writes them.
inline void writeRecords(const QString& path, const Bank& bank, int first, int last,
                         const QString& namePrefix) {
    std::ofstream file(path.toStdString(), std::ios::binary);
    for (int n = first; n <= last; ++n)
        WritePatchRecord(file, bank, n, (namePrefix + QString::number(n)).toStdString());
}

// Every parameter of every patch at some value in its range, different from a new bank.
inline Bank variedBank(int seed) {
    QuenlorCode code;
    code.InitPatchModel();
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(n, p) =
                int16_t((n * 7 + p * seed) % (code.ParameterTable.MaxValue(p) + 1));
    return code.PatchBank;
}
