#include "phone/contactkey.h"

#include <QList>
#include <QRandomGenerator>

namespace {

const QByteArray NAME = QByteArrayLiteral("vk");

const QByteArray& key()
{
    static const QByteArray value = [] {
        QByteArray bytes(16, '\0');
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), 4);
        return bytes.toHex();
    }();
    return value;
}

// The URI's parameters: after its host, up to its headers ("?...") or the end of an address (">").
bool has_key(const QByteArray& uri)
{
    QByteArray text = uri;
    const int end = text.indexOf('>');
    if (end >= 0)
        text.truncate(end);
    const int headers = text.indexOf('?');
    if (headers >= 0)
        text.truncate(headers);
    const int at = text.lastIndexOf('@');
    const QList<QByteArray> parts = text.mid(at < 0 ? 0 : at).split(';');
    for (int i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts.at(i).trimmed();
        const int equals = part.indexOf('=');
        if (equals > 0 && part.left(equals).trimmed().toLower() == NAME &&
            part.mid(equals + 1).trimmed() == key())
            return true;
    }
    return false;
}

} // namespace

namespace contact_key {

QString parameter()
{
    return QString::fromLatin1(NAME + '=' + key());
}

QString secret()
{
    return QString::fromLatin1(key());
}

bool carried_by(const QByteArray& uri)
{
    return has_key(uri);
}
} // namespace contact_key
