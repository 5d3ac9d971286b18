#include "app/instancelock.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString& path) : path(path) {}

InstanceLock::~InstanceLock()
{
    release();
}

bool InstanceLock::try_acquire()
{
    release();
    // Close-on-exec: helper processes the phone starts must not keep the lock after it ends.
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        // Without a lock file the phone still runs; a second one may start beside it.
        std::fprintf(stderr, "velora-softphone: %s: %s; starting without the single-instance lock\n",
                     qPrintable(path), std::strerror(errno));
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    const int error = errno;
    release();
    if (error == EWOULDBLOCK)
        return false;
    std::fprintf(stderr, "velora-softphone: %s: %s; starting without the single-instance lock\n",
                 qPrintable(path), std::strerror(error));
    return true;
}

void InstanceLock::release()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}
