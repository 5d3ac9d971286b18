#include "app/instancelock.h"

InstanceLock::InstanceLock(const QString& key) : memory(key) {}

InstanceLock::~InstanceLock()
{
    release();
}

bool InstanceLock::try_acquire()
{
    if (memory.create(1, QSharedMemory::ReadWrite) && memory.error() != QSharedMemory::AlreadyExists)
        return true;
    if (memory.error() != QSharedMemory::AlreadyExists)
        return false;
    // Attaching and detaching again removes the segment when nobody else is attached,
    // which is the case only when its creator is gone.
    {
        QSharedMemory probe(memory.key());
        if (probe.attach())
            probe.detach();
    }
    return memory.create(1, QSharedMemory::ReadWrite);
}

void InstanceLock::release()
{
    if (memory.isAttached())
        memory.detach();
}
