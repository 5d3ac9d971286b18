#include "phone/sipsocket.h"

#include <QDir>

#include <netinet/in.h>
#include <sys/socket.h>

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

} // namespace sip_socket
