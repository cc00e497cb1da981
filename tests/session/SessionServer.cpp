#include "SessionServer.h"

#include <QtEndian>

SessionServer::SessionServer() {
    m_thread = lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr);
    if (!m_thread) return;
    lo_server_thread_add_method(m_thread, nullptr, nullptr, &SessionServer::onMessage, this);
    lo_server_thread_start(m_thread);
    // liblo's own URL names the machine by its host name, which a build machine or a
    // container may not resolve: the program is sent to the loopback address instead.
    m_url = QString("osc.udp://127.0.0.1:%1/").arg(lo_server_thread_get_port(m_thread));
}

SessionServer::~SessionServer() {
    if (m_thread) {
        lo_server_thread_stop(m_thread);
        lo_server_thread_free(m_thread);
    }
    if (m_client) lo_address_free(m_client);
}

int SessionServer::onMessage(const char* path, const char* types, lo_arg** argv, int argc,
                             lo_message message, void* self) {
    auto* server = static_cast<SessionServer*>(self);
    QStringList fields{QString::fromUtf8(path)};
    for (int i = 0; i < argc; ++i)
        fields << (types[i] == 's' ? QString::fromUtf8(reinterpret_cast<const char*>(argv[i]))
                   : types[i] == 'i' ? QString::number(qFromUnaligned<int32_t>(argv[i]))
                                     : QString("?"));
    std::lock_guard<std::mutex> lock(server->m_mutex);
    server->m_received.push_back(fields);
    if (fields[0] == "/nsm/server/announce") {
        lo_address source = lo_message_get_source(message);
        if (server->m_client) lo_address_free(server->m_client);
        char* url = lo_address_get_url(source);
        server->m_client = lo_address_new_from_url(url);
        free(url);
        if (server->m_answering)
            lo_send_from(server->m_client, lo_server_thread_get_server(server->m_thread),
                         LO_TT_IMMEDIATE, "/reply", "ssss", "/nsm/server/announce", "Welcome",
                         "Stand-in", ":server-control:");
    }
    return 0;
}

void SessionServer::send(const char* path, const QStringList& strings) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_client) return;
    lo_message message = lo_message_new();
    for (const QString& text : strings)
        lo_message_add_string(message, text.toUtf8().constData());
    lo_send_message_from(m_client, lo_server_thread_get_server(m_thread), path, message);
    lo_message_free(message);
}

std::vector<QStringList> SessionServer::received() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}
