#pragma once

#include <QProcess>
#include <QTemporaryDir>

// GNOME Keyring's daemon as the Secret Service of the session bus this process uses (make a
// SessionBus first), with a login keyring of its own, unlocked. Ended by its PID by stop() or when
// the object goes away.
class KeyringDaemon
{
public:
    ~KeyringDaemon();
    // True once the service answers on the bus.
    bool start(int timeout_ms = 10000);
    void stop();

private:
    QTemporaryDir home;
    QProcess daemon;
};
