#include "phone/callsource.h"

#include "phone/contactkey.h"
#include "phone/libraryhooks.h"
#include "phone/rawsip.h"
#include "phone/transfergate.h"

#include <QHostAddress>

#include <bctoolbox/port.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// Whether the server returns the registered contact's secret in what it routes to the phone.
enum class KeyReturn { Unknown, Returned, NotReturned };

// A call's INVITE that came from the server, and whether its Request-URI carried the secret.
struct Passed
{
    QString call_id;
    bool keyed = false;
};

struct Guard
{
    bool on = false;
    bool stream = false; // the account talks TCP or TLS: the phone listens on no UDP port
    QString host;        // the server as written in the account
    QStringList servers; // the addresses it resolved to
    quint16 server_port = 0;
    unsigned generation = 0; // counts guard() calls: a late resolution of an older host is dropped
    bool named = false;      // a name, resolved again when a call is refused from an address it may have now
    bool resolving = false;
    std::chrono::steady_clock::time_point resolved_at;
    std::deque<Passed> passed; // INVITEs from the server, newest last
    KeyReturn key_return = KeyReturn::Unknown;
    QString last_refused;
    std::function<void(const QString&)> log;
    std::atomic<quint16> sip_port{0};
};

std::mutex guard_mutex;
// Never destroyed: a resolution still running at exit may come back after static destructors.
Guard& state()
{
    static Guard* guard = new Guard;
    return *guard;
}

constexpr size_t PASSED_KEPT = 32;

// The numeric host and port of a socket address, IPv4 addresses mapped into IPv6 written as IPv4.
bool host_and_port(const sockaddr* address, QString* host, quint16* port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
        *port = ntohs(in->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
            inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof(text));
        else
            inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text));
        *port = ntohs(in6->sin6_port);
    } else {
        return false;
    }
    *host = QString::fromLatin1(text);
    return true;
}

quint16 local_port_of(bctbx_socket_t socket)
{
    sockaddr_storage local{};
    socklen_t length = sizeof(local);
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    QString host;
    quint16 port = 0;
    return host_and_port(reinterpret_cast<sockaddr*>(&local), &host, &port) ? port : 0;
}

template <typename Function>
Function library_function(const char* name, const char* library_file = "libbctoolbox.so.1")
{
    return library_hooks::library_own_function<Function>(name, library_file);
}

using RecvFrom = ssize_t (*)(bctbx_socket_t, void*, size_t, int, sockaddr*, socklen_t*);

void answer(bctbx_socket_t socket, const RawSip& sip, int code, const char* reason, const sockaddr* to,
            socklen_t to_length)
{
    const QByteArray text = sip.response(code, reason);
    ::sendto(socket, text.constData(), static_cast<size_t>(text.size()), MSG_NOSIGNAL, to, to_length);
}

constexpr std::chrono::seconds RESOLVE_AGAIN_AFTER{5};

void start_resolving(Guard& guard);

enum class Kind { KeepAlive, Text, Binary };

// Line ends alone are a keep-alive; a datagram that starts like text is read as SIP; anything else
// (RTP, STUN, DTLS) is no SIP message.
Kind kind_of(const char* data, size_t size)
{
    size_t i = 0;
    while (i < size && (data[i] == '\r' || data[i] == '\n'))
        ++i;
    if (i == size)
        return Kind::KeepAlive;
    const auto first = static_cast<unsigned char>(data[0]);
    return (first >= 0x20 && first < 0x7f) || first == '\r' || first == '\n' || first == '\t' ? Kind::Text
                                                                                              : Kind::Binary;
}

// What the library is handed instead of a refused datagram: a keep-alive, which it reads and
// drops. An error instead would make it give up the channel to that sender (for the server, the
// REGISTER or call in flight on it).
ssize_t keep_alive_instead(void* buffer, size_t length)
{
    const size_t size = std::min<size_t>(length, 2);
    std::memcpy(buffer, "\r\n", size);
    return static_cast<ssize_t>(size);
}

