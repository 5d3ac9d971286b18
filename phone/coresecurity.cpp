#include "phone/coresecurity.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "phone/tlsaddress.h"

#include <QFile>

bool CoreSecurity::apply(LinphoneCore* core, const AccountSecurity& security, int sip_port, ZimLogger* logger)
{
    apply_transports(core, security.transport, sip_port);
    const bool encryption_ok = apply_media_encryption(core, security.encryption, logger);
    apply_nat_policy(core, security.stun_server);
    if (security.transport == AccountSecurity::TransportTls)
        apply_trust(core, security.ca_file, logger);
    return encryption_ok;
}

QString CoreSecurity::server_address(const QString& host, const QString& port,
                                     const AccountSecurity& security)
{
    const QString plain = host + QStringLiteral(":") + port;
    if (security.transport == AccountSecurity::TransportUdp)
        return plain;
    return QStringLiteral("sip:") + plain + QStringLiteral(";transport=") + security.transport_parameter();
}

// UDP listens on the administrator's port, or a random one as it always did. TCP and TLS only
// connect out: the server sends everything back over the connection the phone opened, so no
// listening socket (and for TLS no certificate of our own) is needed.
void CoreSecurity::apply_transports(LinphoneCore* core, AccountSecurity::Transport transport, int sip_port)
{
    const int udp = transport != AccountSecurity::TransportUdp ? LC_SIP_TRANSPORT_DISABLED
                    : sip_port > 0                             ? sip_port
                                                               : LC_SIP_TRANSPORT_RANDOM;
    const int tcp =
        transport == AccountSecurity::TransportTcp ? LC_SIP_TRANSPORT_DONTBIND : LC_SIP_TRANSPORT_DISABLED;
    const int tls =
        transport == AccountSecurity::TransportTls ? LC_SIP_TRANSPORT_DONTBIND : LC_SIP_TRANSPORT_DISABLED;
    LinphoneTransports* current = linphone_core_get_transports(core);
    const bool same = linphone_transports_get_udp_port(current) == udp &&
                      linphone_transports_get_tcp_port(current) == tcp &&
                      linphone_transports_get_tls_port(current) == tls;
    linphone_transports_unref(current);
    if (same)
        return; // rebinding would move the random UDP port for nothing
    LinphoneTransports* transports = linphone_factory_create_transports(linphone_factory_get());
    linphone_transports_set_udp_port(transports, udp);
    linphone_transports_set_tcp_port(transports, tcp);
    linphone_transports_set_tls_port(transports, tls);
    linphone_transports_set_dtls_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_core_set_transports(core, transports);
    linphone_transports_unref(transports);
}

// "SRTP when offered" offers and accepts SRTP but still talks to peers without it; "required"
// refuses any call whose media would go in the clear.
bool CoreSecurity::apply_media_encryption(LinphoneCore* core, AccountSecurity::Encryption encryption,
                                          ZimLogger* logger)
{
    const bool srtp = encryption != AccountSecurity::EncryptionNone;
    const bool required = encryption == AccountSecurity::EncryptionSrtpRequired;
    const bool set = linphone_core_set_media_encryption(core, srtp ? LinphoneMediaEncryptionSRTP
                                                                   : LinphoneMediaEncryptionNone) == 0;
    if (!set)
        logger->log(QStringLiteral("SRTP is not available in the SIP library") +
                        (required ? QStringLiteral(": no call is placed or taken in the clear") : QString()),
                    2);
    linphone_core_set_media_encryption_mandatory(core, required);
    return set || !required;
}

// A STUN server turns on STUN and ICE; without one the core keeps its default policy (neither),
// so an account that never had a STUN server is configured exactly as before.
void CoreSecurity::apply_nat_policy(LinphoneCore* core, const QString& stun_server)
{
    const LinphoneNatPolicy* current = linphone_core_get_nat_policy(core);
    const bool active =
        current && (linphone_nat_policy_stun_enabled(current) || linphone_nat_policy_ice_enabled(current));
    if (stun_server.isEmpty() && !active)
        return;
    LinphoneNatPolicy* policy = linphone_core_create_nat_policy(core);
    if (!stun_server.isEmpty()) {
        linphone_nat_policy_set_stun_server(policy, stun_server.toLatin1().constData());
        linphone_nat_policy_enable_stun(policy, TRUE);
        linphone_nat_policy_enable_ice(policy, TRUE);
    }
    linphone_core_set_nat_policy(core, policy);
    linphone_nat_policy_unref(policy);
}

// The server's certificate must chain to the system's CAs or to the account's own CA file, and
// name the server: its name among the DNS names, or a server written as an address among the IP
// addresses (phone/tlsaddress.h). Nothing is accepted without that check.
void CoreSecurity::apply_trust(LinphoneCore* core, const QString& ca_file, ZimLogger* logger)
{
    QByteArray roots;
    QFile system(zim::SYSTEM_CA_BUNDLE);
    if (system.open(QIODevice::ReadOnly))
        roots = system.readAll();
    if (!ca_file.isEmpty()) {
        QFile own(ca_file);
        if (own.open(QIODevice::ReadOnly))
            roots += '\n' + own.readAll();
        else
            logger->log(QStringLiteral("CA file cannot be read: ") + ca_file, 2);
    }
    linphone_core_set_root_ca_data(core, roots.constData());
    linphone_core_verify_server_certificates(core, TRUE);
    linphone_core_verify_server_cn(core, TRUE);
    tls_address::install();
}
