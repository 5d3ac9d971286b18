#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Only the account's server rings the phone. Anyone who can reach the phone's SIP port could
// otherwise ring it directly, past the PBX, and a forged caller ID of the operator's own extension
// is answered at once. Over UDP an INVITE that opens a call must come from the server's address
// and SIP port; headers such as Via prove nothing, since the sender writes them. The check sits
// where the SIP library reads a datagram (it reads through bctbx_recvfrom, which this program
// supplies, callsource.cpp): a refused INVITE gets 403 there and never reaches the library, so no
// popup, CRM page, notification or history row follows. Over TCP and TLS the phone listens on no
// port at all; calls can only come on the connection it holds to the server.
// The same place drops any SIP message with a URI user part over 512 characters (a request gets
// 400): the library's parser would spend seconds on it, again for each resend.
namespace call_source {

// The engine's SIP port over UDP and the addresses its server may send from; an empty list refuses
// every INVITE on that port (the server's name is still being resolved). `local_port` 0 ends the
// check. Any thread.
void guard(quint16 local_port, const QStringList& server_addresses, quint16 server_port);
void stop_guarding();

// Where refusals and drops are told, once per call; called on the thread that reads SIP.
void set_refusal_log(std::function<void(const QString&)> log);

// True when the INVITE with this Call-ID went through the check and came from the server, or
// when nothing is guarded. A call the check never saw (the library reading by another way) is
// refused by the engine too.
bool passed(const QString& call_id);

// True only when a server is guarded and this call's INVITE came from it.
bool came_from_server(const QString& call_id);

// The server's addresses, resolved now (numeric hosts at once, names through the resolver).
QStringList resolve(const QString& host);

} // namespace call_source
