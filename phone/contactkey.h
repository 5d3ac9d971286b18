#pragma once

#include <QByteArray>
#include <QString>

// A secret the phone puts in the Contact it registers (a URI parameter), new at each start. Only the
// registrar learns it from the REGISTER, and it comes back in the Request-URI of what the registrar
// routes to that contact: an INVITE it brings, and every request inside a call, whose Request-URI is
// the phone's Contact. A source address proves nothing on UDP (anyone can forge the server's); this
// secret does, as long as the server returns it. Never logged.
namespace contact_key {

// The parameter as it goes into the Contact ("name=value").
QString parameter();
// The secret alone, for masking logs.
QString secret();
// True when the URI (a Request-URI or a Contact's URI, as written) carries the parameter.
bool carried_by(const QByteArray& uri);

} // namespace contact_key
