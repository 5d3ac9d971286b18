#include "data/zimdata.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"

#include <QPair>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ZimData::ZimData(QObject* parent, ZimLogger* logger) : QObject(parent), logger(logger)
{
    open_database();
}

ZimData::~ZimData()
{
    const QString name = database.connectionName();
    database.close();
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QString ZimData::database_path()
{
    return zim::data_path(zim::DB_PATH);
}

void ZimData::open_database()
{
    database = QSqlDatabase::addDatabase(zim::DB_DRIVER);
    database.setDatabaseName(database_path());
    database.setUserName(zim::DB_USER);
    database.setPassword(zim::DB_PASSWORD);
    if (!database.open()) {
        logger->log(database.lastError().text(), 2);
        return;
    }
    zim::make_file_private(database_path());
    QSqlQuery query(database);
    // The program may be killed at any moment, also while a history row is written. With a
    // write-ahead log a commit is one append to the log, never a rewrite of the database in
    // place, so a kill leaves either the whole row or none and the next open recovers without
    // help; readers (the history lists, other tools) never block the writer. synchronous=FULL
    // syncs the log at each commit, so a row once reported written survives even a power cut;
    // a few history rows a minute make that cost nothing.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    query.exec(zim::SETTINGS_SCHEMA); // fails quietly when the table exists
    query.exec(zim::HISTORY_SCHEMA);
    add_history_columns();
    // Made once, also over the history of a store written before the indexes existed.
    const QPair<QString, QString> indexes[] = {
        {QStringLiteral("history_incoming"), zim::HISTORY_INCOMING_FILTER},
        {QStringLiteral("history_outgoing"), zim::HISTORY_OUTGOING_FILTER},
        {QStringLiteral("history_missed"), zim::HISTORY_MISSED_FILTER}};
    for (const auto& index : indexes)
        query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON history(Id) WHERE %2")
                       .arg(index.first, index.second));
    for (int category = Account; category <= Other; ++category)
        load_category(category);
    load_passwords();
}

// A database of an earlier version gets the columns it lacks, at the end, in one transaction;
// its rows stay as they were, with NULL in the new columns.
void ZimData::add_history_columns()
{
    QSqlQuery query(database);
    QSet<QString> present;
    if (query.exec(QStringLiteral("PRAGMA table_info(history)"))) {
        while (query.next())
            present.insert(query.value(1).toString());
    }
    if (present.isEmpty())
        return; // no history table: its creation failed, and was logged
    database.transaction();
    for (const auto& column : zim::HISTORY_ADDED_COLUMNS) {
        const QString name = QString::fromLatin1(column[0]);
        if (present.contains(name))
            continue;
        if (!query.exec(QStringLiteral("ALTER TABLE history ADD COLUMN %1 %2")
                            .arg(name, QString::fromLatin1(column[1])))) {
            logger->log(QStringLiteral("history column %1 not added: %2").arg(name, query.lastError().text()),
                        2);
            database.rollback();
            return;
        }
    }
    if (!database.commit())
        logger->log(database.lastError().text(), 2);
}

bool ZimData::ensure_open()
{
    if (database.isOpen())
        return true;
    if (database.open())
        return true;
    logger->log(database.lastError().text(), 2);
    return false;
}

void ZimData::load_category(int category)
{
    std::lock_guard lock(mutex);
    SettingsMap& map = cache(category);
    if (ensure_open()) {
        QSqlQuery query(database);
        const bool ok = query.exec(QStringLiteral("SELECT * FROM settings WHERE Category=%1").arg(category));
        while (ok && query.next())
            map[query.value(QStringLiteral("Key")).toString()] =
                query.value(QStringLiteral("Value")).toString();
        if (!ok && category != Outlink)
            logger->log(query.lastError().text(), 2);
    }
    if (category == Outlink)
        logger->log(QStringLiteral("simpleParams: ") + map[QStringLiteral("simpleParams")], 2);
}

// Upsert: update the rows of (category, key) when there are any, insert one otherwise.
bool ZimData::write_key(int category, const QString& key, const QString& value)
{
    QSqlQuery query(database);
    if (!query.prepare(QStringLiteral("SELECT * FROM settings WHERE Category=%1 AND Key=?").arg(category))) {
        logger->log(query.lastError().text(), 2);
        return false;
    }
    query.addBindValue(key);
    const bool exists = query.exec() && query.next();
    query.clear();
    bool ok;
    if (exists) {
        ok = query.prepare(
            QStringLiteral("UPDATE settings SET Value=? WHERE Category=%1 AND Key=?").arg(category));
        query.addBindValue(value);
        query.addBindValue(key);
    } else {
        ok = query.prepare(QStringLiteral("INSERT INTO settings VALUES(?,?,?)"));
        query.addBindValue(category);
        query.addBindValue(key);
        query.addBindValue(value);
    }
    if (ok && query.exec())
        return true;
    logger->log(query.lastError().text(), 2);
    return false;
}

