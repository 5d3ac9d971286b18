// The SIP library's message parser, as this program supplies it.

#include "phone/callsource.h"
#include "phone/libraryhooks.h"
#include "phone/rawsip.h"
#include "phone/transfergate.h"

#include <belle-sip/belle-sip.h>

#include <climits>

namespace {

using ParseRaw = belle_sip_message_t* (*)(const char*, size_t, size_t*);

// What the channel is given for a head it must not read as a message: a bare response without
// From, which the library drops as malformed once read, carrying the head's Content-Length so that
// the channel reads that body and drops it too. The channel reads on after whatever the parser
// says the head's length was; given nothing, it reads the body as the next message, and a body
// that is itself a whole INVITE rang the phone. The Content-Length lines are parsed alone, so the
// body is as long as the library would have read it.
belle_sip_message_t* stand_in(ParseRaw real, const RawSip& head)
{
    QByteArray text = "SIP/2.0 400 Dropped\r\n";
    for (const QByteArray& line : head.lines_of("Content-Length", "l"))
        text += line + "\r\n";
    text += "\r\n";
    size_t read = 0;
    belle_sip_message_t* parsed = real(text.constData(), size_t(text.size()), &read);
    if (parsed && read == size_t(text.size()))
        return parsed;
    if (parsed) {
        belle_sip_object_ref(parsed);
        belle_sip_object_unref(parsed);
    }
    static const QByteArray bare = "SIP/2.0 400 Dropped\r\nContent-Length: 0\r\n\r\n";
    return real(bare.constData(), size_t(bare.size()), &read);
}

} // namespace

// Over TCP and TLS the library reads a stream through other functions; it parses each message's
// head through this one of its own, by its symbol table, over every transport. A head with an
// overlong URI user part or host is not given to the parser (the PBX's transaction times out;
// there is no safe way to answer it on a stream the library writes too). Such a head, and one the
// parser cannot read whole, is handed back as a stand-in that takes the body with it.
extern "C" __attribute__((visibility("default"))) belle_sip_message_t*
belle_sip_message_parse_raw(const char* buffer, size_t length, size_t* message_length)
{
    static const auto real =
        library_hooks::library_own_function<ParseRaw>("belle_sip_message_parse_raw", "libbellesip.so.1");
    if (library_hooks::stood_aside(library_hooks::MessageParser) || !real)
        return real ? real(buffer, length, message_length) : nullptr;
    const QByteArray text = QByteArray::fromRawData(buffer, static_cast<int>(qMin<size_t>(length, INT_MAX)));
    const RawSip head(text);
    const int longest = head.longest_uri_user();
    size_t read = 0;
    belle_sip_message_t* parsed = longest <= RawSip::LONGEST_URI_USER ? real(buffer, length, &read) : nullptr;
    // The channel hands over a head up to its empty line; other callers (a transfer's progress
    // report in a NOTIFY) parse a fragment, which is theirs as the parser reads it.
    const bool from_channel = text.endsWith("\r\n\r\n") && head.has_headers();
    if (parsed && (read == length || !from_channel)) {
        if (message_length)
            *message_length = read;
        transfer_gate::apply(parsed);
        return parsed;
    }
    if (parsed) {
        belle_sip_object_ref(parsed);
        belle_sip_object_unref(parsed);
    }
    if (longest > RawSip::LONGEST_URI_USER)
        call_source::tell_once(
            QStringLiteral("SIP message dropped before parsing: a URI user part of %1 characters")
                .arg(longest));
    if (message_length)
        *message_length = from_channel ? length : 0;
    return from_channel ? stand_in(real, head) : nullptr;
}
