// The SIP and operator passwords in the desktop's keyring when a Secret Service runs: the
// settings table then holds an empty value for each of them, and "passwordStore" names the ones
// the keyring holds ("keyring" for both, as an earlier version wrote it). Each password lives in
// one place, the keyring or the table, and is read back from there at the next start.
#include "data/zimdata.h"

#include "data/passwordkeyring.h"
#include "data/zimlogger.h"

namespace {
const QString KEY_PASSWORD_STORE = QStringLiteral("passwordStore");
const QString ALL_IN_KEYRING = QStringLiteral("keyring");
const QStringList PASSWORD_KEYS = {QStringLiteral("password"), QStringLiteral("operatorPW")};

QSet<QString> keys_in_keyring(const QString& store)
{
    if (store == ALL_IN_KEYRING)
        return QSet<QString>(PASSWORD_KEYS.begin(), PASSWORD_KEYS.end());
    QSet<QString> keys;
    for (const QString& key : store.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (PASSWORD_KEYS.contains(key.trimmed()))
            keys.insert(key.trimmed());
    }
    return keys;
}

QString store_value(const QSet<QString>& keys)
{
    if (keys.size() == PASSWORD_KEYS.size())
        return ALL_IN_KEYRING;
    QStringList named;
    for (const QString& key : PASSWORD_KEYS) {
        if (keys.contains(key))
            named << key;
    }
    return named.join(QLatin1Char(','));
}
} // namespace

// Asked once: a later save neither waits for the bus again nor, with the bus disabled, touches it.
bool ZimData::keyring_running()
{
    if (keyring == KeyringUnknown)
        keyring = PasswordKeyring::service_running() ? KeyringRunning : KeyringAbsent;
    return keyring == KeyringRunning;
}

// At the start, before anyone reads the settings: the keyring's passwords into the cache, and
// passwords the table holds into the keyring.
void ZimData::load_passwords()
{
    QMap<int, SettingsMap> to_move;
    for (const QString& key : PASSWORD_KEYS) {
        if (!account.value(key).isEmpty())
            to_move[Account][key] = account.value(key);
    }
    QSet<QString> to_read = keys_in_keyring(account.value(KEY_PASSWORD_STORE));
    for (const QString& key : to_move.value(Account).keys())
        to_read.remove(key); // written to the table after the keyring refused it
    if (to_read.isEmpty() && to_move.isEmpty())
        return;
    if (!keyring_running()) {
        if (!to_read.isEmpty())
            logger->log(QStringLiteral("%1 kept in the desktop keyring, but no Secret Service runs on the "
                                       "session bus: asked for again, never saved empty over it")
                            .arg(QStringList(to_read.values()).join(QStringLiteral(", "))),
                        2);
        unread_passwords = to_read;
        return;
    }
    for (const QString& key : PASSWORD_KEYS) {
        if (!to_read.contains(key))
            continue;
        QString value, error;
        const PasswordKeyring::Result result =
            keyring == KeyringSilent ? PasswordKeyring::Silent : PasswordKeyring::read(key, &value, &error);
        if (result == PasswordKeyring::Found) {
            account[key] = value;
            continue;
        }
        unread_passwords.insert(key);
        if (keyring == KeyringSilent)
            continue;
        logger->log(QStringLiteral("%1 not in the keyring (%2): it is asked for again").arg(key, error), 2);
        if (result == PasswordKeyring::Silent)
            keyring = KeyringSilent; // a keyring that did not answer once is not waited for again
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

// Each password of the save goes into the keyring, or, when the keyring is absent or refuses it,
// into the table; the passwords not in this save stay where they are.
SettingsMap ZimData::keep_passwords_in_keyring(QMap<int, SettingsMap>& values_by_category)
{
    if (!values_by_category.contains(Account))
        return {};
    SettingsMap& values = values_by_category[Account];
    const QString store = settings(Account).value(KEY_PASSWORD_STORE);
    QSet<QString> in_keyring = keys_in_keyring(store);
    SettingsMap passwords;
    bool refused = false;
    for (const QString& key : PASSWORD_KEYS) {
        if (!values.contains(key))
            continue;
        const QString value = values.value(key);
        if (value.isEmpty() && unread_passwords.contains(key)) {
            values.remove(key); // the field only showed what the keyring did not give
            continue;
        }
        QString error;
        const PasswordKeyring::Result written = refused || !keyring_running()
                                                    ? PasswordKeyring::Failed
                                                    : PasswordKeyring::write(key, value, &error);
        if (written == PasswordKeyring::Found) {
            passwords.insert(key, value);
            values.insert(key, QString());
            in_keyring.insert(key);
            continue;
        }
        in_keyring.remove(key); // the table holds it now, where the next start reads it
        if (keyring == KeyringRunning && !refused) {
            logger->log(QStringLiteral("%1 kept in the settings database: the keyring refused it (%2)")
                            .arg(key, error),
                        2);
        } else if (!refused && !no_keyring_logged) {
            logger->log(QStringLiteral("passwords kept in the settings database: %1")
                            .arg(keyring == KeyringSilent
                                     ? QStringLiteral("the keyring did not answer at the start")
                                     : QStringLiteral("no Secret Service on the session bus")),
                        1);
            no_keyring_logged = true;
        }
        if (written == PasswordKeyring::Silent)
            keyring = KeyringSilent;
        refused = true; // one wait for a refusing keyring per save
    }
    const QString new_store = store_value(in_keyring);
    if (new_store != store)
        values.insert(KEY_PASSWORD_STORE, new_store);
    return passwords;
}