bool ZimData::save_settings(const QMap<int, SettingsMap>& values_by_category)
{
    QMap<int, SettingsMap> allowed = values_by_category;
    {
        std::lock_guard lock(mutex);
        for (auto category = allowed.begin(); category != allowed.end(); ++category) {
            for (const QString& key : locked_keys.value(category.key()))
                category.value().remove(key);
        }
    }
    // The keyring is asked without the lock: its wait runs the event loop, and a slot it runs
    // may read the settings.
    const SettingsMap passwords = keep_passwords_in_keyring(allowed);
    std::lock_guard lock(mutex);
    return commit(allowed, passwords);
}

bool ZimData::save_provisioned(const QMap<int, SettingsMap>& values_by_category,
                               const QMap<int, QSet<QString>>& locked)
{
    QMap<int, SettingsMap> values = values_by_category;
    const SettingsMap passwords = keep_passwords_in_keyring(values);
    std::lock_guard lock(mutex);
    const bool written = commit(values, passwords);
    locked_keys = locked;
    return written;
}

// Writes the values and puts the passwords the keyring took into the cache in their place.
bool ZimData::commit(const QMap<int, SettingsMap>& values_by_category, const SettingsMap& passwords)
{
    if (!write_settings(values_by_category))
        return false;
    for (auto it = passwords.constBegin(); it != passwords.constEnd(); ++it)
        account[it.key()] = it.value();
    const SettingsMap& account_values = values_by_category.value(Account);
    for (auto it = account_values.constBegin(); it != account_values.constEnd(); ++it)
        unread_passwords.remove(it.key());
    return true;
}

bool ZimData::is_locked(int category, const QString& key) const
{
    std::lock_guard lock(mutex);
    return locked_keys.value(category).contains(key);
}

bool ZimData::write_settings(const QMap<int, SettingsMap>& values_by_category)
{
    if (!ensure_open())
        return false;
    if (!database.transaction()) {
        logger->log(database.lastError().text(), 2);
        return false;
    }
    for (auto category = values_by_category.constBegin(); category != values_by_category.constEnd();
         ++category) {
        for (auto it = category.value().constBegin(); it != category.value().constEnd(); ++it) {
            if (!write_key(category.key(), it.key(), it.value())) {
                database.rollback();
                return false;
            }
        }
    }
    if (!database.commit()) {
        logger->log(database.lastError().text(), 2);
        database.rollback();
        return false;
    }
    for (auto category = values_by_category.constBegin(); category != values_by_category.constEnd();
         ++category) {
        SettingsMap& cached = cache(category.key());
        for (auto it = category.value().constBegin(); it != category.value().constEnd(); ++it)
            cached[it.key()] = it.value();
    }
    return true;
}

SettingsMap& ZimData::cache(int category)
{
    switch (category) {
    case Account:
        return account;
    case Outlink:
        return outlink;
    case Media:
        return media;
    default:
        return other;
    }
}

const SettingsMap& ZimData::cache(int category) const
{
    return const_cast<ZimData*>(this)->cache(category);
}

SettingsMap ZimData::settings(int category) const
{
    std::lock_guard lock(mutex);
    return cache(category);
}

SettingsMap ZimData::account_settings() const
{
    return settings(Account);
}

SettingsMap ZimData::outlink_settings() const
{
    return settings(Outlink);
}

SettingsMap ZimData::media_settings() const
{
    return settings(Media);
}

SettingsMap ZimData::other_settings() const
{
    return settings(Other);
}

bool ZimData::save_account_settings(const SettingsMap& values)
{
    return save_settings({{Account, values}});
}

bool ZimData::save_outlink_settings(const SettingsMap& values)
{
    return save_settings({{Outlink, values}});
}

bool ZimData::save_media_settings(const SettingsMap& values)
{
    return save_settings({{Media, values}});
}

bool ZimData::save_other_settings(const SettingsMap& values)
{
    return save_settings({{Other, values}});
}

int ZimData::delay_hidden_remote_window()
{
    std::lock_guard lock(mutex);
    if (other.isEmpty())
        return 5;
    const QString value = other[QStringLiteral("dalayHiddenRemoteWindow")];
    if (value.isEmpty())
        return 5;
    return value.toInt(nullptr, 10); // text that is no number gives 0
}

void ZimData::delete_all_history()
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("DELETE FROM history")))
        logger->log(query.lastError().text(), 2);
}

QSqlDatabase ZimData::database_handle() const
{
    return database;
}
