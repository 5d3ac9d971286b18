#pragma once

#include <QString>

// A TLS server written as an address (sips to 127.0.0.1, 192.0.2.10) is checked against the IP
// address entries of its certificate. The SIP library's TLS matches the name it connected to
// against the certificate's DNS names only, so such a server never passed although its
// certificate names that very address; operators type addresses.
namespace tls_address {
// Hands the library the check of the address entry; once is enough, more are harmless.
void install();
// The server name the library gave this TLS context; empty when it gave none or the context was
// freed.
QString server_name(const void* context);
} // namespace tls_address
