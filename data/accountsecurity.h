#pragma once

#include <QMap>
#include <QString>

// How the account reaches its server and protects its media, read from the account settings
// (category 1). A missing or unknown value gives the plain behaviour: UDP, no media encryption,
// no STUN, the system's CAs only, so a store written before these keys existed works unchanged.
struct AccountSecurity
{
    enum Transport { TransportUdp = 0, TransportTcp = 1, TransportTls = 2 };
    enum Encryption { EncryptionNone = 0, EncryptionSrtpIfOffered = 1, EncryptionSrtpRequired = 2 };

    Transport transport = TransportUdp;
    Encryption encryption = EncryptionNone;
    QString stun_server; // host[:port]; empty: no STUN and no ICE
    QString ca_file;     // PEM file trusted beside the system's CAs; empty: none

    static AccountSecurity from_settings(const QMap<QString, QString>& account);
    // Adds the four keys with their stored texts.
    void write_to(QMap<QString, QString>& account) const;

    // The text after "transport=" in a SIP URI ("udp", "tcp", "tls").
    QString transport_parameter() const;

    bool operator==(const AccountSecurity& other) const
    {
        return transport == other.transport && encryption == other.encryption &&
               stun_server == other.stun_server && ca_file == other.ca_file;
    }
    bool operator!=(const AccountSecurity& other) const { return !(*this == other); }
};
