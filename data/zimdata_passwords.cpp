// The SIP and operator passwords in the desktop's keyring when a Secret Service runs: the
// settings table then holds empty values for them and "passwordStore" = "keyring".
#include "data/zimdata.h"

#include "data/passwordkeyring.h"
#include "data/zimlogger.h"

namespace {
const QString KEY_PASSWORD_STORE = QStringLiteral("passwordStore");
const QString IN_KEYRING = QStringLiteral("keyring");
const QStringList PASSWORD_KEYS = {QStringLiteral("password"), QStringLiteral("operatorPW")};
} // namespace

bool ZimData::keyring_running()
{
    if (PasswordKeyring::service_running())
        return true;
    if (!no_keyring_logged)
        logger->log(
            QStringLiteral("passwords kept in the settings database: no Secret Service on the session bus"),
            1);
    no_keyring_logged = true;
    return false;
}

// At the start, before anyone reads the settings: the keyring's passwords into the cache, and
// passwords the table still holds (a store of an earlier version) into the keyring.
void ZimData::load_passwords()
{
    QMap<int, SettingsMap> to_move;
    bool in_keyring = account.value(KEY_PASSWORD_STORE) == IN_KEYRING;
    for (const QString& key : PASSWORD_KEYS) {
        if (!account.value(key).isEmpty())
            to_move[Account][key] = account.value(key);
    }
    if (!in_keyring && to_move.isEmpty())
        return;
    if (in_keyring && !PasswordKeyring::service_running()) {
        logger->log(
            QStringLiteral("passwords are kept in the desktop keyring, but no Secret Service runs on the "
                           "session bus: the SIP password is asked for in the settings window"),
            2);
        sip_password_lost = account.value(QStringLiteral("password")).isEmpty();
        return;
    }
    if (!in_keyring && !keyring_running())
        return;
    for (const QString& key : PASSWORD_KEYS) {
        if (!in_keyring || to_move.value(Account).contains(key))
            continue;
        QString value, error;
        const PasswordKeyring::Result result = PasswordKeyring::read(key, &value, &error);
        if (result == PasswordKeyring::Found) {
            account[key] = value;
            continue;
        }
        logger->log(QStringLiteral("%1 not in the keyring (%2): it is asked for again").arg(key, error), 2);
        sip_password_lost = sip_password_lost || key == QLatin1String("password");
        if (result == PasswordKeyring::Failed)
            break; // a keyring that did not answer once is not waited for twice
    }
    if (to_move.isEmpty())
        return;
    const SettingsMap passwords = keep_passwords_in_keyring(to_move);
    if (passwords.isEmpty())
        return;
    std::lock_guard lock(mutex);
    if (commit(to_move, passwords))
        logger->log(QStringLiteral("passwords moved into the desktop keyring"), 1);
}

SettingsMap ZimData::keep_passwords_in_keyring(QMap<int, SettingsMap>& values_by_category)
{
    if (!values_by_category.contains(Account))
        return {};
    SettingsMap& values = values_by_category[Account];
    SettingsMap passwords;
    for (const QString& key : PASSWORD_KEYS) {
        if (values.contains(key))
            passwords.insert(key, values.value(key));
    }
    if (passwords.isEmpty())
        return {};
    QString error;
    bool kept = keyring_running();
    for (auto it = passwords.constBegin(); kept && it != passwords.constEnd(); ++it)
        kept = PasswordKeyring::write(it.key(), it.value(), &error);
    if (!kept) {
        if (!error.isEmpty())
            logger->log(
                QStringLiteral("passwords kept in the settings database: the keyring refused them (%1)")
                    .arg(error),
                2);
        // As before the keyring: the passwords in the table, where the next start looks first.
        if (settings(Account).value(KEY_PASSWORD_STORE) == IN_KEYRING)
            values.insert(KEY_PASSWORD_STORE, QString());
        return {};
    }
    for (auto it = passwords.constBegin(); it != passwords.constEnd(); ++it)
        values.insert(it.key(), QString());
    values.insert(KEY_PASSWORD_STORE, IN_KEYRING);
    return passwords;
}
