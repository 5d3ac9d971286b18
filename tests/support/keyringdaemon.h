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
    // Locks the default collection, as a screen lock does: writes then need an unlock nobody gives.
    bool lock();
    // Unlocks it again with the login keyring's password, as the user would at the prompt.
    bool unlock();
    // A stopped daemon (SIGSTOP) keeps its name on the bus and answers nothing until resumed.
    void pause(bool paused);

private:
    QTemporaryDir home;
    QProcess daemon;
};
