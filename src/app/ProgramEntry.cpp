#include "BackgroundMDI.h"
#include "Main.h"
#include "ProgramArguments.h"
#include "QuitOnSignal.h"
#include "ReachingDisplay.h"
#include "SessionWindow.h"
#include "desktop/DeferredIconStyle.h"
#include "desktop/FontWarmUp.h"
#include "desktop/QtDesktop.h"
#include "core/QuenlorCode.h"
#include "core/Version.h"
#include "midi/MidiWorld.h"
#include "session/StudioSession.h"
#include "settings/SettingsStore.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>

namespace {
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
} // namespace

int main(int argc, char* argv[]) {
    // Help, the version and a usage error are answered before the window system or the
    // MIDI system is reached, so that they work on a console without either.
    const ProgramArguments arguments = readProgramArguments({argv + 1, argv + argc});
    if (const std::optional<int> status = answerProgramArguments(arguments, std::cout, std::cerr))
        return *status;
    // Asked to end from now on, the program ends by its one way out, whenever it is asked.
    QuitOnSignal quitOnSignal;
    // Without a display there is nothing to show the windows on.
    if (const std::optional<std::string> missing = missingDisplay(arguments, environment)) {
        std::cerr << noDisplayLine(*missing) << '\n';
        return kNoDisplayStatus;
    }

    // The fonts are read while the program connects to the window system.
    FontWarmUp fonts;
    // The MIDI system is reached while the window system comes up; in a studio session
    // only once the session has named the program.
    const QString sessionManager = QString::fromLocal8Bit(environment("NSM_URL"));
    std::unique_ptr<MidiBackend> backend = sessionManager.isEmpty() ? openSystemMidi() : nullptr;

    const std::string display = arguments.Display.value_or(environment("DISPLAY"));
    ReachingDisplay reaching(display.empty() ? environment("WAYLAND_DISPLAY") : display);
    QApplication app(argc, argv);
    reaching.reached();
    QApplication::setApplicationName("Quenlor");
    QApplication::setApplicationVersion(kQuenlorVersion);
    // Lets the desktop match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName("io.github.quenlor.quenlor");
    // The program ends when the main window closes, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);
    // The desktop's own style, with its standard pictures looked up when first drawn.
    QApplication::setStyle(new DeferredIconStyle);

    // A manager that does not answer leaves the program outside a session.
    const std::unique_ptr<StudioSession> session =
        StudioSession::join(sessionManager, QString::fromLocal8Bit(argv[0]), quitOnSignal.descriptor());
    if (session && session->failed())
        return 1;
    if (!backend)
        backend = session ? openSystemMidi(session->clientId()) : openSystemMidi();

    // Before the first window asks for a font.
    fonts.wait();
    QuenlorCode code;
    MidiWorld midi(std::move(backend));
    // A session keeps settings of its own; the user's are not touched.
    QSettingsStore userStore;
    std::unique_ptr<QSettingsStore> sessionStore;
    if (session)
        sessionStore = std::make_unique<QSettingsStore>(session->folder().settingsFile());
    SettingsStore& store = sessionStore ? *sessionStore : static_cast<SettingsStore&>(userStore);
    QtDesktop desktop;
    BackgroundMDI window(code, midi, store, desktop);
    desktop.setParentWindow(&window);
    quitOnSignal.endThrough(window);
    desktop.endPausesOn(quitOnSignal.descriptor());

    if (session) {
        SessionWindow inSession(window, *session, store, midi.ports(), quitOnSignal);
        return inSession.start() ? app.exec() : session->failed() ? 1 : 0;
    }
    if (!Main(window, desktop, arguments.File))
        return 0;
    return app.exec();
}
