#include "NsmClient.h"

#include <QByteArray>
#include <QMetaObject>
#include <QtEndian>

#include <lo/lo.h>

#include <unistd.h>

// The listening socket and the manager's address. Messages to the manager leave from the
// listening socket, since the manager answers where a message came from.
struct NsmClient::Osc {
    lo_server_thread Thread = nullptr;
    lo_address Manager = nullptr;
    ~Osc() {
        if (Thread) {
            lo_server_thread_stop(Thread);
            lo_server_thread_free(Thread);
        }
        if (Manager) lo_address_free(Manager);
    }
};

namespace {
// An argument lies in the message at OSC's four-byte alignment, less than lo_arg's own:
// it is read as the bytes it is, never through the union's members.
QString text(const lo_arg* arg) { return QString::fromUtf8(reinterpret_cast<const char*>(arg)); }
int32_t number(const lo_arg* arg) { return qFromUnaligned<int32_t>(arg); }

// Sends and frees the message; false when it could not be sent.
bool sendMessage(lo_address to, lo_server_thread from, const char* path, lo_message message) {
    const int sent = lo_send_message_from(to, lo_server_thread_get_server(from), path, message);
    lo_message_free(message);
    return sent >= 0;
}

// liblo's handlers run on its thread: they copy the arguments and queue the signal.
template <typename Emit> int onThread(void* client, Emit emitSignal) {
    auto* self = static_cast<NsmClient*>(client);
    QMetaObject::invokeMethod(self, [self, emitSignal] { emitSignal(self); }, Qt::QueuedConnection);
    return 0;
}

int onReply(const char*, const char*, lo_arg** argv, int argc, lo_message, void* client) {
    if (argc < 3 || text(argv[0]) != "/nsm/server/announce") return 0;
    return onThread(client, [manager = text(argv[2])](NsmClient* c) { emit c->announced(manager); });
}

int onError(const char*, const char*, lo_arg** argv, int argc, lo_message, void* client) {
    if (argc < 3 || text(argv[0]) != "/nsm/server/announce") return 0;
    return onThread(client, [code = number(argv[1]), reason = text(argv[2])](NsmClient* c) {
        emit c->refused(code, reason);
    });
}

int onOpen(const char*, const char*, lo_arg** argv, int, lo_message, void* client) {
    return onThread(client, [path = text(argv[0]), name = text(argv[1]),
                             id = text(argv[2])](NsmClient* c) { emit c->openRequested(path, name, id); });
}

int onSave(const char*, const char*, lo_arg**, int, lo_message, void* client) {
    return onThread(client, [](NsmClient* c) { emit c->saveRequested(); });
}

int onShow(const char*, const char*, lo_arg**, int, lo_message, void* client) {
    return onThread(client, [](NsmClient* c) { emit c->showRequested(); });
}

int onHide(const char*, const char*, lo_arg**, int, lo_message, void* client) {
    return onThread(client, [](NsmClient* c) { emit c->hideRequested(); });
}

// A socket error on liblo's thread has nobody to tell; the manager's silence says it.
void onSocketError(int, const char*, const char*) {}
} // namespace

NsmClient::NsmClient(QObject* parent) : QObject(parent), m_osc(std::make_unique<Osc>()) {}

NsmClient::~NsmClient() = default;

bool NsmClient::announce(const QString& url, const QString& executable) {
    const QByteArray address = url.toUtf8();
    m_osc->Manager = lo_address_new_from_url(address.constData());
    if (!m_osc->Manager) return false;
    // The manager's messages come to a port of the system's choice, on the protocol of
    // its address (UDP).
    m_osc->Thread = lo_server_thread_new_with_proto(nullptr, lo_address_get_protocol(m_osc->Manager),
                                                    onSocketError);
    if (!m_osc->Thread) return false;
    lo_server_thread_add_method(m_osc->Thread, "/reply", "ssss", onReply, this);
    lo_server_thread_add_method(m_osc->Thread, "/reply", "sss", onReply, this);
    lo_server_thread_add_method(m_osc->Thread, "/error", "sis", onError, this);
    lo_server_thread_add_method(m_osc->Thread, kOpen, "sss", onOpen, this);
    lo_server_thread_add_method(m_osc->Thread, kSave, "", onSave, this);
    lo_server_thread_add_method(m_osc->Thread, "/nsm/client/show_optional_gui", "", onShow, this);
    lo_server_thread_add_method(m_osc->Thread, "/nsm/client/hide_optional_gui", "", onHide, this);
    if (lo_server_thread_start(m_osc->Thread) < 0) return false;

    lo_message message = lo_message_new();
    lo_message_add_string(message, kApplicationName);
    lo_message_add_string(message, kCapabilities);
    lo_message_add_string(message, executable.toUtf8().constData());
    lo_message_add_int32(message, kApiMajor);
    lo_message_add_int32(message, kApiMinor);
    lo_message_add_int32(message, int32_t(::getpid()));
    return sendMessage(m_osc->Manager, m_osc->Thread, "/nsm/server/announce", message);
}

void NsmClient::reply(const char* path, const QString& text) {
    if (!m_osc->Thread) return;
    lo_message message = lo_message_new();
    lo_message_add_string(message, path);
    lo_message_add_string(message, text.toUtf8().constData());
    sendMessage(m_osc->Manager, m_osc->Thread, "/reply", message);
}

void NsmClient::error(const char* path, int code, const QString& text) {
    if (!m_osc->Thread) return;
    lo_message message = lo_message_new();
    lo_message_add_string(message, path);
    lo_message_add_int32(message, code);
    lo_message_add_string(message, text.toUtf8().constData());
    sendMessage(m_osc->Manager, m_osc->Thread, "/error", message);
}

void NsmClient::setDirty(bool dirty) {
    if (!m_osc->Thread) return;
    sendMessage(m_osc->Manager, m_osc->Thread, dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean",
                lo_message_new());
}

void NsmClient::setGuiShown(bool shown) {
    if (!m_osc->Thread) return;
    sendMessage(m_osc->Manager, m_osc->Thread,
                shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden", lo_message_new());
}

void NsmClient::message(int priority, const QString& text) {
    if (!m_osc->Thread) return;
    lo_message message = lo_message_new();
    lo_message_add_int32(message, priority);
    lo_message_add_string(message, text.toUtf8().constData());
    sendMessage(m_osc->Manager, m_osc->Thread, "/nsm/client/message", message);
}
