#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Only the account's server rings the phone, or reaches it at all. Anyone who can reach the phone's
// SIP port could otherwise ring it directly, past the PBX (a forged caller ID of the operator's own
// extension is answered at once), or step into a call with a request of their own (a REFER that
// sends the caller elsewhere, a re-INVITE that moves the media). Over UDP every request must come
// from one of the server's addresses and its SIP port; headers such as Via prove nothing, since the
// sender writes them, and neither does the source address alone: an INVITE that opens a call (and,
// once the server is known to return it, every request inside a call) must carry the registered
// contact's key in its Request-URI (phone/contactkey.h). The check sits where the SIP library reads
// a datagram (it reads through bctbx_recvfrom, which this program supplies, callsource.cpp) and
// judges the message as the library will read it: bytes the library skips in front are skipped, and
// a datagram that is not one whole message never reaches it (the library would join it with the
// sender's next one). A refused request gets 403 there, so no popup, CRM page, notification or
// history row follows. Over TCP and TLS the phone listens on no port at all; everything comes on
// the connection it holds to the server.
// The same place drops any SIP message with a URI user part over 512 characters (a request gets
// 400): the library's parser would spend seconds on it, again for each resend. A refused datagram
// reaches the library as a keep-alive, never as a read error, which would make it drop its channel
// to that sender (the server's REGISTER or call in flight with it).
namespace call_source {

// Only the server at this host (a name or an address) and port may open a call over UDP. A name is
// resolved on a thread of its own (every address it has counts, IPv4 and IPv6); until it is,
// every INVITE is refused, and it is resolved again when one is refused, as the name may have moved
// to that address. Any thread.
void guard(const QString& host, quint16 server_port);
// The account talks TCP or TLS: the phone then listens on no port, every call comes on its own
// connection to the server, and so is the server's.
void guard_stream();
void stop_guarding();

// The library's SIP port over UDP, 0 while unknown: a datagram there that is no SIP message at all
// is dropped. Any thread.
void set_sip_port(int port);

// Where refusals and drops are told, once per call; called on the thread that reads SIP.
void set_refusal_log(std::function<void(const QString&)> log);

// Tells the refusal log this line, unless it was the last one told (resends, a run of the same).
void tell_once(const QString& line);

// True when the call with this Call-ID may ring: its INVITE went through the check and came from
// the server, or the account talks TCP or TLS, or nothing is guarded. Over UDP, when the check cannot
// be in effect (another library version), no call passes: the desk accepts unchecked calls only with
// "callsFromServerOnly" = "0". A call the check never saw (the library reading by another way) is
// refused too.
bool passed(const QString& call_id);

// True only when this call is known to be the server's: over TCP and TLS, or over UDP when its
// INVITE came from the server with the registered contact's key. Only such a call is answered by itself.
bool came_from_server(const QString& call_id);

// True while UDP calls are refused because the check cannot be in effect.
bool fails_closed();
// True once the server's first INVITE came without the registered contact's key: its calls still
// ring by its address, and none is answered by itself.
bool server_drops_key();

// The addresses of a host, resolved now (numeric hosts at once, names through the resolver).
QStringList resolve(const QString& host);

} // namespace call_source
