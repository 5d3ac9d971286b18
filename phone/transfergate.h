#pragma once

#include <QByteArray>
#include <QString>

typedef struct _belle_sip_message belle_sip_message_t;

// A transfer the other party asks for (a REFER inside a call) is followed only as the operator could
// have dialled it: the target's number through the account, at the account's server, never a host the
// REFER names (toll fraud, a pivot to another host). A target the phone would not dial is refused and
// the call goes on; a desk whose PBX must never move the operator refuses every REFER with the other
// setting "acceptTransfers" = "0". The SIP library answers a REFER and follows it by itself, so the
// gate sits where the message arrives: the datagram reader answers a refused one 603, and the parser
// hands the library a followed one with its target rewritten (over TCP and TLS, where nothing may be
// written into the stream, a refused one reaches the library without its target, and it answers 400).
namespace transfer_gate {

// Engine thread. `server` is "host:port" of the account's server, empty without a complete account
// (then nothing is followed); `transport` its transport parameter ("tcp", "tls"), empty for UDP.
void configure(bool accept, const QString& server, const QString& transport);

// The number a REFER's Refer-To value names as the operator could dial it (digits, "*", "#", a
// leading "+"), empty when it names none.
QByteArray number_of(const QByteArray& refer_to);

// Empty when a REFER with this Refer-To value is followed, else why it is refused.
QString refusal(const QByteArray& refer_to);

// On a message the library's parser read: a REFER's target is rewritten to the number at the
// account's server, or removed when it is refused. Any thread the library parses on.
void apply(belle_sip_message_t* message);

} // namespace transfer_gate
