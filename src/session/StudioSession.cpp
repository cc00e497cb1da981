#include "StudioSession.h"

#include "SessionHost.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <array>

namespace {
// The manager's message priorities: what went well, and what needs the user.
constexpr int kNews = 1;
constexpr int kTrouble = 2;
// JACK and ALSA both take client names of up to 63 bytes.
constexpr qsizetype kLongestClientId = 63;
} // namespace

StudioSession::StudioSession(std::unique_ptr<NsmClient> client, QString clientId,
                             const QString& path)
    : m_client(std::move(client)), m_clientId(std::move(clientId)), m_folder(path) {
    connect(m_client.get(), &NsmClient::saveRequested, this, &StudioSession::save);
    connect(m_client.get(), &NsmClient::showRequested, this, [this] { show(true); });
    connect(m_client.get(), &NsmClient::hideRequested, this, [this] { show(false); });
}

StudioSession::~StudioSession() = default;

std::unique_ptr<StudioSession> StudioSession::join(const QString& url, const QString& executable,
                                                   int signalDescriptor) {
    auto client = std::make_unique<NsmClient>();
    if (url.isEmpty() || !client->announce(url, executable)) return nullptr;

    // The answer, and the open that follows it, arrive as events; a signal asking the
    // program to end stops the wait and is handled once the main window stands.
    QEventLoop wait;
    bool answered = false;
    std::optional<std::array<QString, 3>> open;
    QObject::connect(client.get(), &NsmClient::announced, &wait, [&] {
        answered = true;
        // The window stays hidden until the session says otherwise.
        client->setGuiShown(false);
        if (open) wait.quit();
    });
    QObject::connect(client.get(), &NsmClient::refused, &wait, [&] { wait.quit(); });
    QObject::connect(client.get(), &NsmClient::openRequested, &wait,
                     [&](const QString& path, const QString& name, const QString& id) {
                         open = {path, name, id};
                         if (answered) wait.quit();
                     });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &wait, [&] {
        if (!answered) wait.quit();
    });
    limit.start(kAnswerMs);
    std::unique_ptr<QSocketNotifier> ended;
    if (signalDescriptor >= 0) {
        ended = std::make_unique<QSocketNotifier>(signalDescriptor, QSocketNotifier::Read);
        QObject::connect(ended.get(), &QSocketNotifier::activated, &wait, [&] { wait.quit(); });
    }
    wait.exec();
    QObject::disconnect(client.get(), nullptr, &wait, nullptr);
    if (!answered || !open) return nullptr;

    // The session's name for the program names its MIDI client, when the MIDI systems
    // take it: short enough, and without the colon that parts a client's name from its
    // port's.
    QString clientId = (*open)[2];
    if (clientId.isEmpty() || clientId.contains(':') || clientId.toUtf8().size() > kLongestClientId)
        clientId = NsmClient::kApplicationName;
    std::unique_ptr<StudioSession> session(
        new StudioSession(std::move(client), clientId, (*open)[0]));
    QString reason;
    if (!session->m_folder.prepare(QSettingsStore().fileName(), reason)) {
        session->m_client->error(NsmClient::kOpen, NsmClient::kErrCreateFailed, reason);
        session->m_failed = true;
    }
    return session;
}

bool StudioSession::start(SessionHost& host, SettingsStore& store) {
    const QString bank = m_folder.bankFile();
    const SessionHost::BankRead read = host.startBank(bank);
    if (read == SessionHost::BankRead::Damaged) {
        m_client->error(NsmClient::kOpen, NsmClient::kErrBadProject,
                        "The session's bank '" + bank + "' cannot be read");
        m_failed = true;
        return false;
    }
    m_host = &host;
    m_store = &store;
    host.selectPatch(SessionFolder::selectedPatch(store));
    // A client added to a session starts hidden; one that was shown comes back shown,
    // unless the manager asked otherwise while it opened.
    show(m_asked.value_or(SessionFolder::windowShown(store)));
    m_dirty = host.bankUnsaved();
    if (m_dirty) m_client->setDirty(true);
    m_client->reply(NsmClient::kOpen, read == SessionHost::BankRead::Read
                                          ? "Opened the session's bank"
                                          : "New session: the bank is saved with the session");
    return true;
}

void StudioSession::bankMayHaveChanged() {
    if (!m_host) return;
    const bool dirty = m_host->bankUnsaved();
    if (dirty == m_dirty) return;
    m_dirty = dirty;
    m_client->setDirty(dirty);
    // The bank changed since it was saved: the status bar no longer says it was.
    if (dirty && m_toldSaved) {
        m_host->tell(QString());
        m_toldSaved = false;
    }
}

// The bank first: the selected patch and the window's state are kept with it only once
// it is on the disk whole.
void StudioSession::save() {
    if (!m_host) {
        m_client->error(NsmClient::kSave, NsmClient::kErrNotNow, "The program is not ready to save");
        return;
    }
    const QString bank = m_folder.bankFile();
    if (!m_host->writeBank(bank)) {
        const QString reason = "Cannot save the session's bank '" + bank + "'";
        tell(kTrouble, reason);
        m_client->error(NsmClient::kSave, NsmClient::kErrGeneral, reason);
        return;
    }
    SessionFolder::keepSelectedPatch(*m_store, m_host->selectedPatch());
    SessionFolder::keepWindowShown(*m_store, m_shown);
    bankMayHaveChanged();
    tell(kNews, "Saved with the session");
    m_toldSaved = true;
    m_client->reply(NsmClient::kSave, "Saved");
}

void StudioSession::show(bool shown) {
    if (!m_host) {
        m_asked = shown;
        return;
    }
    m_host->showWindow(shown);
    const bool changed = shown != m_shown;
    m_shown = shown;
    // Said right after the announce (hidden), and on every change.
    if (changed) {
        m_client->setGuiShown(shown);
        SessionFolder::keepWindowShown(*m_store, shown);
    }
}

void StudioSession::windowClosed() {
    if (m_host) show(false);
}

void StudioSession::deviceMissing(const QString& text) {
    if (m_host && !text.isEmpty()) tell(kTrouble, text);
}

void StudioSession::tell(int priority, const QString& text) {
    m_toldSaved = false;
    m_host->tell(text);
    m_client->message(priority, text);
}
