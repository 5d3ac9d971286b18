#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>

// Every place where this program reaches into the SIP and media libraries past their API, in one
// list. Each hook was written for the libraries of Debian 12 (liblinphone 5.1 with belle-sip,
// mediastreamer2 and bctoolbox of the same release). At start each proves that the library is that
// version and that the hook is in effect; one that cannot stands aside with one line in the log,
// and the phone then behaves there as the plain library does.
//
//   sal_address_as_string   addresstext.cpp     address text that grows with the address (the
//                                               library's own cuts it at 1023 bytes)
//   bctbx_recvfrom          callsource.cpp      every datagram read first: only the server rings
//   pulse_card_desc,        soundserverwait.cpp the drivers' detection waits for a stalled sound
//   alsa_card_desc                              server 2 s at most
//   card names              soundcardnames.cpp  devices of one name told apart ("#2")
//   belle_sip_message_parse_raw                 a message head with an overlong URI is not parsed
//                           messageparser.cpp   (over TCP and TLS, where no datagram is read)
//   bctbx_ssl_set_hostname, tlsaddress.cpp      a TLS server written as an address is checked
//   bctbx_ssl_handshake,                        against the certificate's address entries; the
//   bctbx_ssl_context_free                      name of each connection is kept while it lives
//   ms_ticker_synchronizer_update,              a microphone that stalls leaves no backlog; the
//   ms_flow_controlled_bufferizer_*             sound queues trim every second
//                           soundclock.cpp
namespace library_hooks {

enum Hook {
    AddressText,
    DatagramReader,
    SoundServerWait,
    CardNames,
    MessageParser,
    TlsServerName,
    SoundClock,
    HOOK_COUNT
};

// The hook's name in the log.
const char* name(Hook hook);

// The checks of the hooks that need no core, once per process (later calls repeat nothing):
// `version` is the SIP library's own (linphone_core_get_version()). Call before the first core.
void check_at_start(const char* version);
// Whether the hook is in effect: false before its check and after it stood aside. Any thread.
bool in_effect(Hook hook);
// Whether the hook stood aside: its functions then only hand on to the library's own. The hooks
// that also serve before the start check (the message parser, the TLS names, the sound clock) ask
// this rather than in_effect().
bool stood_aside(Hook hook);
// The library's own definition of a function the program defines too: the next one after the
// program's in the lookup, or the one in `library_file` when that is loaded.
void* library_own(const char* name, const char* library_file);
template <typename Function> Function library_own_function(const char* name, const char* library_file)
{
    return reinterpret_cast<Function>(library_own(name, library_file));
}
// A hook whose proof failed after the start check; its one log line is kept for the engine.
void stand_aside(Hook hook, const QString& reason);
// The lines for the log since the last call: one per hook that stood aside, then which hooks are
// in effect ("library hooks in effect: ...").
QStringList take_log_lines();

// Proof for a hook that copies one of the library's exported objects, or writes into it: the
// symbol exists with the size this program was compiled for, and, to be written, lies in memory
// the process may write. Empty when it fits, else why not.
QString check_exported_object(const void* object, std::size_t size, bool written);

} // namespace library_hooks
