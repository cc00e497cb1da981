#pragma once

#include <QObject>
#include <QString>

#include <memory>

// The program's end of a studio session manager's messages (OSC over UDP, through liblo):
// announces the program, and hands what the manager asks to the program's thread as
// signals. liblo receives on a thread of its own; every message is copied out there and
// passed on by a queued call, so that nothing of the program is touched from it.
class NsmClient : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kApplicationName = "Quenlor";
    static constexpr const char* kCapabilities = ":dirty:message:optional-gui:";
    static constexpr int kApiMajor = 1;
    static constexpr int kApiMinor = 1;
    // The manager's error codes that the program answers with.
    static constexpr int kErrGeneral = -1;
    static constexpr int kErrNotNow = -8;
    static constexpr int kErrBadProject = -9;
    static constexpr int kErrCreateFailed = -10;
    static constexpr const char* kOpen = "/nsm/client/open";
    static constexpr const char* kSave = "/nsm/client/save";

    explicit NsmClient(QObject* parent = nullptr);
    ~NsmClient() override;

    // Starts listening and announces the program to the manager at `url` (NSM_URL).
    // False when the address cannot be used or nothing could be sent.
    bool announce(const QString& url, const QString& executable);

    void reply(const char* path, const QString& message);
    void error(const char* path, int code, const QString& message);
    void setDirty(bool dirty);
    void setGuiShown(bool shown);
    // `priority` 0 (least) to 3.
    void message(int priority, const QString& text);

signals:
    void announced(const QString& manager);
    void refused(int code, const QString& reason);
    void openRequested(const QString& path, const QString& displayName, const QString& clientId);
    void saveRequested();
    void showRequested();
    void hideRequested();

private:
    struct Osc;
    std::unique_ptr<Osc> m_osc;
};
