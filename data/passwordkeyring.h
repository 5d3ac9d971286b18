#pragma once

#include <QString>

// The SIP and operator passwords in the desktop's keyring (the Secret Service on the session
// bus: GNOME Keyring, KWallet) instead of the settings database. Every call waits for the keyring's
// answer, at most a few seconds, without taking the user's input meanwhile.
class PasswordKeyring
{
public:
    // Failed: the keyring answered with an error (locked, a stale session); Silent: no answer in time.
    enum Result { Found, Missing, Failed, Silent };

    // Only a service already running counts: asking for it by name would start one of the bus's
    // activatable services, which on a desk without a desktop session prompts nobody and hangs.
    static bool service_running();
    static Result read(const QString& key, QString* value, QString* error);
    // Found once written.
    static Result write(const QString& key, const QString& value, QString* error);
};
