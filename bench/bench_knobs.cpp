// How soon a knob reaches the instrument: the whole program on a JACK server of its own
// (the dummy driver, 48 kHz, 256-frame periods), a knob box and the instrument as clients
// of it. Prints, as median and range over many tries:
// - a controller message at an idle program: from the message to the first byte of the
//   patch's dump on the wire;
// - a knob turned for a second at 100 messages a second, then left: from the last message
//   to the first byte of the dump of the knob's last place.
// Run it by hand: bench_knobs [TRIES], 40 unless given.

#include "midi/CaptureClient.h"
#include "midi/JackServer.h"

#include "app/BackgroundMDI.h"
#include "core/QuenlorCode.h"
#include "editors/Patch.h"
#include "midi/JackMidiBackend.h"
#include "midi/MidiWorld.h"
#include "support/FakeDesktop.h"
#include "support/MemorySettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <jack/jack.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

// Runs the event loop until `done` or the time is up.
template <typename Done> bool runUntil(Done done, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    return done();
}

void waitMs(int ms) {
    runUntil([] { return false; }, ms);
}

void report(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s: no figures\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    std::printf("%s: median %.1f ms, %.1f-%.1f ms (%zu tries)\n", what, median, ms.front(),
                ms.back(), n);
}

// The two figures, as the program is now.
void measure(CaptureClient& knobs, CaptureClient& synth, QuenlorCode& code, int tries) {
    const jack_nframes_t rate = synth.sampleRate();
    const auto ms = [rate](int64_t frames) { return double(frames) * 1000 / rate; };
    std::vector<double> idle;
    for (int i = 0; i < tries; ++i) {
        synth.clearReceived();
        knobs.play({0xB0, 74, uint8_t(i % 2 ? 20 : 100)});
        if (!runUntil([&] { return synth.receivedCount() >= 2; }, 3000)) continue;
        idle.push_back(ms(int32_t(synth.receivedFrames()[0] - knobs.playedFrames().back())));
        waitMs(150); // past the dump and its Program Change: the program is idle again
    }
    report("  a controller message at an idle program to the dump's first byte", idle);

    std::vector<double> stopped;
    for (int i = 0; i < std::max(1, tries / 4); ++i) {
        waitMs(600); // a turn of its own
        synth.clearReceived();
        constexpr int kMessages = 100;
        uint8_t last = 0;
        for (int m = 0; m < kMessages; ++m) {
            last = uint8_t((m * 5 + i * 7) % 128);
            knobs.play({0xB0, 74, last});
            waitMs(10);
        }
        // The patch once it holds the last place: the dump to wait for.
        const int16_t level = int16_t((2 * last * 63 + 127) / 254);
        if (!runUntil([&] { return code.PatchBank(1, 20) == level; }, 3000)) continue;
        code.preparePatchDump(1);
        const std::vector<uint8_t> expected(code.PatchDump.data(),
                                            code.PatchDump.data() + code.PatchDump.size());
        // The first dump of the last place after the last message.
        const jack_nframes_t lastMessage = knobs.playedFrames().back();
        const auto firstOfTheLast = [&]() -> int64_t {
            const auto r = synth.received();
            const auto f = synth.receivedFrames();
            for (std::size_t k = 0; k < r.size(); ++k)
                if (r[k] == expected && int32_t(f[k] - lastMessage) >= 0) return int32_t(f[k] - lastMessage);
            return -1;
        };
        if (!runUntil([&] { return firstOfTheLast() >= 0; }, 3000)) continue;
        stopped.push_back(ms(firstOfTheLast()));
    }
    report("  the knob's last place, from its last message to its dump's first byte", stopped);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's unsaved copies and library go to a folder of the run's own.
    QTemporaryDir home;
    for (const char* folder : {"XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(folder, home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int tries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    JackServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.error()));
        return 1;
    }
    {
        CaptureClient knobs("knobs");
        CaptureClient synth("synth");
        QuenlorCode code;
        MemorySettingsStore store;
        FakeDesktop desktop;
        store.writeKey("Controllers", "P20", "1 cc 74 absolute");
        store.writeKey("Update", "AutoUpdate", "Yes");
        store.writeKey("MIDI", "MIDIInPort", "knobs:output");
        store.writeKey("MIDI", "MIDIOutPort", "synth:input");
        MidiWorld world(openWhenNeeded([] { return std::unique_ptr<MidiBackend>(JackMidiBackend::open()); }));
        BackgroundMDI window(code, world, store, desktop);
        window.MDIForm_Load();
        window.show();
        window.openMidiDevices();
        if (!runUntil([&] { return synth.connected("Quenlor:MIDI Out", "synth:input") &&
                                   knobs.connected("knobs:output", "Quenlor:MIDI In"); },
                      10000)) {
            std::fprintf(stderr, "the program's ports were not connected\n");
            return 1;
        }
        waitMs(500);
        std::printf("JACK period %.2f ms\n",
                    1000.0 * jack_get_buffer_size(synth.client()) / synth.sampleRate());

        for (const bool editor : {false, true}) {
            if (editor) {
                window.PatchWindow->OpenPatchEditor(1, Patch::NormalEditor);
                waitMs(500);
            }
            std::printf("%s\n", editor ? "patch 1's normal editor open:" : "no editor open:");
            measure(knobs, synth, code, tries);
        }
    }
    server.stop();
    return 0;
}
