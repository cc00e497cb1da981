#include "SysExCompanion.h"

#include "midi/MidiBackend.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    // The MIDI input port hands its messages over through Qt's event queue.
    QCoreApplication app(argc, argv);
    QSettingsStore store;
    CompanionWorld world{std::cout, std::cerr,
                         [](const std::string& system) -> std::unique_ptr<MidiBackend> {
                             if (system == "alsa") return openAlsaMidi();
                             if (system == "jack") return openJackMidi();
                             return openSystemMidi();
                         },
                         store};
    SysExCompanion companion(world);
    return companion.run(std::vector<std::string>(argv + 1, argv + argc));
}
