#pragma once

#include <QString>

// The lock whose holder is the running first instance: an exclusive flock on a file in the user's
// private folder. The kernel drops it when its process ends, however it ends, so a crash never
// leaves it held and a dead instance never turns later starts into messengers. The file stays
// behind on purpose: removing it would let two processes lock two different files.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process is now the first instance.
    bool try_acquire();
    void release();

private:
    QString path;
    int fd = -1;
};
