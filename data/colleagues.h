#pragma once

#include <QList>
#include <QString>

// The colleagues whose lines the phone watches: a name and an extension each, kept under one key
// of the other settings as lines of "name,extension" (so an administrator's provisioning sets
// and locks the list with one key: colleagues = 佐藤,201\n鈴木,202).
struct Colleague
{
    QString name;
    QString extension;

    bool operator==(const Colleague& other) const
    {
        return name == other.name && extension == other.extension;
    }
};

namespace colleagues {
inline const QString KEY = QStringLiteral("colleagues");
const int MAX = 32;

// Lines without an extension, or whose extension holds more than a SIP user part may, are left
// out, and so is every one after the 32nd; a repeated extension counts once. A line without a
// comma is an extension alone (its name is the extension).
QList<Colleague> from_text(const QString& text);
QString to_text(const QList<Colleague>& list);
// Whether the text can name one colleague's line (digits, letters and . - _ * # +).
bool valid_extension(const QString& extension);
} // namespace colleagues
