// The SIP library's message parser, as this program supplies it.

#include "phone/callsource.h"
#include "phone/libraryhooks.h"
#include "phone/rawsip.h"
#include "phone/transfergate.h"

#include <belle-sip/message.h>

#include <climits>

// Over TCP and TLS the library reads a stream through other functions; it parses each message's
// head through this one of its own, by its symbol table, over every transport. A head with an
// overlong URI user part is not given to the parser: the library reads it as a message it could
// not parse, skips it and goes on with the stream (the PBX's transaction times out; there is no
// safe way to answer it on a stream the library writes too).
extern "C" __attribute__((visibility("default"))) belle_sip_message_t*
belle_sip_message_parse_raw(const char* buffer, size_t length, size_t* message_length)
{
    using ParseRaw = belle_sip_message_t* (*)(const char*, size_t, size_t*);
    static const auto real =
        library_hooks::library_own_function<ParseRaw>("belle_sip_message_parse_raw", "libbellesip.so.1");
    if (library_hooks::stood_aside(library_hooks::MessageParser))
        return real ? real(buffer, length, message_length) : nullptr;
    const int user_length =
        RawSip(QByteArray::fromRawData(buffer, static_cast<int>(qMin<size_t>(length, INT_MAX))))
            .longest_uri_user();
    if (user_length <= RawSip::LONGEST_URI_USER && real) {
        belle_sip_message_t* message = real(buffer, length, message_length);
        transfer_gate::apply(message);
        return message;
    }
    if (message_length)
        *message_length = 0;
    call_source::tell_once(
        QStringLiteral("SIP message dropped before parsing: a URI user part of %1 characters")
            .arg(user_length));
    return nullptr;
}
