#pragma once

#include "data/accountsecurity.h"

#include <QString>

#include <linphone/core.h>

class ZimLogger;

// Puts an account's transport, media encryption, NAT traversal and TLS trust into the SIP core.
// Engine thread only, like every other use of the core.
class CoreSecurity
{
public:
    // False when the account requires SRTP and the library could not set it up: no call may be
    // placed or taken then, since it would go in the clear.
    // sip_port: the local UDP port, 0 for a random one.
    static bool apply(LinphoneCore* core, const AccountSecurity& security, int sip_port, ZimLogger* logger);
    // The proxy address: "host:port" for UDP as always, with the transport named otherwise.
    static QString server_address(const QString& host, const QString& port, const AccountSecurity& security);

    static void apply_transports(LinphoneCore* core, AccountSecurity::Transport transport, int sip_port);

private:
    static bool apply_media_encryption(LinphoneCore* core, AccountSecurity::Encryption encryption,
                                       ZimLogger* logger);
    static void apply_nat_policy(LinphoneCore* core, const QString& stun_server);
    static void apply_trust(LinphoneCore* core, const QString& ca_file, ZimLogger* logger);
};
