#include "phone/sipsocket.h"

#include <QDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sip_socket {

bool is_udp_on(int fd, int port)
{
    if (fd < 0 || port <= 0)
        return false;
    int type = 0;
    socklen_t type_length = sizeof(type);
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_length) != 0 || type != SOCK_DGRAM)
        return false;
    sockaddr_storage local{};
    socklen_t length = sizeof(local);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return false;
    if (local.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port) == port;
    if (local.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port) == port;
    return false;
}

int find_udp(int port)
{
    if (port <= 0)
        return -1;
    const QStringList entries = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& entry : entries) {
        bool number = false;
        const int fd = entry.toInt(&number);
        if (number && is_udp_on(fd, port))
            return fd;
    }
    return -1;
}

bool udp_port_free(int port)
{
    int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool bound = false;
    if (fd >= 0) {
        const int dual = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &dual, sizeof(dual));
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = htons(static_cast<uint16_t>(port));
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof(any)) == 0;
    } else { // no IPv6 on this machine
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(static_cast<uint16_t>(port));
        bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof(any)) == 0;
    }
    if (fd >= 0)
        ::close(fd);
    return bound;
}

} // namespace sip_socket
