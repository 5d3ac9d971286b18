#pragma once

#include "data/zimdata.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

// An administrator's settings for many desks: velora-softphone/provisioning.ini in the system's
// configuration folders, and the file its `url` names. INI text: sections [account], [link],
// [media] and [other] hold keys of categories 1 to 4 with the names the settings table uses, each
// section may lock some of them ("locked = key, key"), and "url" and "caFile" come before the
// first section. Values may carry ${USER} and ${UID}, and "\n" for a line break.
class Provisioning
{
public:
    // Reads the text; on a malformed line returns false and says where in *error ("<origin> line
    // <n>: <reason>"), and *result is left as it was: a broken file gives nothing at all.
    static bool parse(const QByteArray& text, const QString& origin, Provisioning* result, QString* error);
    // A value's text with ${USER} and ${UID} replaced and the escapes "\n" and "\\" read; false for
    // any other ${...}.
    static bool expand(const QString& raw, const QString& user, uint uid, QString* value);
    // parse() of a file; a file that cannot be read is an error of line 0.
    static bool read_file(const QString& path, Provisioning* result, QString* error);
    // The first velora-softphone/provisioning.ini of $XDG_CONFIG_DIRS (/etc/xdg when unset), or empty.
    static QString find_file();
    // Where the last good copy of the file from `url` is kept, in the user's data folder.
    static QString saved_copy_path();

    // Applies the files in order: a locked value replaces the stored one, an unlocked one fills
    // only a key whose stored value is empty (a password the keyring holds but did not give is not
    // empty). Their locked keys together become the store's locks.
    // Returns the category-1 keys whose value changed (the account to register again).
    static QSet<QString> apply(ZimData* data, const QList<Provisioning>& files);

    QMap<int, SettingsMap> values;
    QMap<int, QSet<QString>> locked;
    QString url;
    QString ca_file;
};
