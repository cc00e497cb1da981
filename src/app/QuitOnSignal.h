#pragma once

class QWidget;

// Ends the program by closing its main window (which runs the one way out, keeping the
// work) when it is asked to end from outside: SIGTERM (the desktop session ending, the
// machine shutting down), SIGHUP (its terminal closed) and SIGINT (Ctrl+C there). Left to
// themselves these signals end the program on the spot, losing the value being typed
// and the last changes. The signals are caught from the start; one that comes before the
// main window is there waits for it, and one that comes while a dialog or message box
// runs ends that first.
class QuitOnSignal {
public:
    QuitOnSignal();
    ~QuitOnSignal();
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

    // From now on, and for a signal that came already, the program ends through this
    // window, for as long as it stands. Needs the application object.
    void endThrough(QWidget& mainWindow);
    // Becomes readable when a signal comes: a pause that no event ends waits on it.
    int descriptor() const;
    // A signal came and is being handled: the main window's close ends the program.
    bool asked() const { return m_asked; }

private:
    bool m_asked = false;
};