// An INVITE that opens a call: from the server's address and port, and with the registered contact's
// secret in its Request-URI once the server is known to return it. A server that does not return
// it (its first INVITE lacks it) still rings the phone by its address alone, but such a call is
// never answered by itself: anyone can forge a UDP source.
QString judge_invite(Guard& guard, bctbx_socket_t socket, const RawSip& sip, const sockaddr* from,
                     socklen_t from_length, bool from_server, const QString& sender, QString* note)
{
    const QString call_id = QString::fromUtf8(sip.call_id());
    const bool keyed = contact_key::carried_by(sip.request_uri());
    if (from_server && !keyed && guard.key_return == KeyReturn::Unknown) {
        guard.key_return = KeyReturn::NotReturned;
        *note = QStringLiteral("the SIP server does not return the registered contact's key: its calls ring "
                               "by its address alone, and none is answered by itself over UDP");
    }
    if (from_server && (keyed || guard.key_return != KeyReturn::Returned)) {
        if (keyed) // the server routes with the key: from now on an INVITE without it is a forger's
            guard.key_return = KeyReturn::Returned;
        const auto known = std::find_if(guard.passed.begin(), guard.passed.end(),
                                        [&](const Passed& passed) { return passed.call_id == call_id; });
        if (known == guard.passed.end()) // a resend is not kept twice
            guard.passed.push_back({call_id, keyed});
        if (guard.passed.size() > PASSED_KEPT)
            guard.passed.pop_front();
        return QString();
    }
    answer(socket, sip, 403, "Forbidden", from, from_length);
    if (from_server)
        return QStringLiteral("call refused: the INVITE from the server's address %1 lacks the registered "
                              "contact's key")
            .arg(sender);
    // The name may have moved to this address (a DNS change, a fail-over node): asked again, the
    // server's resend of the INVITE goes through once it has.
    if (guard.named && !guard.resolving &&
        std::chrono::steady_clock::now() - guard.resolved_at > RESOLVE_AGAIN_AFTER)
        start_resolving(guard);
    return QStringLiteral("call refused: the INVITE came from %1, not from the server").arg(sender);
}

// The verdict on one SIP datagram: an empty line lets it through, any other is logged (once for a
// run of the same) and the datagram is refused.
QString judge(bctbx_socket_t socket, const RawSip& sip, const sockaddr* from, socklen_t from_length,
              const QString& host, quint16 port, QString* note)
{
    const QString sender = host + QLatin1Char(':') + QString::number(port);
    if (!sip.whole())
        return QStringLiteral("SIP datagram from %1 dropped: not one whole message").arg(sender);
    const int user_length = sip.longest_uri_user();
    if (user_length > RawSip::LONGEST_URI_USER) {
        if (!sip.is_request("ACK") && !sip.is_response())
            answer(socket, sip, 400, "URI Too Long", from, from_length);
        return QStringLiteral("SIP message from %1 dropped: a URI user part of %2 characters")
            .arg(sender)
            .arg(user_length);
    }
    Guard& guard = state();
    if (!guard.on)
        return QString();
    const bool from_server = port == guard.server_port && guard.servers.contains(host);
    if (sip.is_response())
        return QString();
    if (sip.opens_a_call())
        return judge_invite(guard, socket, sip, from, from_length, from_server, sender, note);
    if (sip.is_request("ACK") && !from_server) // nothing answers an ACK
        return QStringLiteral("SIP request from %1 dropped: an ACK from outside the call's path").arg(sender);
    // Requests inside a call (and any other): only from the call's own path. Inside a call the
    // Request-URI is the phone's Contact, so it carries the secret once the server is known to return it.
    const bool in_call = !sip.to_tag().isEmpty();
    const bool keyed = contact_key::carried_by(sip.request_uri());
    const bool allowed = from_server && (!in_call || keyed || guard.key_return != KeyReturn::Returned);
    if (!allowed) {
        answer(socket, sip, 403, "Forbidden", from, from_length);
        return QStringLiteral("request refused: a %1 came from %2, not from the call's path")
            .arg(QString::fromLatin1(sip.method()), sender);
    }
    if (sip.is_request("REFER")) {
        // Only the parser can hand the library a target it may follow: without it, none is followed.
        const QString refused = library_hooks::stood_aside(library_hooks::MessageParser)
                                    ? QStringLiteral("the SIP library's parser is not the program's")
                                    : transfer_gate::refusal(sip.header("Refer-To", "r"));
        if (!refused.isEmpty()) {
            answer(socket, sip, 603, "Declined", from, from_length);
            return QStringLiteral("transfer refused: %1").arg(refused);
        }
    }
    return QString();
}

} // namespace

