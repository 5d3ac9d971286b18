#pragma once

#include <sys/types.h>

namespace zim {
// The user id the process at the other end of a connected Unix socket ran as when it connected
// (the kernel's record, which the peer cannot forge); -1 when it cannot be read.
long long peer_uid(int socket_fd);
// True when that is this process's own user.
bool peer_is_same_user(int socket_fd);
} // namespace zim
