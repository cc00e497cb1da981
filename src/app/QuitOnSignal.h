#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

// Closes the main window, which ends the program, when the program is asked to end from
// outside: SIGTERM (the desktop session ending, the machine shutting down), SIGHUP (its
// terminal closed) and SIGINT (Ctrl+C there). Left to themselves these signals end the
// program on the spot, losing the value being typed and the last second of changes.
class QuitOnSignal : public QObject {
public:
    explicit QuitOnSignal(QWidget& mainWindow);
    ~QuitOnSignal() override;

private:
    QSocketNotifier* m_notifier = nullptr;
};