// The SIP library reads every UDP datagram through this function of its toolbox library, by its
// symbol table; the program's definition comes first and judges each one as the library will read
// it. A datagram it refuses reaches the library as a keep-alive.
extern "C" __attribute__((visibility("default"))) ssize_t bctbx_recvfrom(bctbx_socket_t socket, void* buffer,
                                                                         size_t length, int flags,
                                                                         sockaddr* address,
                                                                         socklen_t* address_length)
{
    static const auto real = library_function<RecvFrom>("bctbx_recvfrom");
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    if (!library_hooks::in_effect(library_hooks::DatagramReader))
        return real(socket, buffer, length, flags, address, address_length);
    sockaddr_storage source{};
    socklen_t source_length = sizeof(source);
    const ssize_t read =
        real(socket, buffer, length, flags, reinterpret_cast<sockaddr*>(&source), &source_length);
    if (address && address_length) {
        std::memcpy(address, &source, std::min<size_t>(*address_length, source_length));
        *address_length = source_length;
    }
    if (read <= 0)
        return read;
    const auto* data = static_cast<const char*>(buffer);
    const Kind kind = kind_of(data, static_cast<size_t>(read));
    if (kind == Kind::KeepAlive)
        return read;
    if (kind == Kind::Binary) {
        // Other sockets carry media and STUN; the library's own SIP socket carries nothing it
        // would not keep waiting on.
        const quint16 sip_port = state().sip_port.load();
        return sip_port != 0 && local_port_of(socket) == sip_port ? keep_alive_instead(buffer, length) : read;
    }
    const RawSip sip(QByteArray::fromRawData(data, static_cast<int>(read)));
    // The ACK for the program's own 403 or 400: the library never saw that INVITE and would answer
    // the ACK with 405, though nothing may answer an ACK. It ends here, without a log line.
    if (sip.whole() && sip.acknowledges_own_response())
        return keep_alive_instead(buffer, length);
    const auto* from = reinterpret_cast<const sockaddr*>(&source);
    QString host;
    quint16 port = 0;
    host_and_port(from, &host, &port);

    std::unique_lock<std::mutex> lock(guard_mutex);
    QString note;
    const QString line = judge(socket, sip, from, source_length, host, port, &note);
    Guard& guard = state();
    if (line.isEmpty()) {
        const std::function<void(const QString&)> log = note.isEmpty() ? nullptr : guard.log;
        lock.unlock();
        if (log)
            log(note);
        return read;
    }
    std::function<void(const QString&)> log;
    const QString key = line + QString::fromUtf8(sip.call_id());
    if (key != guard.last_refused) { // resends are refused without a line each
        guard.last_refused = key;
        log = guard.log;
    }
    lock.unlock();
    if (log)
        log(line);
    return keep_alive_instead(buffer, length);
}

namespace call_source {

QStringList resolve(const QString& host)
{
    QStringList result;
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0)
        return result;
    for (const addrinfo* item = found; item; item = item->ai_next) {
        QString text;
        quint16 port = 0;
        if (host_and_port(item->ai_addr, &text, &port) && !result.contains(text))
            result.append(text);
    }
    freeaddrinfo(found);
    return result;
}

} // namespace call_source

