#include "data/accountsecurity.h"

#include "data/zimconstants.h"

#include <QStringList>

namespace {

// Stored texts, in the order of the enums.
const QStringList TRANSPORT_VALUES = {QStringLiteral("UDP"), QStringLiteral("TCP"), QStringLiteral("TLS")};
const QStringList ENCRYPTION_VALUES = {QStringLiteral("none"), QStringLiteral("srtp"),
                                       QStringLiteral("srtpRequired")};

int index_of(const QStringList& values, const QString& value)
{
    const int index = values.indexOf(value.trimmed());
    return index < 0 ? 0 : index;
}

} // namespace

AccountSecurity AccountSecurity::from_settings(const QMap<QString, QString>& account)
{
    AccountSecurity security;
    security.transport =
        static_cast<Transport>(index_of(TRANSPORT_VALUES, account.value(zim::KEY_TRANSPORT).toUpper()));
    security.encryption =
        static_cast<Encryption>(index_of(ENCRYPTION_VALUES, account.value(zim::KEY_MEDIA_ENCRYPTION)));
    security.stun_server = account.value(zim::KEY_STUN_SERVER).trimmed();
    security.ca_file = account.value(zim::KEY_CA_FILE).trimmed();
    return security;
}

void AccountSecurity::write_to(QMap<QString, QString>& account) const
{
    account.insert(zim::KEY_TRANSPORT, TRANSPORT_VALUES.value(transport));
    account.insert(zim::KEY_MEDIA_ENCRYPTION, ENCRYPTION_VALUES.value(encryption));
    account.insert(zim::KEY_STUN_SERVER, stun_server);
    account.insert(zim::KEY_CA_FILE, ca_file);
}

QString AccountSecurity::transport_parameter() const
{
    return TRANSPORT_VALUES.value(transport).toLower();
}
