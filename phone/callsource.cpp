#include "phone/callsource.h"

#include "phone/libraryhooks.h"
#include "phone/rawsip.h"

#include <bctoolbox/port.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

struct Guard
{
    quint16 local_port = 0;
    QStringList servers;
    quint16 server_port = 0;
    std::deque<QString> passed; // Call-IDs of INVITEs from the server, newest last
    QString last_refused;
    std::function<void(const QString&)> log;
};

std::mutex guard_mutex;
Guard& state()
{
    static Guard guard;
    return guard;
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

using RecvFrom = ssize_t (*)(bctbx_socket_t, void*, size_t, int, sockaddr*, socklen_t*);

RecvFrom library_recvfrom()
{
    static const RecvFrom real = [] {
        auto found = reinterpret_cast<RecvFrom>(dlsym(RTLD_NEXT, "bctbx_recvfrom"));
        if (!found) {
            if (void* library = dlopen("libbctoolbox.so.1", RTLD_LAZY | RTLD_NOLOAD))
                found = reinterpret_cast<RecvFrom>(dlsym(library, "bctbx_recvfrom"));
        }
        return found;
    }();
    return real;
}

// Longer user parts are no number or name anyone dials; the library's parser would spend seconds
// on each.
constexpr int LONGEST_URI_USER = 512;

void answer(bctbx_socket_t socket, const RawSip& sip, int code, const char* reason, const sockaddr* to,
            socklen_t to_length)
{
    const QByteArray text = sip.response(code, reason);
    ::sendto(socket, text.constData(), static_cast<size_t>(text.size()), MSG_NOSIGNAL, to, to_length);
}

bool looks_like_sip(const QByteArray& datagram)
{
    const int end = datagram.indexOf('\n');
    const QByteArray first = (end < 0 ? datagram : datagram.left(end)).trimmed();
    return first.startsWith("SIP/2.0 ") || first.endsWith(" SIP/2.0");
}

} // namespace

// The SIP library reads every UDP datagram through this function of its toolbox library, by its
// symbol table; the program's definition comes first and hands each datagram on unchanged, except
// an INVITE that opens a call from anywhere but the server.
extern "C" __attribute__((visibility("default"))) ssize_t bctbx_recvfrom(bctbx_socket_t socket, void* buffer,
                                                                         size_t length, int flags,
                                                                         sockaddr* address,
                                                                         socklen_t* address_length)
{
    const RecvFrom real = library_recvfrom();
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
    const QByteArray datagram(static_cast<const char*>(buffer), static_cast<int>(read));
    if (!looks_like_sip(datagram))
        return read; // the library's other traffic (STUN)
    const RawSip sip(datagram);
    const auto* from = reinterpret_cast<const sockaddr*>(&source);
    QString host;
    quint16 port = 0;
    host_and_port(from, &host, &port);

    QString line;
    const int user_length = sip.longest_uri_user();
    std::unique_lock<std::mutex> lock(guard_mutex);
    Guard& guard = state();
    const QString call_id = QString::fromUtf8(sip.header("Call-ID", "i"));
    if (user_length > LONGEST_URI_USER) {
        if (!sip.is_request("ACK") && !datagram.startsWith("SIP/2.0 "))
            answer(socket, sip, 400, "URI Too Long", from, source_length);
        line = QStringLiteral("SIP message from %1:%2 dropped: a URI user part of %3 characters")
                   .arg(host)
                   .arg(port)
                   .arg(user_length);
    } else if (!sip.opens_a_call() || guard.local_port == 0 || local_port_of(socket) != guard.local_port) {
        return read;
    } else if (port == guard.server_port && guard.servers.contains(host)) {
        guard.passed.push_back(call_id);
        if (guard.passed.size() > PASSED_KEPT)
            guard.passed.pop_front();
        return read;
    } else {
        answer(socket, sip, 403, "Forbidden", from, source_length);
        line = QStringLiteral("call refused: the INVITE came from %1:%2, not from the server")
                   .arg(host)
                   .arg(port);
    }
    std::function<void(const QString&)> log;
    if (call_id != guard.last_refused) { // resends are refused without a line each
        guard.last_refused = call_id;
        log = guard.log;
    }
    lock.unlock();
    if (log)
        log(line);
    errno = EWOULDBLOCK;
    return -1;
}

namespace call_source {

void guard(quint16 local_port, const QStringList& server_addresses, quint16 server_port)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    Guard& guard = state();
    guard.local_port = local_port;
    guard.servers = server_addresses;
    guard.server_port = server_port;
}

void stop_guarding()
{
    guard(0, QStringList(), 0);
}

void set_refusal_log(std::function<void(const QString&)> log)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    state().log = std::move(log);
}

bool came_from_server(const QString& call_id)
{
    const std::lock_guard<std::mutex> lock(guard_mutex);
    const Guard& guard = state();
    return guard.local_port != 0 &&
           std::find(guard.passed.begin(), guard.passed.end(), call_id) != guard.passed.end();
}

bool passed(const QString& call_id)
{
    std::unique_lock<std::mutex> lock(guard_mutex);
    if (state().local_port == 0 || !library_hooks::in_effect(library_hooks::DatagramReader))
        return true;
    lock.unlock();
    return came_from_server(call_id); // a guard ended meanwhile refuses: the safe side
}

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
