#include "app/peeruid.h"

#include <sys/socket.h>
#include <unistd.h>

namespace zim {

long long peer_uid(int socket_fd)
{
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(socket_fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return -1;
    return credentials.uid;
}

bool peer_is_same_user(int socket_fd)
{
    return peer_uid(socket_fd) == static_cast<long long>(::geteuid());
}

} // namespace zim
