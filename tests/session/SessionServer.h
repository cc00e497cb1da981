#pragma once

#include <QString>
#include <QStringList>

#include <lo/lo.h>

#include <mutex>
#include <vector>

// A stand-in for a studio session manager, written from the protocol's description with
// liblo: it answers a client's announce, sends it the manager's requests, and records
// every message the client sends, each as its path followed by its arguments as text.
class SessionServer {
public:
    SessionServer();
    ~SessionServer();
    SessionServer(const SessionServer&) = delete;
    SessionServer& operator=(const SessionServer&) = delete;

    // The address clients find in NSM_URL; empty when the server could not start.
    QString url() const { return m_url; }
    // Answer announces (the default) or stay silent, as a manager that is not there.
    void setAnswering(bool answering) { m_answering = answering; }

    // Sends the client that announced last a request (open, save, show, hide) with
    // these strings as its arguments.
    void send(const char* path, const QStringList& strings = {});
    std::vector<QStringList> received() const;

private:
    static int onMessage(const char* path, const char* types, lo_arg** argv, int argc,
                         lo_message message, void* self);

    lo_server_thread m_thread = nullptr;
    QString m_url;
    bool m_answering = true;
    mutable std::mutex m_mutex;
    lo_address m_client = nullptr;
    std::vector<QStringList> m_received;
};
