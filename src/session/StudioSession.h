#pragma once

#include "NsmClient.h"
#include "SessionFolder.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class SessionHost;
class SettingsStore;

// The program as a client of a studio session manager (New Session Manager and its
// kin): it joins before the MIDI system is reached, keeps its bank and settings in the
// folder the session gives it, saves when the manager asks, shows and hides its main
// window on request, and tells the manager whether the bank needs saving.
class StudioSession : public QObject {
    Q_OBJECT
public:
    // How long the program waits for the manager to answer its announce.
    static constexpr int kAnswerMs = 1500;

    // Announces the program to the manager at `url` and waits for the answer and for
    // the session to open. None when the manager does not answer in time or refuses:
    // the program then runs outside a session. `signalDescriptor` becomes readable when
    // the program is asked to end, which ends the wait as well.
    static std::unique_ptr<StudioSession> join(const QString& url, const QString& executable,
                                               int signalDescriptor);
    ~StudioSession() override;

    // The session's name for the program, which its MIDI client takes ("Quenlor.nBITX").
    QString clientId() const { return m_clientId; }
    const SessionFolder& folder() const { return m_folder; }
    // The folder could not be made, or its bank read: the manager has been told, and the
    // program ends with a failure.
    bool failed() const { return m_failed; }

    // Once the program's windows are loaded: reads the session's bank, selects and sends
    // the patch that was selected, shows the window when it was shown, and answers the
    // manager's open. False when the bank is damaged: the manager has been told, and the
    // program ends without touching the file.
    bool start(SessionHost& host, SettingsStore& store);
    // The bank may have changed, or been saved.
    void bankMayHaveChanged();
    // The user closed the main window, which is hidden instead.
    void windowClosed();
    // The windows are going: what the manager asks from now on is not acted on.
    void leave() { m_host = nullptr; }
    // A device the session's settings name is missing; empty when none is.
    void deviceMissing(const QString& text);

private:
    StudioSession(std::unique_ptr<NsmClient> client, QString clientId, const QString& path);
    void save();
    void show(bool shown);
    void tell(int priority, const QString& text);

    std::unique_ptr<NsmClient> m_client;
    QString m_clientId;
    SessionFolder m_folder;
    SessionHost* m_host = nullptr;
    SettingsStore* m_store = nullptr;
    bool m_failed = false;
    bool m_dirty = false;
    bool m_shown = false;
    bool m_toldSaved = false;          // the status bar says the bank was saved
    std::optional<bool> m_asked;       // shown or hidden by the manager before start()
};
