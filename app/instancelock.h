#pragma once

#include <QSharedMemory>
#include <QString>

// The one-byte shared-memory segment whose existence marks the running first instance.
// A segment left behind by a process that died without detaching (a crash, SIGKILL) is
// reclaimed, so that a dead instance never turns later starts into messengers.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& key);
    ~InstanceLock();

    // True when this process is now the first instance.
    bool try_acquire();
    void release();

private:
    QSharedMemory memory;
};
