#pragma once

#include <QMap>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

#include <mutex>

class ZimLogger;

using SettingsMap = QMap<QString, QString>;

// Owner of the SQLite database: the settings table (four categories cached in memory) and the
// history table's schema. The caches may be read from the engine thread while the interface
// thread saves, so they are guarded and handed out as copies.
class ZimData : public QObject
{
    Q_OBJECT
public:
    enum Category { Account = 1, Outlink = 2, Media = 3, Other = 4 };

    ZimData(QObject* parent, ZimLogger* logger);
    ~ZimData() override;

    SettingsMap settings(int category) const;
    SettingsMap account_settings() const;
    SettingsMap outlink_settings() const;
    SettingsMap media_settings() const;
    SettingsMap other_settings() const;

    // Each writes only the keys given; false when any statement failed (the keys before the
    // failure stay written, the failed ones keep their cached value).
    bool save_account_settings(const SettingsMap& values);
    bool save_outlink_settings(const SettingsMap& values);
    bool save_media_settings(const SettingsMap& values);
    bool save_other_settings(const SettingsMap& values);
    // A window's save: every key of every category in one transaction, all or none; the cached
    // settings change only once the transaction is committed.
    // Keys the administrator locked are left out: they keep the provisioned value.
    bool save_settings(const QMap<int, SettingsMap>& values_by_category);

    // The administrator's provisioning: writes its values (locked keys included) and makes `locked`
    // the keys no later save may change, until the next call.
    bool save_provisioned(const QMap<int, SettingsMap>& values_by_category,
                          const QMap<int, QSet<QString>>& locked);
    bool is_locked(int category, const QString& key) const;

    // The SIP password belongs in the keyring but the keyring did not give it: the user is asked
    // for it instead of the phone registering without one.
    bool sip_password_missing() const { return unread_passwords.contains(QStringLiteral("password")); }
    // The keyring holds this password but did not give it at the start: its empty value is no
    // empty password.
    bool password_unread(const QString& key) const { return unread_passwords.contains(key); }

    // Seconds the remote-site window stays after a call: 5 when unset, 0 for text that is no number.
    int delay_hidden_remote_window();

    void delete_all_history();
    QSqlDatabase database_handle() const;

    static QString database_path();

private:
    void open_database();
    void add_history_columns();
    bool ensure_open();
    void load_category(int category);
    bool write_key(int category, const QString& key, const QString& value);
    bool write_settings(const QMap<int, SettingsMap>& values_by_category);
    // Passwords in the keyring: read at the start, moved there from the database, and taken out
    // of a save (the database gets an empty value); the returned passwords go to the cache only.
    void load_passwords();
    SettingsMap keep_passwords_in_keyring(QMap<int, SettingsMap>& values_by_category);
    bool keyring_running();
    bool commit(const QMap<int, SettingsMap>& values_by_category, const SettingsMap& passwords);
    SettingsMap& cache(int category);
    const SettingsMap& cache(int category) const;

    QSqlDatabase database;
    ZimLogger* logger;
    SettingsMap account;
    SettingsMap outlink;
    SettingsMap media;
    SettingsMap other;
    QMap<int, QSet<QString>> locked_keys;
    // Passwords the keyring holds but did not give at the start: an empty value saved for one of
    // them is no new password, and never goes over the one in the keyring.
    QSet<QString> unread_passwords;
    enum KeyringState { KeyringUnknown, KeyringRunning, KeyringAbsent, KeyringSilent };
    KeyringState keyring = KeyringUnknown; // the session bus is asked once
    bool no_keyring_logged = false;
    mutable std::mutex mutex; // the standard one, which the thread checker sees
};