namespace {

// Resolves the guarded name on a thread of its own: the resolver may take its whole time-out
// (a dead DNS server) and the engine must not wait for it. Called with the guard locked.
void start_resolving(Guard& guard)
{
    guard.resolving = true;
    const unsigned generation = guard.generation;
    const QString host = guard.host;
    std::thread([host, generation] {
        const QStringList found = call_source::resolve(host);
        // Logged under the lock: the log's owner cannot go away meanwhile (it clears it first).
        const std::lock_guard<std::mutex> lock(guard_mutex);
        Guard& guard = state();
        if (guard.generation != generation)
            return;
        guard.resolving = false;
        guard.resolved_at = std::chrono::steady_clock::now();
        QString line;
        if (found.isEmpty() && guard.servers.isEmpty()) {
            line =
                QStringLiteral("SIP server %1 could not be resolved: no call is taken until it is").arg(host);
        } else if (!found.isEmpty() && found != guard.servers) {
            line = QStringLiteral("SIP server %1 is at %2").arg(host, found.join(QStringLiteral(", ")));
            guard.servers = found;
        }
        if (!line.isEmpty() && guard.log)
            guard.log(line);
    }).detach();
}

} // namespace

namespace call_source {

void guard(const QString& host, quint16 server_port)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    Guard& guard = state();
    ++guard.generation;
    if (guard.host != host || guard.server_port != server_port)
        guard.key_return = KeyReturn::Unknown; // another server: whether it returns the key is not known
    guard.on = true;
    guard.stream = false;
    guard.host = host;
    guard.server_port = server_port;
    guard.resolving = false;
    const QHostAddress numeric(host.startsWith(QLatin1Char('[')) ? host.mid(1, host.size() - 2) : host);
    guard.named = numeric.isNull();
    if (!guard.named) {
        guard.servers = QStringList(numeric.toString());
        return;
    }
    guard.servers.clear(); // every INVITE is refused until the name is resolved
    start_resolving(guard);
}

void guard_stream()
{
    stop_guarding();
    const std::lock_guard<std::mutex> lock(guard_mutex);
    state().stream = true;
}

void stop_guarding()
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    Guard& guard = state();
    ++guard.generation;
    guard.on = false;
    guard.stream = false;
    guard.key_return = KeyReturn::Unknown;
    guard.host.clear();
    guard.servers.clear();
    guard.server_port = 0;
    guard.resolving = false;
    guard.named = false;
}

void set_sip_port(int port)
{
    state().sip_port.store(port > 0 && port <= 65535 ? static_cast<quint16>(port) : 0);
}

void set_refusal_log(std::function<void(const QString&)> log)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    state().log = std::move(log);
}

void tell_once(const QString& line)
{
    std::unique_lock<std::mutex> lock(guard_mutex);
    if (line == state().last_refused)
        return;
    state().last_refused = line;
    const std::function<void(const QString&)> log = state().log;
    lock.unlock();
    if (log)
        log(line);
}

bool came_from_server(const QString& call_id)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    const Guard& guard = state();
    if (guard.stream)
        return true; // every call comes on the phone's own connection to its server
    if (!guard.on || !library_hooks::in_effect(library_hooks::DatagramReader))
        return false;
    // Only a call that carried the registered contact's key: the server's address can be forged.
    return std::any_of(guard.passed.begin(), guard.passed.end(),
                       [&](const Passed& passed) { return passed.call_id == call_id && passed.keyed; });
}

bool passed(const QString& call_id)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    const Guard& guard = state();
    if (guard.stream || !guard.on)
        return true;
    // Without the check in effect, nothing tells the server's calls from anyone's: all are refused.
    if (!library_hooks::in_effect(library_hooks::DatagramReader))
        return false;
    return std::any_of(guard.passed.begin(), guard.passed.end(),
                       [&](const Passed& passed) { return passed.call_id == call_id; });
}

bool fails_closed()
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    return state().on && !library_hooks::in_effect(library_hooks::DatagramReader);
}

bool server_drops_key()
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    return state().on && state().key_return == KeyReturn::NotReturned;
}

} // namespace call_source
