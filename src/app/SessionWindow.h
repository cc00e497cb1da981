#pragma once

#include "session/SessionHost.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

class BackgroundMDI;
class MidiPorts;
class QuitOnSignal;
class SettingsStore;
class StudioSession;

// The main window in a studio session: the session's hold on the bank, the patch list
// and the window, and start-up without the splash, which a session that starts hidden
// must not show. Closing the main window hides it, until a signal ends the program.
class SessionWindow : public QObject, public SessionHost {
public:
    SessionWindow(BackgroundMDI& window, StudioSession& session, SettingsStore& store,
                  MidiPorts& ports, const QuitOnSignal& quitOnSignal);
    ~SessionWindow() override;

    // Start-up in the session, in place of Main(): false when the program ends instead of
    // running (the session's bank is damaged, or a signal came meanwhile).
    bool start();

    BankRead startBank(const QString& path) override;
    bool writeBank(const QString& path) override;
    bool bankUnsaved() override;
    int selectedPatch() override;
    void selectPatch(int patch) override;
    void showWindow(bool shown) override;
    void tell(const QString& text) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The output device the session's settings name, when it is not there.
    QString missingDevice();

    BackgroundMDI& m_window;
    StudioSession& m_session;
    SettingsStore& m_store;
    MidiPorts& m_ports;
    const QuitOnSignal& m_quitOnSignal;
    // Windows hidden with the main window, shown again with it.
    std::vector<QPointer<QWidget>> m_hidden;
};
